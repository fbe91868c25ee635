// Playing the greeting to the caller: a wave file, or a text spoken with the line's voice.
// Both render in the format the line media component gave for the call's device and
// return when the last of it has been sent.

#include "line_server/line/ClsTapi.h"
#include "line_server/line/LineLog.h"
#include "line_server/line/StatusTexts.h"
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
        played = playFile([this] { return callOutput(); }, m_settings.playFile);
    } else {
        writeStatus(status::PlayingMessage);
        played = speak([this] { return callOutput(); }, m_settings.playMessage,
                       {m_settings.voice, m_settings.rate, m_settings.volume});
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
    const OutputOpener output = [this] { return callOutput(); };
    const bool spoken = m_settings.playType == QLatin1String("MESS");
    if (spoken && !m_settings.playMessage.trimmed().isEmpty() &&
        m_settings.playMessage.size() <= kMaxSpeechText &&
        speak(output, m_settings.playMessage, standard))
        return QStringLiteral("the greeting text in the standard voice");
    const QString defaultGreeting =
        QDir(m_keeper.programFolder()).filePath(QStringLiteral("greeting/greeting.wav"));
    const bool sameFile = !spoken && QFileInfo(m_settings.playFile).absoluteFilePath() ==
                                         QFileInfo(defaultGreeting).absoluteFilePath();
    if (!sameFile && QFileInfo(defaultGreeting).isFile() && playFile(output, defaultGreeting))
        return QStringLiteral("the default greeting");
    if (speak(output, QString::fromLatin1(kStandardGreeting), standard))
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

Result<std::unique_ptr<CallAudioOutput>> ClsTapi::callOutput() const
{
    return CallAudioOutput::open(m_call.device, m_call.format);
}

Status ClsTapi::playFile(const OutputOpener& open, const QString& path)
{
    Result<std::unique_ptr<CallAudioOutput>> output = open();
    if (!output)
        return output.status();
    Result<std::unique_ptr<Speech>> speech = createSpeech();
    if (!speech)
        return speech.status();
    return speech.value()->playFile(path, *output.value());
}

Status ClsTapi::speak(const OutputOpener& open, const QString& text, const VoiceSettings& voice)
{
    Result<std::unique_ptr<Speech>> speech = createSpeech();
    if (!speech)
        return speech.status();
    Result<std::unique_ptr<CallAudioOutput>> output = open();
    if (!output)
        return output.status();
    return speech.value()->speak(text, voice, *output.value());
}

Status ClsTapi::playByTTS(qint32 media, qint32 mediaformat, const QString& sPath)
{
    return playFile([&] { return CallAudioOutput::open(media, mediaformat); }, sPath);
}

Status ClsTapi::playTextByTTS(qint32 media, qint32 mediaformat, const QString& sText)
{
    return speak([&] { return CallAudioOutput::open(media, mediaformat); }, sText,
                 {m_settings.voice, m_settings.rate, m_settings.volume});
}

} // namespace orvane
