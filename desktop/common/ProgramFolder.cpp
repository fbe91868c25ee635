#include "desktop/common/ProgramFolder.h"

#include "database/Database.h"
#include "platform/audio/AudioOutput.h"
#include "platform/audio/G711.h"
#include "platform/speech/Speech.h"
#include "platform/wav/WavFile.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>

// The help page is a resource of the desktop library (a static library: it must be asked for).
static void initDesktopResources()
{
    Q_INIT_RESOURCE(desktop);
}

namespace orvane::programfolder {

namespace {

const char* const kGreetingText =
    "Hello. You have reached the answering machine. Please leave your message after the tone.";

// The greeting as telephone audio: the spoken text, a short pause and a 1 kHz tone.
Status writeDefaultGreeting(const QString& file)
{
    QVector<qint16> samples;
    if (Result<std::unique_ptr<Speech>> speech = createSpeech()) {
        CaptureAudioOutput spoken(8000);
        if (speech.value()->speak(QString::fromLatin1(kGreetingText), {0, 0, 100}, spoken))
            samples = spoken.samples();
    }
    samples.append(QVector<qint16>(2400, 0));
    for (int i = 0; i < 4000; ++i)
        samples.append(qint16(8000 * std::sin(2 * M_PI * 1000 * i / 8000.0)));
    QByteArray ulaw(samples.size(), Qt::Uninitialized);
    g711::encodeUlaw(samples.constData(), reinterpret_cast<quint8*>(ulaw.data()), samples.size());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(wav::muLawFile(ulaw)) < 0 || !out.commit())
        return Status(err::Fail,
                      QStringLiteral("Cannot write %1: %2").arg(file, out.errorString()));
    return {};
}

} // namespace

QString path()
{
    const QString home = qEnvironmentVariable("ORVANE_HOME");
    if (!home.isEmpty())
        return QDir(home).absolutePath();
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Orvane"));
}

QString greetingFile()
{
    return QDir(path()).filePath(QStringLiteral("greeting/greeting.wav"));
}

QString helpPage()
{
    return QDir(path()).filePath(QStringLiteral("help/help.htm"));
}

Status prepare()
{
    initDesktopResources();
    QDir folder(path());
    for (const char* sub : {"Rec-Files", "greeting", "help"})
        if (!folder.mkpath(QLatin1String(sub)))
            return Status(
                err::Fail,
                QStringLiteral("Cannot create %1").arg(folder.filePath(QLatin1String(sub))));
    Database db;
    if (Status s = db.OpenDatabase(folder.path()); !s)
        return s;
    db.CloseDatabase();
    if (!QFile::exists(greetingFile()))
        if (Status s = writeDefaultGreeting(greetingFile()); !s)
            return s;
    if (!QFile::exists(helpPage()) && !QFile::copy(QStringLiteral(":/help/help.htm"), helpPage()))
        return Status(err::Fail, QStringLiteral("Cannot write %1").arg(helpPage()));
    QFile::setPermissions(helpPage(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return {};
}

} // namespace orvane::programfolder
