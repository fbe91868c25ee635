#include "desktop/records/LocalSound.h"

#include "desktop/common/Messages.h"
#include "platform/audio/SpeakerAudioOutput.h"
#include "platform/speech/Speech.h"

#include <QCoreApplication>

namespace orvane {

namespace {

const char* const kTitle = QT_TRANSLATE_NOOP("orvane::LocalSound", "Answering Machine");

OutputFactory& factory()
{
    static OutputFactory f;
    return f;
}

std::unique_ptr<AudioOutput> speakerOutput()
{
    if (factory())
        return factory()();
    return std::make_unique<SpeakerAudioOutput>(22050);
}

Status playFileNow(const QString& path)
{
    Result<std::unique_ptr<Speech>> speech = createSpeech();
    if (!speech)
        return speech.status();
    std::unique_ptr<AudioOutput> output = speakerOutput();
    return speech.value()->playFile(path, *output);
}

} // namespace

void setSpeakerOutputFactory(OutputFactory f)
{
    factory() = std::move(f);
}

wav::WaveCheck IsWaveFile(const QString& path)
{
    return wav::isWaveFile(path);
}

void PlayFileOnSpeaker(const QString& path)
{
    if (!playFileNow(path))
        Messages::warn(QCoreApplication::translate("orvane::LocalSound", "Unable to play file."),
                       QCoreApplication::translate("orvane::LocalSound", kTitle));
}

void PlayMessageOnSpeaker(const QString& text, int rate, int volume, int voice)
{
    Status s;
    if (Result<std::unique_ptr<Speech>> speech = createSpeech(); !speech) {
        s = speech.status();
    } else {
        std::unique_ptr<AudioOutput> output = speakerOutput();
        s = speech.value()->speak(text, {voice, rate, volume}, *output);
    }
    if (!s)
        Messages::warn(QCoreApplication::translate("orvane::LocalSound", "Unable to play message."),
                       QCoreApplication::translate("orvane::LocalSound", kTitle));
}

} // namespace orvane
