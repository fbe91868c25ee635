// Recordings of an earlier run that were never listed: brought home from the last-resort
// folders, named when only their part file was left, and listed in the call log.

#include "line_server/line/RecordingKeeper.h"

#include "database/Database.h"
#include "database/RecMessageTable.h"
#include "line_server/line/LineLog.h"
#include "line_server/line/modData.h"
#include "platform/FreeName.h"
#include "platform/wav/WavFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QStandardPaths>
#include <QThreadPool>
#include <QtEndian>

namespace orvane {

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

QString RecordingKeeper::unsavedRecordingsFolder(const QString& appPath)
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state))
        state = QDir::home().filePath(QStringLiteral(".local/state"));
    return QDir(state).filePath(QStringLiteral("Orvane/unsaved-recordings/") + folderKey(appPath));
}

QString RecordingKeeper::fallbackUnsavedRecordingsFolder(const QString& appPath)
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::TempLocation))
        .filePath(QStringLiteral("orvane-unsaved-recordings/") + folderKey(appPath));
}

void RecordingKeeper::recoverUnlogged(const QString& appPath)
{
    static QMutex mutex;
    static QSet<QString> folders;
    // Files this process makes are listed by the lines that make them; what is older and
    // has no row was left by an earlier run (a crash between file and row, a database that
    // could not be written).
    static const QDateTime started = QDateTime::currentDateTime();
    const QString folder = QDir(appPath).absolutePath();
    {
        QMutexLocker lock(&mutex);
        if (appPath.isEmpty() || folders.contains(folder))
            return;
        folders.insert(folder);
    }
    QThreadPool::globalInstance()->start([folder] {
        const int listed = recoverUnloggedRecordings(folder, started);
        if (listed > 0)
            qCInfo(lineLog).noquote()
                << "listed" << listed << "recording(s) in" << folder << "that had no row";
    });
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

int RecordingKeeper::recoverUnloggedRecordings(const QString& appPath, const QDateTime& before)
{
    const QDir dir(modData::recordingsFolder(appPath));
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
        const Result<QString> kept = keepUnderFreeName(
            info.filePath(), dir.path(), modData::MakeRecordingName(0, info.lastModified()));
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

} // namespace orvane
