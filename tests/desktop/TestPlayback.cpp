// The recording player, played through the silent paced output many times faster than real
// time: what it hears (every sample, decoded from mu-law), pause, stop, seek, a second file,
// files that are no recordings, an output that breaks, the player going away while it
// plays; and the export of a recording, as stored and as 16-bit PCM.

#include "Signals.h"
#include "desktop/records/RecordingPlayer.h"
#include "platform/audio/G711.h"
#include "platform/audio/PacedPlaybackSink.h"
#include "platform/wav/WavFile.h"

#include <QAudioDevice>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QPointer>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

using namespace orvane;

namespace {

constexpr int kRate = 8000;
constexpr int kWaitMs = 20000;

// A recording as the line server writes it. Its first 256 bytes are every mu-law code, the
// rest a tone; `expected` is what a listener must hear, decoded sample by sample.
struct Recording {
    QString path;
    QVector<qint16> expected;
};

Recording writeRecording(const QString& path, double seconds, double hz = 500)
{
    const QVector<qint16> tone = test::tone(hz, seconds, kRate);
    QByteArray ulaw(tone.size(), 0);
    g711::encodeUlaw(tone.constData(), reinterpret_cast<quint8*>(ulaw.data()), tone.size());
    for (int code = 0; code < 256 && code < ulaw.size(); ++code)
        ulaw[code] = char(code);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(wav::muLawFile(ulaw)) < 0)
        qFatal("cannot write %s", qPrintable(path));
    QVector<qint16> expected(ulaw.size());
    g711::decodeUlaw(reinterpret_cast<const quint8*>(ulaw.constData()), expected.data(),
                     ulaw.size());
    return {path, expected};
}

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace

class TestPlayback : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    // What the next player's sink is like, and the last sink made.
    double m_speed = 20;
    int m_sinkRate = 0;
    QPointer<PacedPlaybackSink> m_sink;

    QString file(const QString& name) const { return m_dir.filePath(name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        setPlaybackSinkFactory([this] {
            auto sink = std::make_unique<PacedPlaybackSink>(m_speed, m_sinkRate);
            m_sink = sink.get();
            return sink;
        });
    }

    void cleanupTestCase() { setPlaybackSinkFactory({}); }

    void init()
    {
        m_speed = 20;
        m_sinkRate = 0;
    }

    void aRecordingPlaysToItsEndAndEverySampleIsHeard()
    {
        const Recording rec = writeRecording(file("whole.wav"), 3);
        RecordingPlayer player;
        QSignalSpy states(&player, &RecordingPlayer::stateChanged);
        QSignalSpy positions(&player, &RecordingPlayer::positionChanged);
        QSignalSpy finished(&player, &RecordingPlayer::finished);
        QSignalSpy failed(&player, &RecordingPlayer::failed);
        QElapsedTimer clock;
        clock.start();
        const Status s = player.play(rec.path);
        QVERIFY2(s, qPrintable(s.toString()));
        QCOMPARE(player.state(), RecordingPlayer::State::Playing);
        QCOMPARE(player.durationMs(), 3000);
        QCOMPARE(player.path(), rec.path);

        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kWaitMs);
        // Taken at the output's pace (20 times real time), not all at once.
        QVERIFY2(clock.elapsed() >= 3000 / 20 - 10, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(m_sink->played(), rec.expected);
        QCOMPARE(player.state(), RecordingPlayer::State::Stopped);
        QCOMPARE(player.positionMs(), 0);
        QCOMPARE(player.durationMs(), 3000); // still known for the bar
        QVERIFY(!m_sink->active());
        QCOMPARE(failed.size(), 0);
        QCOMPARE(states.size(), 2);
        QCOMPARE(states.at(0).at(0).value<RecordingPlayer::State>(),
                 RecordingPlayer::State::Playing);
        QCOMPARE(states.at(1).at(0).value<RecordingPlayer::State>(),
                 RecordingPlayer::State::Stopped);
        // The bar goes from the start to the end and never back on the way.
        QVERIFY(positions.size() >= 2);
        QCOMPARE(positions.first().at(0).toLongLong(), 0);
        QCOMPARE(positions.last().at(0).toLongLong(), 3000);
        for (qsizetype i = 1; i < positions.size(); ++i)
            QVERIFY(positions.at(i).at(0).toLongLong() >= positions.at(i - 1).at(0).toLongLong());
    }

    void pauseHoldsThePlaceAndResumeGoesOnFromIt()
    {
        m_speed = 10;
        const Recording rec = writeRecording(file("pause.wav"), 20);
        RecordingPlayer player;
        QSignalSpy positions(&player, &RecordingPlayer::positionChanged);
        QSignalSpy finished(&player, &RecordingPlayer::finished);
        QVERIFY(player.play(rec.path));
        // The position comes by itself while it plays.
        QTRY_VERIFY_WITH_TIMEOUT(positions.size() >= 3, kWaitMs);
        QCOMPARE(finished.size(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(player.positionMs() >= 2000, kWaitMs);

        player.pause();
        QCOMPARE(player.state(), RecordingPlayer::State::Paused);
        const qsizetype heard = m_sink->played().size();
        const qint64 at = player.positionMs();
        // The position is what the output played, not what was handed to it.
        QCOMPARE(at, qint64(heard) * 1000 / kRate);
        QVERIFY(at < 20000);
        QCOMPARE(positions.last().at(0).toLongLong(), at);
        QVERIFY(!m_sink->active());
        // Three seconds of sound at this speed: none of it is taken while paused.
        const qsizetype signalsBefore = positions.size();
        QTest::qWait(300);
        QCOMPARE(m_sink->played().size(), heard);
        QCOMPARE(player.positionMs(), at);
        QCOMPARE(positions.size(), signalsBefore);
        QCOMPARE(finished.size(), 0);

        player.resume();
        QCOMPARE(player.state(), RecordingPlayer::State::Playing);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kWaitMs);
        // Every sample once, in order: nothing lost or heard twice at the pause.
        QCOMPARE(m_sink->played(), rec.expected);
        QCOMPARE(m_sink->starts(), 1);
    }

    void stopEndsTheSoundAndGoesBackToTheStart()
    {
        m_speed = 10;
        const Recording rec = writeRecording(file("stop.wav"), 10);
        RecordingPlayer player;
        QSignalSpy finished(&player, &RecordingPlayer::finished);
        QSignalSpy states(&player, &RecordingPlayer::stateChanged);
        QVERIFY(player.play(rec.path));
        QTRY_VERIFY_WITH_TIMEOUT(player.positionMs() >= 1000, kWaitMs);
        player.stop();
        QCOMPARE(player.state(), RecordingPlayer::State::Stopped);
        QCOMPARE(player.positionMs(), 0);
        QVERIFY(!m_sink->active());
        const qsizetype heard = m_sink->played().size();
        QVERIFY(heard > 0 && heard < rec.expected.size());
        // Stopped is stopped: no sound taken, no end told, and resume and seek do nothing.
        player.resume();
        player.seek(5000);
        QTest::qWait(300);
        QCOMPARE(m_sink->played().size(), heard);
        QCOMPARE(player.state(), RecordingPlayer::State::Stopped);
        QCOMPARE(finished.size(), 0);
        QCOMPARE(states.size(), 2);

        // Played again, it starts from the beginning.
        m_speed = 20;
        QVERIFY(player.play(rec.path));
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kWaitMs);
        QCOMPARE(m_sink->played().mid(heard), rec.expected);
    }

    void seekMovesWhereThePlayingGoesOn()
    {
        m_speed = 10;
        const Recording rec = writeRecording(file("seek.wav"), 20);
        RecordingPlayer player;
        QSignalSpy positions(&player, &RecordingPlayer::positionChanged);
        QSignalSpy finished(&player, &RecordingPlayer::finished);
        QVERIFY(player.play(rec.path));

        // Paused: the place moves, nothing is heard until resume.
        QTRY_VERIFY_WITH_TIMEOUT(player.positionMs() >= 500, kWaitMs);
        player.pause();
        player.seek(6000);
        QCOMPARE(player.positionMs(), 6000);
        QCOMPARE(positions.last().at(0).toLongLong(), 6000);
        QCOMPARE(player.state(), RecordingPlayer::State::Paused);
        qsizetype from = m_sink->played().size();
        player.resume();
        QTRY_VERIFY_WITH_TIMEOUT(player.positionMs() >= 7000, kWaitMs);
        QCOMPARE(m_sink->played().mid(from),
                 rec.expected.mid(6 * kRate, m_sink->played().size() - from));

        // Playing: back to 1 s, and it goes on from there to the end.
        player.seek(1000);
        QVERIFY(player.positionMs() >= 1000 && player.positionMs() < 6000);
        from = m_sink->played().size();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kWaitMs);
        QCOMPARE(m_sink->played().mid(from), rec.expected.mid(kRate));

        // Beyond the end is the end; before the start is the start.
        m_speed = 20;
        QVERIFY(player.play(rec.path));
        player.pause();
        player.seek(-500);
        QCOMPARE(player.positionMs(), 0);
        player.seek(60000);
        QCOMPARE(player.positionMs(), 20000);
        from = m_sink->played().size();
        player.resume();
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, kWaitMs);
        QCOMPARE(m_sink->played().size(), from);
    }

    void aSecondFileStopsTheFirst()
    {
        m_speed = 10;
        const Recording first = writeRecording(file("first.wav"), 10, 500);
        const Recording second = writeRecording(file("second.wav"), 2, 900);
        RecordingPlayer player;
        QSignalSpy finished(&player, &RecordingPlayer::finished);
        QVERIFY(player.play(first.path));
        QTRY_VERIFY_WITH_TIMEOUT(player.positionMs() >= 500, kWaitMs);
        const qsizetype heard = m_sink->played().size();
        QVERIFY(player.play(second.path));
        QCOMPARE(player.durationMs(), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kWaitMs);
        QCOMPARE(m_sink->played().mid(heard), second.expected);
        QCOMPARE(player.path(), second.path);
    }

    void thePlayerGoingAwayLeavesNothingPlaying()
    {
        m_speed = 10;
        const Recording rec = writeRecording(file("away.wav"), 10);
        // While it plays, while it is paused, and from inside its own finished().
        for (int way = 0; way < 3; ++way) {
            auto* player = new RecordingPlayer;
            QPointer<RecordingPlayer> alive = player;
            if (way == 2) {
                m_speed = 50;
                connect(player, &RecordingPlayer::finished, player, [player] { delete player; });
            }
            QVERIFY(player->play(rec.path));
            QPointer<PacedPlaybackSink> sink = m_sink;
            QTRY_VERIFY_WITH_TIMEOUT(!sink || sink->played().size() > 0, kWaitMs);
            if (way == 1)
                player->pause();
            if (way < 2)
                delete player;
            QTRY_VERIFY_WITH_TIMEOUT(!alive, kWaitMs);
            QVERIFY(!sink); // the sink went with its player
            // Whatever was posted for them arrives at nobody.
            QCoreApplication::sendPostedEvents();
            QCoreApplication::processEvents();
        }
    }

    void anOutputThatBreaksEndsThePlaying()
    {
        m_speed = 5;
        const Recording rec = writeRecording(file("break.wav"), 10);
        RecordingPlayer player;
        QSignalSpy failed(&player, &RecordingPlayer::failed);
        QSignalSpy finished(&player, &RecordingPlayer::finished);
        QVERIFY(player.play(rec.path));
        QTRY_VERIFY_WITH_TIMEOUT(m_sink->played().size() > 0, kWaitMs);
        emit m_sink->failed(QStringLiteral("The output went away"));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().at(0).toString(), QStringLiteral("The output went away"));
        QCOMPARE(player.state(), RecordingPlayer::State::Stopped);
        QCOMPARE(player.positionMs(), 0);
        QVERIFY(!m_sink->active());
        QCOMPARE(finished.size(), 0);
    }

    void aFileThatIsNoRecordingIsRefusedWithTheReason_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("says");
        QTest::newRow("missing") << "missing.wav" << QByteArray() << "does not exist";
        QTest::newRow("text") << "text.wav" << QByteArray("just some text\n") << "not a wave";
        QTest::newRow("empty") << "empty.wav" << QByteArray("") << "not a wave";
        QTest::newRow("RIFF but AVI")
            << "avi.wav" << QByteArray("RIFF\x20\0\0\0AVI LIST....", 20) << "not a wave";
        QTest::newRow("header cut short")
            << "cut.wav" << wav::muLawHeader(8000).left(30) << "not a wave";
        QTest::newRow("a folder") << "folder.wav" << QByteArray() << "folder";
    }

    void aFileThatIsNoRecordingIsRefusedWithTheReason()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, says);
        const QString path = file(name);
        if (name == "folder.wav") {
            QVERIFY(QDir().mkpath(path));
        } else if (name != "missing.wav") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(content);
        }
        // A player that played something before: the failure stops it and forgets it.
        const Recording rec = writeRecording(file("before.wav"), 10);
        RecordingPlayer player;
        QSignalSpy states(&player, &RecordingPlayer::stateChanged);
        QVERIFY(player.play(rec.path));
        const Status s = player.play(path);
        QVERIFY(!s);
        QVERIFY2(s.description().contains(says, Qt::CaseInsensitive), qPrintable(s.description()));
        QVERIFY2(s.description().contains(path), qPrintable(s.description()));
        QCOMPARE(player.state(), RecordingPlayer::State::Stopped);
        QCOMPARE(player.durationMs(), 0);
        QVERIFY(!m_sink->active());
        QCOMPARE(m_sink->starts(), 1);
        QCOMPARE(states.size(), 2);
    }

    void withoutAnAudioOutputPlayingSaysSo()
    {
        if (!QMediaDevices::audioOutputs().isEmpty())
            QSKIP("this machine has an audio output");
        setPlaybackSinkFactory({});
        auto restore = qScopeGuard([this] { initTestCase(); });
        const Recording rec = writeRecording(file("speaker.wav"), 1);
        RecordingPlayer player;
        const Status s = player.play(rec.path);
        QVERIFY(!s);
        QCOMPARE(s.description(), QStringLiteral("There is no audio output on this computer"));
        QCOMPARE(player.state(), RecordingPlayer::State::Stopped);
    }

    void aSoundAtAnotherRateIsPlayedAtTheOutputsRate()
    {
        // An output that takes only 16 kHz: a recording of 8 kHz is resampled, not sped up.
        m_sinkRate = 16000;
        const Recording rec = writeRecording(file("resampled.wav"), 2, 700);
        RecordingPlayer player;
        QSignalSpy finished(&player, &RecordingPlayer::finished);
        QVERIFY(player.play(rec.path));
        QCOMPARE(player.durationMs(), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, kWaitMs);
        QCOMPARE(m_sink->played().size(), 32000);
        QVERIFY(test::tonePower(m_sink->played().mid(1000), 700, 16000) > 0.9);

        // Any wave file the reader takes plays, here 16-bit PCM at 22050 Hz, unchanged.
        m_sinkRate = 0;
        const QVector<qint16> tone = test::tone(440, 1.5, 22050);
        QVERIFY(test::writePcmWav(file("pcm.wav"), tone, 22050));
        RecordingPlayer other;
        QSignalSpy otherFinished(&other, &RecordingPlayer::finished);
        QVERIFY(other.play(file("pcm.wav")));
        QCOMPARE(other.durationMs(), 1500);
        QTRY_COMPARE_WITH_TIMEOUT(otherFinished.size(), 1, kWaitMs);
        QCOMPARE(m_sink->played(), tone);
    }

    void anExportAsStoredIsTheFileItself()
    {
        const Recording rec = writeRecording(file("asis.wav"), 2);
        const QString target = file("asis-copy.wav");
        const Status s = exportRecording(rec.path, target, ExportFormat::AsStored);
        QVERIFY2(s, qPrintable(s.toString()));
        QCOMPARE(test::readFile(target), test::readFile(rec.path));
        // A file already there is replaced whole.
        QFile old(file("replaced.wav"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(1000000, 'x'));
        old.close();
        QVERIFY(exportRecording(rec.path, old.fileName(), ExportFormat::AsStored));
        QCOMPARE(test::readFile(old.fileName()), test::readFile(rec.path));
    }

    void anExportAsPcm16IsAWaveFileOfTheSameSamples()
    {
        const Recording rec = writeRecording(file("pcm-source.wav"), 2);
        const QString target = file("pcm-export.wav");
        const Status s = exportRecording(rec.path, target, ExportFormat::Pcm16);
        QVERIFY2(s, qPrintable(s.toString()));
        const QByteArray bytes = test::readFile(target);
        QCOMPARE(bytes.size(), 44 + rec.expected.size() * 2);
        QCOMPARE(bytes.left(4), QByteArray("RIFF"));
        QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 4), quint32(bytes.size() - 8));
        QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + 20), quint16(1)); // PCM
        QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + 22), quint16(1)); // mono
        QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 24), quint32(kRate));
        QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 28), quint32(kRate * 2));
        QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + 32), quint16(2));
        QCOMPARE(qFromLittleEndian<quint16>(bytes.constData() + 34), quint16(16));
        QCOMPARE(qFromLittleEndian<quint32>(bytes.constData() + 40),
                 quint32(rec.expected.size() * 2));
        const Result<wav::PcmSound> back = wav::read(target);
        QVERIFY2(back, qPrintable(back.status().toString()));
        QCOMPARE(back->sampleRate, kRate);
        QCOMPARE(back->samples, rec.expected);

        // Another rate keeps its rate.
        const QVector<qint16> tone = test::tone(440, 0.5, 22050);
        QVERIFY(test::writePcmWav(file("pcm22.wav"), tone, 22050));
        QVERIFY(exportRecording(file("pcm22.wav"), file("pcm22-export.wav"), ExportFormat::Pcm16));
        const Result<wav::PcmSound> back22 = wav::read(file("pcm22-export.wav"));
        QVERIFY(back22);
        QCOMPARE(back22->sampleRate, 22050);
        QCOMPARE(back22->samples, tone);
    }

    void anExportNeverWritesOverTheRecording()
    {
        const Recording rec = writeRecording(file("itself.wav"), 1);
        const QByteArray before = test::readFile(rec.path);
        QVERIFY(QFile::link(rec.path, file("itself-link.wav")));
        QVERIFY(QFile::exists(file("itself-link.wav")));
        const QString hardLink = file("itself-hard.wav");
        const bool hard = QProcess::execute("ln", {rec.path, hardLink}) == 0;
        QStringList targets = {rec.path, file("itself-link.wav"), m_dir.path() + "/./itself.wav"};
        if (hard)
            targets << hardLink;
        for (const QString& target : targets)
            for (ExportFormat format : {ExportFormat::AsStored, ExportFormat::Pcm16}) {
                const Status s = exportRecording(rec.path, target, format);
                QVERIFY2(!s, qPrintable(target));
                QVERIFY2(s.description().contains("the recording itself"),
                         qPrintable(s.description()));
                QCOMPARE(test::readFile(rec.path), before);
            }
    }

    void anExportThatFailsLeavesNothingBehind()
    {
        const Recording rec = writeRecording(file("fails.wav"), 1);
        const QString folder = file("out");
        QVERIFY(QDir().mkpath(folder));
        const QString kept = QDir(folder).filePath("kept.wav");
        QFile keptFile(kept);
        QVERIFY(keptFile.open(QIODevice::WriteOnly));
        keptFile.write("the older export");
        keptFile.close();
        const QStringList listed = entries(folder);

        struct Case {
            QString source, target;
            ExportFormat format;
            QString says;
        };
        const QList<Case> cases = {
            // A folder where the file would go: under a file, so not even root can write it.
            {rec.path, kept + "/inside.wav", ExportFormat::AsStored, "Cannot write"},
            {rec.path, kept + "/inside.wav", ExportFormat::Pcm16, "Cannot write"},
            {rec.path, folder, ExportFormat::AsStored, "is a folder"},
            {rec.path, QString(), ExportFormat::AsStored, "No file"},
            // A source that is no recording leaves the file already there as it was.
            {file("no-such.wav"), kept, ExportFormat::AsStored, "does not exist"},
            {file("no-such.wav"), kept, ExportFormat::Pcm16, "does not exist"},
            {m_dir.path(), kept, ExportFormat::AsStored, "folder"},
        };
        for (const Case& c : cases) {
            const Status s = exportRecording(c.source, c.target, c.format);
            QVERIFY2(!s, qPrintable(c.target));
            QVERIFY2(s.description().contains(c.says), qPrintable(s.description()));
            QCOMPARE(entries(folder), listed);
            QCOMPARE(test::readFile(kept), QByteArray("the older export"));
        }
        QFile text(file("text.wav"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not a wave");
        text.close();
        QVERIFY(!exportRecording(text.fileName(), kept, ExportFormat::Pcm16));
        QCOMPARE(test::readFile(kept), QByteArray("the older export"));
        QCOMPARE(entries(folder), listed);

        // A folder that takes no new file (root may write anywhere: the immutable flag).
        if (QProcess::execute("chattr", {"+i", folder}) != 0)
            QSKIP("This file system keeps no immutable flag (chattr)");
        auto unlock = qScopeGuard([&] { QProcess::execute("chattr", {"-i", folder}); });
        const Status s =
            exportRecording(rec.path, QDir(folder).filePath("new.wav"), ExportFormat::Pcm16);
        QVERIFY(!s);
        QVERIFY2(s.description().startsWith("Cannot write " + QDir(folder).filePath("new.wav")),
                 qPrintable(s.description()));
        QCOMPARE(entries(folder), listed);
    }
};

QTEST_MAIN(TestPlayback)
#include "TestPlayback.moc"
