#include "desktop/common/ProgramFolder.h"

#include "database/Database.h"
#include "line_server/client/AnsweringConf.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

// The help page is a resource of the desktop library (a static library: it must be asked for).
static void initDesktopResources()
{
    Q_INIT_RESOURCE(desktop);
}

namespace orvane::programfolder {

namespace {

const char* const kGreetingName = "greeting.wav";
// The greeting is a few seconds of telephone sound; anything far larger is not ours.
constexpr qint64 kMaxGreetingBytes = 16 * 1024 * 1024;

// The installed greeting, copied whole or not at all: a greeting cut short by a full disk
// would otherwise stay, since a greeting that exists is left as it is.
// The help page as installed (share/orvane), or as built into the program.
QString helpSource()
{
    for (const QString& folder : dataFolders())
        if (const QFileInfo installed(QDir(folder).filePath(QStringLiteral("help.htm")));
            installed.isFile())
            return installed.filePath();
    return QStringLiteral(":/help/help.htm");
}

Status copyDefaultGreeting(const QString& target)
{
    QString source;
    for (const QString& folder : dataFolders()) {
        const QFileInfo candidate(QDir(folder).filePath(QLatin1String(kGreetingName)));
        if (candidate.isFile()) {
            source = candidate.filePath();
            break;
        }
    }
    if (source.isEmpty())
        return Status(
            err::Fail,
            QCoreApplication::translate("orvane::programfolder",
                                        "The default greeting is missing from this "
                                        "installation (no %1 in %2).")
                .arg(QLatin1String(kGreetingName), dataFolders().join(QStringLiteral(" or "))));
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return Status(err::Fail,
                      QCoreApplication::translate("orvane::programfolder", "Cannot read %1: %2")
                          .arg(source, in.errorString()));
    if (in.size() > kMaxGreetingBytes)
        return Status(err::Fail, QCoreApplication::translate("orvane::programfolder",
                                                             "Cannot read %1: too large")
                                     .arg(source));
    const QByteArray sound = in.readAll();
    if (in.error() != QFileDevice::NoError)
        return Status(err::Fail,
                      QCoreApplication::translate("orvane::programfolder", "Cannot read %1: %2")
                          .arg(source, in.errorString()));
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(sound) != sound.size() || !out.commit())
        return Status(err::Fail,
                      QCoreApplication::translate("orvane::programfolder", "Cannot write %1: %2")
                          .arg(target, out.errorString()));
    return {};
}

} // namespace

QString path()
{
    // The standing lines of the line server keep theirs in the same place by default.
    return answering::defaultProgramFolder();
}

QString greetingFile()
{
    return QDir(path()).filePath(QStringLiteral("greeting/greeting.wav"));
}

QString helpPage()
{
    return QDir(path()).filePath(QStringLiteral("help/help.htm"));
}

QStringList dataFolders()
{
    const QString configured = qEnvironmentVariable("ORVANE_DATA_DIR");
    if (!configured.isEmpty())
        return {QDir(configured).absolutePath()};
    return {QDir::cleanPath(QCoreApplication::applicationDirPath() +
                            QStringLiteral("/../share/orvane")),
            QStringLiteral(ORVANE_INSTALLED_DATA_DIR)};
}

Status prepare()
{
    initDesktopResources();
    QDir folder(path());
    for (const char* sub : {"Rec-Files", "greeting", "help"})
        if (!folder.mkpath(QLatin1String(sub)))
            return Status(err::Fail,
                          QCoreApplication::translate("orvane::programfolder", "Cannot create %1")
                              .arg(folder.filePath(QLatin1String(sub))));
    Database db;
    if (Status s = db.OpenDatabase(folder.path()); !s)
        return s;
    db.CloseDatabase();
    // A greeting that cannot be had costs the folder nothing else: the lines greet with a
    // stand-in, and the help page is still wanted.
    Status greeting;
    if (!QFile::exists(greetingFile()))
        greeting = copyDefaultGreeting(greetingFile());
    if (!QFile::exists(helpPage()) && !QFile::copy(helpSource(), helpPage()))
        return Status(err::Fail,
                      QCoreApplication::translate("orvane::programfolder", "Cannot write %1")
                          .arg(helpPage()));
    QFile::setPermissions(helpPage(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ReadOther);
    return greeting;
}

} // namespace orvane::programfolder
