// The speech service on espeak-ng. espeak-ng keeps global state and is not reentrant, so
// one process-wide lock guards every call into it. It is held for one sentence at a time
// and handed on in turn, so that a long text never keeps other lines waiting for theirs;
// it is never held while the sound plays.

#include "platform/RegularFile.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/Resampler.h"
#include "platform/speech/RenderCache.h"
#include "platform/speech/Speech.h"
#include "platform/wav/WavFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QThreadPool>
#include <QWaitCondition>

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <mutex>

namespace orvane {

namespace {

constexpr qsizetype kCacheBytes = 64 * 1024 * 1024;

int synthCallback(short* wav, int count, espeak_EVENT* events)
{
    if (wav && count > 0 && events) {
        auto* out = static_cast<QVector<qint16>*>(events->user_data);
        if (out)
            out->append(QVector<qint16>(wav, wav + count));
    }
    return 0;
}

QString describe(const espeak_VOICE* v)
{
    QString name = QString::fromUtf8(v->name);
    name.replace(QLatin1Char('_'), QLatin1Char(' '));
    return name;
}

using SoundSink = std::function<Status(const Sound&)>;

// A lock taken in the order it was asked for: each waiting line gets its turn after the
// sentence that runs now, however busy the one holding it is.
class TurnLock {
public:
    void lock()
    {
        QMutexLocker lock(&m_mutex);
        const quint64 mine = m_next++;
        while (mine != m_serving)
            m_changed.wait(&m_mutex);
    }
    void unlock()
    {
        QMutexLocker lock(&m_mutex);
        ++m_serving;
        m_changed.wakeAll();
    }

private:
    QMutex m_mutex;
    QWaitCondition m_changed;
    quint64 m_next = 0, m_serving = 0;
};

// A text in pieces that espeak-ng speaks as they are: sentences (after . ! ? ; : and at
// line ends), and within a sentence that runs on, at a blank before kMaxPiece characters.
constexpr qsizetype kMaxPiece = 400;

QStringList sentences(const QString& text)
{
    QStringList pieces;
    qsizetype from = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        const bool lineEnd = c == u'\n';
        const bool stop =
            QStringLiteral(".!?;:").contains(c) && (i + 1 == n || text.at(i + 1).isSpace());
        if (!lineEnd && !stop && i + 1 - from < kMaxPiece)
            continue;
        qsizetype end = i + 1;
        if (!lineEnd && !stop) { // too long: back to the last blank, if there is one
            const qsizetype blank = text.lastIndexOf(u' ', i);
            if (blank > from)
                end = blank + 1;
        }
        const QString piece = text.mid(from, end - from);
        if (!piece.trimmed().isEmpty())
            pieces.append(piece);
        from = end;
        i = end - 1;
    }
    if (from < n && !text.mid(from).trimmed().isEmpty())
        pieces.append(text.mid(from));
    return pieces;
}

// The process's one espeak-ng engine.
class EspeakEngine {
public:
    static EspeakEngine& instance()
    {
        static EspeakEngine engine;
        return engine;
    }

    bool started() const { return m_rate > 0; }
    int sampleRate() const { return m_rate; }
    const QList<VoiceInfo>& voices() const { return m_voices; }

    // The sound of `text` at `outRate`, from the cache or being made, handed to `sink` (when
    // given) piece by piece as it grows.
    Status speech(const QString& key, const QString& text, const QString& voiceId,
                  int wordsPerMinute, int volume, int outRate, const SoundSink& sink)
    {
        return sound(
            key,
            [this, text, voiceId, wordsPerMinute, volume, outRate](const PieceSink& add) {
                return speak(text, voiceId, wordsPerMinute, volume, outRate, add);
            },
            sink, m_workers);
    }

    // The sound of a wave file at `outRate`, the same way: read a block at a time, so that
    // the first of it plays while the rest is read and a file never has to fit in memory
    // twice.
    Status file(const QString& key, const QString& path, int outRate, const SoundSink& sink)
    {
        return sound(
            key, [path, outRate](const PieceSink& add) { return readFile(path, outRate, add); },
            sink, m_fileWorkers);
    }

private:
    using PieceSink = std::function<void(QVector<qint16>&&)>;
    using Maker = std::function<Status(const PieceSink&)>;

    // A sound from the cache or being made. A sound is made once, on a worker of `workers`,
    // whoever asks for it and however slowly each of them plays it: lines that ask for the
    // same sound at once all follow the one making.
    Status sound(const QString& key, Maker maker, const SoundSink& sink, QThreadPool& workers)
    {
        std::shared_ptr<SoundInMaking> making;
        Sound cached;
        {
            QMutexLocker lock(&m_pendingMutex);
            cached = m_cache.find(key);
            if (!cached)
                making = m_pending.value(key);
            if (!cached && !making) {
                making = std::make_shared<SoundInMaking>();
                m_pending.insert(key, making);
                workers.start(
                    [this, key, maker = std::move(maker), making] { make(key, maker, *making); });
            }
        }
        // Never while holding the lock: a sink plays at the pace of its line.
        if (!sink)
            return {};
        if (cached)
            return sink(cached);
        for (qsizetype at = 0;;) {
            QVector<qint16> piece;
            bool done = false;
            {
                QMutexLocker lock(&making->mutex);
                while (at == making->samples.size() && !making->done)
                    making->grown.wait(&making->mutex);
                if (!making->failure)
                    return making->failure;
                piece = making->samples.mid(at);
                at = making->samples.size();
                done = making->done;
            }
            if (!piece.isEmpty())
                if (Status s = sink(std::make_shared<const QVector<qint16>>(std::move(piece))); !s)
                    return s;
            if (done)
                return {};
        }
    }

    // A sound being made: what there is of it so far.
    struct SoundInMaking {
        QMutex mutex;
        QWaitCondition grown;
        QVector<qint16> samples;
        bool done = false;
        Status failure;
    };

    // The maker's pieces added as they come; the whole goes into the cache.
    void make(const QString& key, const Maker& maker, SoundInMaking& making)
    {
        const Status made = maker([&making](QVector<qint16>&& piece) {
            QMutexLocker lock(&making.mutex);
            making.samples.append(std::move(piece));
            making.grown.wakeAll();
        });
        // Into the cache before it stops being pending, so that nobody finds neither.
        QMutexLocker pending(&m_pendingMutex);
        QMutexLocker lock(&making.mutex);
        if (made)
            m_cache.insert(key, std::make_shared<const QVector<qint16>>(making.samples));
        m_pending.remove(key);
        making.failure = made;
        making.done = true;
        making.grown.wakeAll();
    }

    // One sentence at a time under the engine's turn, each resampled and added as it comes.
    Status speak(const QString& text, const QString& voiceId, int wordsPerMinute, int volume,
                 int outRate, const PieceSink& add)
    {
        for (const QString& sentence : sentences(text)) {
            QVector<qint16> samples;
            {
                std::lock_guard<TurnLock> turn(m_turns);
                // Another line may have spoken in between with a voice of its own.
                if (voiceId != m_voice) {
                    if (espeak_SetVoiceByName(voiceId.toUtf8().constData()) != EE_OK) {
                        m_voice.clear();
                        return Status(err::InvalidArg,
                                      QStringLiteral("Cannot select voice %1").arg(voiceId));
                    }
                    m_voice = voiceId;
                }
                espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
                espeak_SetParameter(espeakVOLUME, volume, 0);
                espeak_SetParameter(espeakPUNCTUATION, espeakPUNCT_NONE, 0);
                const QByteArray utf8 = sentence.toUtf8();
                const espeak_ERROR rc =
                    espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                                 espeakCHARS_UTF8, nullptr, &samples);
                if (rc != EE_OK)
                    return Status(err::Fail,
                                  QStringLiteral("Speech synthesis failed (%1)").arg(int(rc)));
            }
            add(resample(samples.constData(), samples.size(), m_rate, outRate));
        }
        return {};
    }

    // A second of the file at a time, resampled as it goes.
    static Status readFile(const QString& path, int outRate, const PieceSink& add)
    {
        Result<std::unique_ptr<wav::Reader>> reader = wav::Reader::open(path);
        if (!reader)
            return reader.status();
        const int rate = reader.value()->sampleRate();
        StreamResampler resampler(rate, outRate);
        for (QVector<qint16> block;;) {
            block.clear();
            Result<qsizetype> got = reader.value()->read(block, rate);
            if (!got)
                return got.status();
            if (got.value() == 0)
                break;
            add(resampler.process(block.constData(), block.size()));
        }
        add(resampler.finish());
        return {};
    }

    EspeakEngine()
        : m_cache(kCacheBytes)
    {
        // Sounds are made in turn, a sentence each; workers enough that a few long texts
        // being made never keep a short one from starting.
        m_workers.setMaxThreadCount(8);
        // Files need no turn at espeak-ng: workers of their own, so that they never wait
        // behind texts that do.
        m_fileWorkers.setMaxThreadCount(4);
        // ORVANE_ESPEAK_DATA names the folder that holds espeak-ng-data, for installations
        // that keep it elsewhere.
        const QByteArray dataPath = qgetenv("ORVANE_ESPEAK_DATA");
        m_rate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0,
                                   dataPath.isEmpty() ? nullptr : dataPath.constData(),
                                   espeakINITIALIZE_DONT_EXIT);
        if (m_rate <= 0) {
            m_rate = 0;
            return;
        }
        espeak_SetSynthCallback(synthCallback);
        const espeak_VOICE** list = espeak_ListVoices(nullptr);
        QList<VoiceInfo> others;
        for (; list && *list; ++list) {
            const VoiceInfo info{QString::fromUtf8((*list)->identifier), describe(*list)};
            // English leads, so that voice 0 (the default) speaks the language of the
            // greeting texts; the rest follow by description.
            if (info.identifier == QLatin1String("gmw/en"))
                m_voices.append(info);
            else
                others.append(info);
        }
        std::stable_sort(others.begin(), others.end(), [](const VoiceInfo& a, const VoiceInfo& b) {
            const int byName = QString::compare(a.description, b.description, Qt::CaseInsensitive);
            return byName != 0 ? byName < 0 : a.identifier < b.identifier;
        });
        m_voices.append(others);
        if (m_voices.isEmpty())
            m_rate = 0; // an engine without voices cannot speak
    }

    TurnLock m_turns; // every call into espeak-ng, in turn
    QString m_voice;  // the voice espeak-ng has now (under m_turns)
    QMutex m_pendingMutex;
    QHash<QString, std::shared_ptr<SoundInMaking>> m_pending; // sounds being made
    int m_rate = 0;
    QList<VoiceInfo> m_voices;
    RenderCache m_cache;
    // Last, so that they are the first to go: they wait for the sounds being made.
    QThreadPool m_workers;     // texts
    QThreadPool m_fileWorkers; // wave files
};

// Rate -10..10 onto words per minute: 0 is espeak's normal speed, each end a factor of
// three away, as speech services usually scale it.
int wordsPerMinute(int rate)
{
    const double wpm = espeakRATE_NORMAL * std::pow(3.0, rate / 10.0);
    return std::clamp(int(std::lround(wpm)), espeakRATE_MINIMUM, espeakRATE_MAXIMUM);
}

QString speechKey(const QString& voiceId, const VoiceSettings& settings, int sampleRate,
                  const QString& text)
{
    return QStringLiteral("tts|%1|%2|%3|%4|")
               .arg(voiceId)
               .arg(settings.rate)
               .arg(settings.volume)
               .arg(sampleRate) +
           text;
}

QString fileKey(const QFileInfo& info, int sampleRate)
{
    return QStringLiteral("file|%1|%2|%3|")
               .arg(info.size())
               .arg(info.lastModified().toMSecsSinceEpoch())
               .arg(sampleRate) +
           info.absoluteFilePath();
}

Status checkSettings(const VoiceSettings& settings, qsizetype voices)
{
    if (settings.voice < 0 || settings.voice >= voices)
        return Status(err::InvalidArg, QStringLiteral("There is no voice number %1 (%2 installed)")
                                           .arg(settings.voice)
                                           .arg(voices));
    if (settings.rate < -10 || settings.rate > 10)
        return Status(err::InvalidArg,
                      QStringLiteral("Speech rate %1 is outside -10..10").arg(settings.rate));
    if (settings.volume < 0 || settings.volume > 100)
        return Status(err::InvalidArg,
                      QStringLiteral("Speech volume %1 is outside 0..100").arg(settings.volume));
    return {};
}

class EspeakSpeech : public Speech {
public:
    QList<VoiceInfo> voices() const override { return EspeakEngine::instance().voices(); }

    Status speak(const QString& text, const VoiceSettings& settings, AudioOutput& out) override
    {
        // The first sentences go out while the rest are still being made.
        Status s = render(text, settings, out.sampleRate(),
                          [&out](const Sound& piece) { return out.writeSound(piece); });
        if (!s)
            return s;
        return out.finish();
    }

    Status playFile(const QString& path, AudioOutput& out) override
    {
        Status s = renderFile(path, out.sampleRate(),
                              [&out](const Sound& piece) { return out.writeSound(piece); });
        if (!s)
            return s;
        return out.finish();
    }

    void prepare(const QString& text, const VoiceSettings& settings, int sampleRate) override
    {
        QThreadPool::globalInstance()->start(
            [text, settings, sampleRate] { render(text, settings, sampleRate, nullptr); });
    }

    void prepareFile(const QString& path, int sampleRate) override
    {
        renderFile(path, sampleRate, nullptr);
    }

private:
    static Status render(const QString& text, const VoiceSettings& settings, int sampleRate,
                         const SoundSink& sink)
    {
        EspeakEngine& engine = EspeakEngine::instance();
        const QList<VoiceInfo>& all = engine.voices();
        if (Status s = checkSettings(settings, all.size()); !s)
            return s;
        if (text.size() > kMaxSpeechText)
            return Status(err::InvalidArg,
                          QStringLiteral("The text to speak has %1 characters; at most %2 are "
                                         "spoken")
                              .arg(text.size())
                              .arg(kMaxSpeechText));
        const QString& voiceId = all.at(settings.voice).identifier;
        return engine.speech(speechKey(voiceId, settings, sampleRate, text), text, voiceId,
                             wordsPerMinute(settings.rate), settings.volume, sampleRate, sink);
    }

    static Status renderFile(const QString& path, int sampleRate, const SoundSink& sink)
    {
        if (Status s = checkRegularFile(path); !s)
            return s;
        return EspeakEngine::instance().file(fileKey(QFileInfo(path), sampleRate), path, sampleRate,
                                             sink);
    }
};

} // namespace

Result<std::unique_ptr<Speech>> createSpeech()
{
    if (!EspeakEngine::instance().started())
        return Status(err::CannotCreate, QStringLiteral("The speech engine cannot start"));
    return std::unique_ptr<Speech>(new EspeakSpeech);
}

} // namespace orvane
