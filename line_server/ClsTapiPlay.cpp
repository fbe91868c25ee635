// Playing the greeting to the caller: a wave file, or a text spoken with the line's voice.
// Both render in the format the line media component gave for the call's device and
// return when the last of it has been sent.

#include "line_server/ClsTapi.h"
#include "platform/audio/AudioOutput.h"

namespace orvane {

Status ClsTapi::playByTTS(qint32 media, qint32 mediaformat, const QString& sPath)
{
    Result<std::unique_ptr<CallAudioOutput>> output = CallAudioOutput::open(media, mediaformat);
    if (!output)
        return output.status();
    Result<std::unique_ptr<Speech>> speech = createSpeech();
    if (!speech)
        return speech.status();
    return speech.value()->playFile(sPath, *output.value());
}

Status ClsTapi::playTextByTTS(qint32 media, qint32 mediaformat, const QString& sText)
{
    Result<std::unique_ptr<Speech>> speech = createSpeech();
    if (!speech)
        return speech.status();
    m_voices = speech.value()->voices();
    Result<std::unique_ptr<CallAudioOutput>> output = CallAudioOutput::open(media, mediaformat);
    if (!output)
        return output.status();
    const VoiceSettings voice{m_settings.voice, m_settings.rate, m_settings.volume};
    return speech.value()->speak(sText, voice, *output.value());
}

} // namespace orvane
