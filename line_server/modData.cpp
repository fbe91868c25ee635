#include "line_server/modData.h"

#include "database/DateTimeText.h"
#include "database/RecMessageTable.h"
#include "database/RecieveFaxTable.h"

#include "line_server/LineLog.h"
#include "platform/FreeName.h"
#include "platform/RegularFile.h"
#include "platform/wav/WavFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvane::modData {

QString recordingsFolder(const QString& appPath)
{
    return QDir(appPath).filePath(QStringLiteral("Rec-Files"));
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
    // The database is made, or written with its journal, beside the recordings folder.
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

namespace {
// A name per program folder that any path fits in.
QString folderKey(const QString& appPath)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(QFile::encodeName(QDir(appPath).absolutePath()),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16));
}
} // namespace

QString unsavedRecordingsFolder(const QString& appPath)
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(state).filePath(QStringLiteral("Orvane/unsaved-recordings/") + folderKey(appPath));
}

QString fallbackUnsavedRecordingsFolder(const QString& appPath)
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
        .filePath(QStringLiteral("orvane-unsaved-recordings/") + folderKey(appPath));
}

QString MakeRecordingName(qint16 row, const QDateTime& now)
{
    QString name = datetext::general(now);
    name.replace(QLatin1Char(' '), QLatin1String("--"));
    name.replace(QLatin1Char(':'), QLatin1Char('-'));
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    return name + QLatin1Char('-') + QString::number(row) + QLatin1String(".wav");
}

Status LogRecordedCall(const QString& appPath, const QDateTime& callTime, const QString& fileName)
{
    Database db;
    if (Status s = db.OpenDatabase(appPath); !s)
        return s;
    Status s = recmessage::logCall(db, callTime, fileName);
    db.CloseDatabase();
    return s;
}

Status LogReceivedFax(const QString& appPath, const QString& path)
{
    Database db;
    if (Status s = db.OpenDatabase(appPath); !s)
        return s;
    Status s = recievefax::logFax(db, path);
    db.CloseDatabase();
    return s;
}

namespace {

// The data bytes of a recording file that is whole (its header's sizes match the file), or
// -1 when it is not.
qint64 wholeRecordingBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray head = file.read(wav::kMuLawHeaderSize);
    if (head.size() < wav::kMuLawHeaderSize || !head.startsWith("RIFF") ||
        head.mid(8, 4) != "WAVE" || head.mid(36, 4) != "data")
        return -1;
    const qint64 size = file.size();
    const qint64 riff = qFromLittleEndian<quint32>(head.constData() + 4);
    const qint64 data = qFromLittleEndian<quint32>(head.constData() + 40);
    return riff == size - 8 && data == size - wav::kMuLawHeaderSize ? data : -1;
}

} // namespace

int recoverUnloggedRecordings(const QString& appPath, const QDateTime& before)
{
    const QDir dir(recordingsFolder(appPath));
    if (!dir.exists())
        return 0;
    // What an earlier run could not save here comes home first, keeping its time (a copy
    // from another file system would take the time of copying).
    for (const QString& folder :
         {unsavedRecordingsFolder(appPath), fallbackUnsavedRecordingsFolder(appPath)}) {
        const QDir unsaved(folder);
        for (const QString& name : unsaved.entryList({QStringLiteral("*.wav")}, QDir::Files)) {
            const QDateTime time = QFileInfo(unsaved.filePath(name)).lastModified();
            const Result<QString> kept =
                keepUnderFreeName(unsaved.filePath(name), dir.path(), name);
            if (!kept) {
                qCWarning(lineLog).noquote() << kept.status().description();
                continue;
            }
            QFile home(dir.filePath(kept.value()));
            if (home.open(QIODevice::ReadWrite))
                home.setFileTime(time, QFileDevice::FileModificationTime);
        }
        if (unsaved.exists() &&
            unsaved.entryList({QStringLiteral("*.wav")}, QDir::Files).isEmpty()) {
            QFile::remove(unsaved.filePath(QStringLiteral("program-folder.txt")));
            QDir().rmdir(unsaved.path());
        }
    }
    const QStringList parts =
        dir.entryList({QStringLiteral(".recording-*.part")}, QDir::Files | QDir::Hidden);
    for (const QString& part : parts) {
        const QFileInfo info(dir.filePath(part));
        if (info.lastModified() >= before)
            continue; // a line of this run may be naming it now
        if (wholeRecordingBytes(info.filePath()) < 0) {
            qCWarning(lineLog).noquote()
                << info.filePath() << "is not a whole recording; it is left";
            continue;
        }
        const Result<QString> kept = keepUnderFreeName(info.filePath(), dir.path(),
                                                       MakeRecordingName(0, info.lastModified()));
        if (!kept)
            qCWarning(lineLog).noquote() << kept.status().description();
    }

    // A folder without recordings has nothing to list: its database is left alone.
    const QStringList files = dir.entryList({QStringLiteral("*.wav")}, QDir::Files);
    if (files.isEmpty())
        return 0;
    Database db;
    if (Status s = db.OpenDatabase(appPath); !s) {
        qCWarning(lineLog).noquote() << "cannot look for unlisted recordings:" << s.description();
        return 0;
    }
    int listed = 0;
    for (const QString& name : files) {
        const QFileInfo info(dir.filePath(name));
        if (info.lastModified() >= before)
            continue;
        const Result<bool> known = recmessage::hasFile(db, name);
        if (!known) {
            qCWarning(lineLog).noquote()
                << "cannot look for unlisted recordings:" << known.status().description();
            break;
        }
        if (known.value())
            continue;
        const qint64 bytes = wholeRecordingBytes(info.filePath());
        const QDateTime began = info.lastModified().addMSecs(-qMax<qint64>(bytes, 0) / 8);
        if (Status s = recmessage::logCall(db, began, name); !s) {
            qCWarning(lineLog).noquote() << "cannot list" << name << ":" << s.description();
            break;
        }
        qCInfo(lineLog).noquote() << "listed" << dir.filePath(name) << "which had no row";
        ++listed;
    }
    db.CloseDatabase();
    return listed;
}

} // namespace orvane::modData
