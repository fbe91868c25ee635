// Playing the greeting to the caller: a wave file, or a text spoken with the line's voice.
// Both render in the format the line media component gave for the call's device and
// return when the last of it has been sent.

#include "line_server/ClsTapi.h"
#include "line_server/LineLog.h"
#include "line_server/StatusTexts.h"
#include "platform/audio/AudioFormat.h"
#include "platform/audio/AudioOutput.h"

#include <QDir>
#include <QFileInfo>

namespace orvane {

namespace {
// What a caller hears when neither the greeting nor the default greeting can be played.
constexpr const char* kStandardGreeting =
    "The person you are calling cannot take your call. Please leave a message after the "
    "tone.";
} // namespace

Status ClsTapi::playGreeting()
{
    Status played;
    if (m_settings.playType != QLatin1String("MESS")) {
        writeStatus(status::PlayingFile);
        played = playByTTS(m_waveDeviceId, m_speechFormat, m_settings.playFile);
    } else {
        writeStatus(status::PlayingMessage);
        played = playTextByTTS(m_waveDeviceId, m_speechFormat, m_settings.playMessage);
    }
    if (played) {
        m_lastGreetingProblem.clear();
        return {};
    }
    // No speech service, no device: the call handling has its own answer to these.
    if (played.code() == err::CannotCreate || played.code() == err::NoDevice)
        return played;

    // Anything else (a file missing or not a wave file, a voice, rate or volume that the
    // speech service refuses) must not cost the caller the chance to leave a message.
    qCWarning(lineLog).noquote() << "row" << m_row << "greeting failed:" << played.toString();
    writeStatus(status::PlayingStandIn);
    const QString heard = playStandInGreeting();
    if (played.description() != m_lastGreetingProblem) {
        m_lastGreetingProblem = played.description();
        m_outlet.messageBox(QString::fromLatin1(linemessage::GreetingFailed)
                                .arg(lineName(), played.description(), heard),
                            QString::fromLatin1(linemessage::Title));
    }
    return {};
}

QString ClsTapi::playStandInGreeting()
{
    const VoiceSettings standard; // the first voice, at normal rate and full volume
    const bool spoken = m_settings.playType == QLatin1String("MESS");
    if (spoken && !m_settings.playMessage.trimmed().isEmpty() &&
        m_settings.playMessage.size() <= kMaxSpeechText) {
        Result<std::unique_ptr<Speech>> speech = createSpeech();
        Result<std::unique_ptr<CallAudioOutput>> output =
            CallAudioOutput::open(m_waveDeviceId, m_speechFormat);
        if (speech && output &&
            speech.value()->speak(m_settings.playMessage, standard, *output.value()))
            return QStringLiteral("the greeting text in the standard voice");
    }
    const QString defaultGreeting =
        QDir(m_appPath).filePath(QStringLiteral("greeting/greeting.wav"));
    const bool sameFile = !spoken && QFileInfo(m_settings.playFile).absoluteFilePath() ==
                                         QFileInfo(defaultGreeting).absoluteFilePath();
    if (!sameFile && QFileInfo(defaultGreeting).isFile() &&
        playByTTS(m_waveDeviceId, m_speechFormat, defaultGreeting))
        return QStringLiteral("the default greeting");
    Result<std::unique_ptr<Speech>> speech = createSpeech();
    Result<std::unique_ptr<CallAudioOutput>> output =
        CallAudioOutput::open(m_waveDeviceId, m_speechFormat);
    if (speech && output &&
        speech.value()->speak(QString::fromLatin1(kStandardGreeting), standard, *output.value()))
        return QStringLiteral("a standard greeting");
    qCWarning(lineLog).noquote() << "row" << m_row << "no stand-in greeting could be played";
    return QStringLiteral("no greeting");
}

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
