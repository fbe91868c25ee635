// The speech service on espeak-ng: voices, speaking with rate and volume, playing files,
// and many threads speaking at once.

#include "Signals.h"
#include "platform/audio/AudioOutput.h"
#include "platform/speech/Speech.h"

#include <QMutex>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QWaitCondition>

#include <atomic>
#include <cmath>

using namespace orvane;

namespace {

double rms(const QVector<qint16>& s)
{
    double sum = 0;
    for (qint16 x : s)
        sum += double(x) * x;
    return s.isEmpty() ? 0 : std::sqrt(sum / s.size());
}

std::unique_ptr<Speech> speech()
{
    Result<std::unique_ptr<Speech>> s = createSpeech();
    if (!s)
        qFatal("speech: %s", qPrintable(s.status().toString()));
    return std::move(s.value());
}

// An output that any thread may watch: how much it got, and whether it finished.
class WatchedOutput : public AudioOutput {
public:
    int sampleRate() const override { return 8000; }
    Status write(const qint16*, qsizetype count) override
    {
        written += count;
        return {};
    }
    Status finish() override
    {
        finished = true;
        return {};
    }
    std::atomic<qint64> written{0};
    std::atomic<bool> finished{false};
};

// An output that takes nothing until it is let go: a line whose caller's queue is full.
class HeldOutput : public AudioOutput {
public:
    int sampleRate() const override { return 8000; }
    Status write(const qint16*, qsizetype) override
    {
        started = true;
        QMutexLocker lock(&m_mutex);
        while (!m_released)
            m_releasedChanged.wait(&m_mutex);
        return {};
    }
    Status finish() override { return {}; }
    void release()
    {
        QMutexLocker lock(&m_mutex);
        m_released = true;
        m_releasedChanged.wakeAll();
    }
    std::atomic<bool> started{false};

private:
    QMutex m_mutex;
    QWaitCondition m_releasedChanged;
    bool m_released = false;
};

// As long a text as a line speaks: numbered sentences up to the limit.
QString longestText()
{
    QString text;
    for (int n = 1;; ++n) {
        const QString sentence =
            QStringLiteral("Sentence %1 of a long greeting goes on and on. ").arg(n);
        if (text.size() + sentence.size() > kMaxSpeechText)
            break;
        text += sentence;
    }
    return text.leftJustified(kMaxSpeechText, u' ');
}

} // namespace

class TestSpeech : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void voicesComeInOneStableOrderEnglishFirst()
    {
        const QList<VoiceInfo> a = speech()->voices();
        const QList<VoiceInfo> b = speech()->voices();
        QVERIFY(a.size() > 10);
        QCOMPARE(a.size(), b.size());
        for (int i = 0; i < a.size(); ++i) {
            QCOMPARE(a[i].identifier, b[i].identifier);
            QVERIFY(!a[i].description.isEmpty());
        }
        QVERIFY(a.first().description.startsWith("English"));
    }

    void speakingRendersAtTheOutputsRate()
    {
        CaptureAudioOutput at8k(8000), at22k(22050);
        QVERIFY(speech()->speak("Please leave a message after the tone.", {0, 0, 100}, at8k));
        QVERIFY(speech()->speak("Please leave a message after the tone.", {0, 0, 100}, at22k));
        QCOMPARE(at8k.finishCount(), 1);
        const double seconds8 = at8k.samples().size() / 8000.0;
        const double seconds22 = at22k.samples().size() / 22050.0;
        QVERIFY2(seconds8 > 1.0 && seconds8 < 6.0, qPrintable(QString::number(seconds8)));
        QVERIFY(std::abs(seconds8 - seconds22) < 0.05);
        QVERIFY(rms(at8k.samples()) > 300);
    }

    void rateAndVolumeChangeTheSound()
    {
        const QString text = "One two three four five six seven eight nine ten.";
        CaptureAudioOutput slow, normal, fast, quiet;
        QVERIFY(speech()->speak(text, {0, -10, 100}, slow));
        QVERIFY(speech()->speak(text, {0, 0, 100}, normal));
        QVERIFY(speech()->speak(text, {0, 10, 100}, fast));
        QVERIFY(speech()->speak(text, {0, 0, 20}, quiet));
        QVERIFY(slow.samples().size() > normal.samples().size() * 1.3);
        QVERIFY(fast.samples().size() * 1.5 < normal.samples().size());
        QVERIFY(rms(quiet.samples()) < rms(normal.samples()) * 0.5);
    }

    void outOfRangeSettingsFail()
    {
        auto s = speech();
        CaptureAudioOutput out;
        const int voices = int(s->voices().size());
        QCOMPARE(s->speak("x", {voices, 0, 50}, out).code(), err::InvalidArg);
        QCOMPARE(s->speak("x", {-1, 0, 50}, out).code(), err::InvalidArg);
        QCOMPARE(s->speak("x", {0, 11, 50}, out).code(), err::InvalidArg);
        QCOMPARE(s->speak("x", {0, 0, 101}, out).code(), err::InvalidArg);
        QVERIFY(out.samples().isEmpty());
        // The last voice is a voice.
        QVERIFY(s->speak("x", {voices - 1, 0, 50}, out));
    }

    void playingAFileResamplesIt()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("greeting.wav");
        QVERIFY(test::writePcmWav(path, test::tone(600, 1.5, 44100), 44100));
        CaptureAudioOutput out(8000);
        QVERIFY(speech()->playFile(path, out));
        QCOMPARE(out.samples().size(), 12000);
        QVERIFY(test::tonePower(out.samples(), 600, 8000) > 0.8);

        CaptureAudioOutput none;
        QCOMPARE(speech()->playFile(dir.filePath("missing.wav"), none).code(), err::FileNotFound);
        QFile text(dir.filePath("notes.wav"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("plain text");
        text.close();
        QVERIFY(!speech()->playFile(text.fileName(), none));
        QVERIFY(none.samples().isEmpty());
    }

    void aChangedFileIsReadAgain()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("g.wav");
        QVERIFY(test::writePcmWav(path, test::tone(400, 0.5, 8000), 8000));
        CaptureAudioOutput first;
        QVERIFY(speech()->playFile(path, first));
        QVERIFY(test::writePcmWav(path, test::tone(1200, 0.75, 8000), 8000));
        CaptureAudioOutput second;
        QVERIFY(speech()->playFile(path, second));
        QCOMPARE(second.samples().size(), 6000);
        QVERIFY(test::tonePower(second.samples(), 1200, 8000) > 0.8);
    }

    void aLongTextKeepsNoOtherLineWaiting()
    {
        const QString text = longestText();
        QCOMPARE(text.size(), kMaxSpeechText);
        WatchedOutput a;
        QThread* first = QThread::create([&] { speech()->speak(text, {0, 0, 100}, a); });
        first->start();
        // Its first sentences are out while it is still being made.
        QTRY_VERIFY_WITH_TIMEOUT(a.written.load() > 0, 30000);
        CaptureAudioOutput b;
        QVERIFY(speech()->speak("Another line greets its caller.", {1, 0, 100}, b));
        QVERIFY(b.samples().size() > 4000);
        QVERIFY2(!a.finished.load(), "the short greeting waited for the whole long one");
        QVERIFY(first->wait(120000));
        delete first;
        // All of it was spoken: some ten minutes.
        QVERIFY(a.finished.load());
        QVERIFY2(a.written.load() > 8000 * 300, qPrintable(QString::number(a.written.load())));
    }

    void aLineStillPlayingASoundKeepsNoOtherFromIt_data()
    {
        QTest::addColumn<bool>("prepared");
        QTest::newRow("made before") << true;
        QTest::newRow("being made") << false;
    }

    void aLineStillPlayingASoundKeepsNoOtherFromIt()
    {
        QFETCH(bool, prepared);
        // Two lines greet with the same text; the first one's caller takes nothing yet.
        const QString text = QStringLiteral("Line greeting %1, please leave a message.")
                                 .arg(prepared ? "made before" : "being made");
        if (prepared) {
            CaptureAudioOutput warm;
            QVERIFY(speech()->speak(text, {0, 0, 100}, warm));
        }
        HeldOutput held;
        QThread* first = QThread::create([&] { speech()->speak(text, {0, 0, 100}, held); });
        first->start();
        QTRY_VERIFY(held.started.load());
        std::atomic<bool> spoken{false};
        CaptureAudioOutput other;
        QThread* second = QThread::create([&] {
            speech()->speak(text, {0, 0, 100}, other);
            spoken = true;
        });
        second->start();
        const bool alongside = QTest::qWaitFor([&] { return spoken.load(); }, 10000);
        held.release();
        QVERIFY(first->wait(30000) && second->wait(30000));
        delete first;
        delete second;
        QVERIFY2(alongside, "the second line waited for the first one's caller");
        QVERIFY(other.samples().size() > 8000);
    }

    void aTextOverTheLimitIsRefused()
    {
        CaptureAudioOutput out;
        const Status s = speech()->speak(longestText() + "x", {0, 0, 100}, out);
        QCOMPARE(s.code(), err::InvalidArg);
        QVERIFY2(s.description().contains("10000"), qPrintable(s.description()));
        QVERIFY(out.samples().isEmpty());
    }

    void aSentenceWithoutStopsIsSpokenWhole()
    {
        // 800 words and no full stop: spoken in pieces, none lost.
        QString text;
        for (int i = 0; i < 800; ++i)
            text += QStringLiteral("word ");
        CaptureAudioOutput out;
        QVERIFY(speech()->speak(text, {0, 0, 100}, out));
        const double seconds = out.samples().size() / 8000.0;
        QVERIFY2(seconds > 120 && seconds < 600, qPrintable(QString::number(seconds)));
    }

    void manyThreadsSpeakAtOnce()
    {
        // espeak-ng is not reentrant: without the engine's lock this crashes.
        constexpr int kThreads = 8;
        std::atomic<int> ok{0};
        QList<QThread*> threads;
        QVector<qsizetype> lengths(kThreads);
        for (int t = 0; t < kThreads; ++t) {
            threads.append(QThread::create([&, t] {
                CaptureAudioOutput out;
                const QString text = QString("Line %1 speaks a sentence of its own.").arg(t % 3);
                if (speech()->speak(text, {t % 2, 0, 60}, out))
                    ++ok;
                lengths[t] = out.samples().size();
            }));
            threads.last()->start();
        }
        for (QThread* th : threads) {
            QVERIFY(th->wait(60000));
            delete th;
        }
        QCOMPARE(ok.load(), kThreads);
        for (int t = 0; t < kThreads; ++t)
            QVERIFY(lengths[t] > 4000);
    }
};

QTEST_GUILESS_MAIN(TestSpeech)
#include "TestSpeech.moc"
