// Playing the greeting to the caller: a wave file, or a text spoken with the line's voice.
// Both render in the format the line media component gave for the call's device and
// return when the last of it has been sent.

#include "line_server/ClsTapi.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioOutput.h"

namespace orvane {

void ClsTapi::prepareGreeting()
{
    // While the call rings, the greeting is rendered at telephone rate in the background,
    // so that it starts as soon as the call is answered. What fails here fails again, and
    // is handled, when the greeting is played.
    Result<std::unique_ptr<Speech>> speech = createSpeech();
    if (!speech)
        return;
    if (m_settings.playType != QLatin1String("MESS"))
        speech.value()->prepareFile(m_settings.playFile, audioformat::kTelephoneSampleRate);
    else
        speech.value()->prepare(m_settings.playMessage,
                                {m_settings.voice, m_settings.rate, m_settings.volume},
                                audioformat::kTelephoneSampleRate);
}

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
