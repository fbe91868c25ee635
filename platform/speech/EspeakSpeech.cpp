// The speech service on espeak-ng. espeak-ng keeps global state and is not reentrant, so
// one process-wide mutex guards every call into it; it is held for the synthesis of one
// text only (about 500 times faster than real time), never while the sound plays.

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

#include <espeak-ng/speak_lib.h>

#include <algorithm>
#include <cmath>

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

    // The sound of `text` at `outRate`, from the cache or synthesised now. Lines that ask
    // for the same sound at once wait for the first one and share its result.
    Result<Sound> speech(const QString& key, const QString& text, const QString& voiceId,
                         int wordsPerMinute, int volume, int outRate)
    {
        if (Sound cached = m_cache.find(key))
            return cached;
        QMutexLocker lock(&m_mutex);
        if (Sound cached = m_cache.find(key))
            return cached;
        if (espeak_SetVoiceByName(voiceId.toUtf8().constData()) != EE_OK)
            return Status(err::InvalidArg, QStringLiteral("Cannot select voice %1").arg(voiceId));
        espeak_SetParameter(espeakRATE, wordsPerMinute, 0);
        espeak_SetParameter(espeakVOLUME, volume, 0);
        espeak_SetParameter(espeakPUNCTUATION, espeakPUNCT_NONE, 0);
        QVector<qint16> samples;
        const QByteArray utf8 = text.toUtf8();
        const espeak_ERROR rc = espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0,
                                             POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &samples);
        if (rc != EE_OK)
            return Status(err::Fail, QStringLiteral("Speech synthesis failed (%1)").arg(int(rc)));
        Sound sound = std::make_shared<const QVector<qint16>>(
            resample(samples.constData(), samples.size(), m_rate, outRate));
        m_cache.insert(key, sound);
        return sound;
    }

    // The sound of a wave file at `outRate`, from the cache or read now.
    Result<Sound> file(const QString& key, const QString& path, int outRate)
    {
        if (Sound cached = m_cache.find(key))
            return cached;
        QMutexLocker lock(&m_fileMutex);
        if (Sound cached = m_cache.find(key))
            return cached;
        Result<wav::PcmSound> pcm = wav::read(path);
        if (!pcm)
            return pcm.status();
        Sound sound = std::make_shared<const QVector<qint16>>(
            resample(pcm->samples.constData(), pcm->samples.size(), pcm->sampleRate, outRate));
        m_cache.insert(key, sound);
        return sound;
    }

private:
    EspeakEngine()
        : m_cache(kCacheBytes)
    {
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

    QMutex m_mutex;     // every call into espeak-ng
    QMutex m_fileMutex; // reading wave files, so that one file is read once
    int m_rate = 0;
    QList<VoiceInfo> m_voices;
    RenderCache m_cache;
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

Status writeSound(const QVector<qint16>& sound, AudioOutput& out)
{
    // 20 ms blocks keep a call's send queue short and the first sound early.
    const qsizetype block = qMax(1, out.sampleRate() / 50);
    for (qsizetype at = 0; at < sound.size(); at += block) {
        Status s = out.write(sound.constData() + at, qMin(block, sound.size() - at));
        if (!s)
            return s;
    }
    return out.finish();
}

class EspeakSpeech : public Speech {
public:
    QList<VoiceInfo> voices() const override { return EspeakEngine::instance().voices(); }

    Status speak(const QString& text, const VoiceSettings& settings, AudioOutput& out) override
    {
        Result<Sound> sound = render(text, settings, out.sampleRate());
        if (!sound)
            return sound.status();
        return writeSound(*sound.value(), out);
    }

    Status playFile(const QString& path, AudioOutput& out) override
    {
        Result<Sound> sound = renderFile(path, out.sampleRate());
        if (!sound)
            return sound.status();
        return writeSound(*sound.value(), out);
    }

    void prepare(const QString& text, const VoiceSettings& settings, int sampleRate) override
    {
        QThreadPool::globalInstance()->start(
            [text, settings, sampleRate] { render(text, settings, sampleRate); });
    }

    void prepareFile(const QString& path, int sampleRate) override
    {
        QThreadPool::globalInstance()->start([path, sampleRate] { renderFile(path, sampleRate); });
    }

private:
    static Result<Sound> render(const QString& text, const VoiceSettings& settings, int sampleRate)
    {
        EspeakEngine& engine = EspeakEngine::instance();
        const QList<VoiceInfo>& all = engine.voices();
        if (Status s = checkSettings(settings, all.size()); !s)
            return s;
        const QString& voiceId = all.at(settings.voice).identifier;
        return engine.speech(speechKey(voiceId, settings, sampleRate, text), text, voiceId,
                             wordsPerMinute(settings.rate), settings.volume, sampleRate);
    }

    static Result<Sound> renderFile(const QString& path, int sampleRate)
    {
        const QFileInfo info(path);
        if (!info.isFile())
            return Status(err::FileNotFound,
                          QStringLiteral("The file %1 does not exist").arg(path));
        return EspeakEngine::instance().file(fileKey(info, sampleRate), path, sampleRate);
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
