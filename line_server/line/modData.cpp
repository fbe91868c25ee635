#include "line_server/line/modData.h"

#include "database/DatabaseLocation.h"
#include "database/DateTimeText.h"
#include "database/RecMessageTable.h"
#include "database/RecieveFaxTable.h"
#include "database/StorageRoot.h"

#include "line_server/line/LineLog.h"
#include "platform/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvane::modData {

QString recordingsFolder(const QString& appPath)
{
    return storage::recordingsFolder(appPath);
}

QString faxesFolder(const QString& appPath)
{
    return storage::answeredFaxesFolder(appPath);
}

namespace {
// access() also answers for a read-only file system, which root cannot write either.
Status writable(const QString& path, int mode, const char* cannot)
{
    if (::access(QFile::encodeName(path).constData(), mode) == 0)
        return {};
    return Status(err::Fail, QStringLiteral("%1 %2: %3")
                                 .arg(QLatin1String(cannot), path,
                                      QString::fromLocal8Bit(std::strerror(errno))));
}
} // namespace

Status checkProgramFolder(const QString& appPath)
{
    if (appPath.isEmpty() || !QDir::isAbsolutePath(appPath))
        return Status(
            err::InvalidArg,
            QStringLiteral("The program folder \"%1\" is not an absolute path").arg(appPath));
    const QFileInfo folder(appPath);
    if (folder.exists() && !folder.isDir())
        return Status(err::InvalidArg,
                      QStringLiteral("The program folder %1 is not a folder").arg(appPath));
    const QString recordings = recordingsFolder(appPath);
    if (QFileInfo(recordings).exists() && !QFileInfo(recordings).isDir())
        return Status(err::InvalidArg,
                      QStringLiteral("The recordings folder %1 is not a folder").arg(recordings));
    if (!QDir().mkpath(recordings))
        return Status(err::Fail, QStringLiteral("Cannot make the folder %1").arg(recordings));
    if (Status s = writable(recordings, W_OK | X_OK, "Cannot write in"); !s)
        return s;
    // A log in PostgreSQL needs nothing of the program folder.
    const Result<DatabaseLocation> log = configuredDatabase();
    if (!log)
        return log.status();
    if (log->kind != DatabaseLocation::Kind::Sqlite)
        return {};
    // The database is made, or written with its journal, in the program folder.
    if (Status s = writable(appPath, W_OK | X_OK, "Cannot write in"); !s)
        return s;
    const QString database = Database::filePath(appPath);
    if (QFileInfo::exists(database)) {
        if (Status s = checkRegularFile(database); !s)
            return Status(err::InvalidArg, QStringLiteral("The database %1").arg(s.description()));
        if (Status s = writable(database, W_OK, "Cannot write the database"); !s)
            return s;
    }
    return {};
}

QString MakeRecordingName(qint16 row, const QDateTime& now)
{
    QString name = datetext::general(now);
    name.replace(QLatin1Char(' '), QLatin1String("--"));
    name.replace(QLatin1Char(':'), QLatin1Char('-'));
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return name + QLatin1Char('-') + QString::number(row) + QLatin1String(".wav");
}

Status LogRecordedCall(const QString& appPath, const QDateTime& callTime, const QString& fileName,
                       const recmessage::CallDetails& details)
{
    Database db;
    if (Status s = db.OpenDatabase(appPath); !s)
        return s;
    Status s = recmessage::logCall(db, callTime, fileName, details);
    db.CloseDatabase();
    return s;
}

Status LogReceivedFax(const QString& appPath, const QString& path, const QString& line)
{
    Database db;
    if (Status s = db.OpenDatabase(appPath); !s)
        return s;
    Status s = recievefax::logFax(db, storage::stored(appPath, path), line);
    db.CloseDatabase();
    return s;
}

} // namespace orvane::modData
