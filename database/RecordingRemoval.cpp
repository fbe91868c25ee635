#include "database/RecordingRemoval.h"

#include "database/StorageRoot.h"

#include "database/Database.h"
#include "database/RecMessageTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace orvane {

namespace {

struct SetAside {
    QString path;  // where the file was
    QString aside; // where it is now
};

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool move(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

// The files set aside, back under their names; what cannot go back is said, where it is.
QString putBack(const QList<SetAside>& moved)
{
    QStringList stuck;
    for (const SetAside& m : moved)
        if (!move(m.aside, m.path))
            stuck.append(QStringLiteral("%1 (kept as %2)").arg(m.path, m.aside));
    return stuck.isEmpty() ? QString()
                           : QStringLiteral(" These files could not be put back: %1.")
                                 .arg(stuck.join(QStringLiteral(", ")));
}

} // namespace

QString recordingPath(const QString& programFolder, const QString& fileName)
{
    if (fileName.isEmpty() || fileName.contains(QLatin1Char('/')) ||
        fileName.contains(QLatin1Char('\\')) || fileName == QLatin1String("..") ||
        fileName == QLatin1String("."))
        return QString();
    return QDir(storage::recordingsFolder(programFolder)).filePath(fileName);
}

RemovalOutcome deleteRecordings(const QString& programFolder, const QStringList& files)
{
    RemovalOutcome outcome;
    // 1. Every file to a hidden name beside it (a rename: it cannot half happen). A file
    // already gone leaves nothing to set aside; its row goes all the same.
    QList<SetAside> moved;
    for (const QString& name : files) {
        const QString path = recordingPath(programFolder, name);
        if (path.isEmpty()) {
            outcome.notOurs.append(name);
            continue;
        }
        if (!QFileInfo::exists(path))
            continue;
        const QString aside = QFileInfo(path).dir().filePath(QStringLiteral(".deleting-") + name);
        if (!move(path, aside)) {
            const QString why = systemError();
            outcome.status = Status(err::Fail, QStringLiteral("%1 cannot be deleted: %2. Nothing "
                                                              "was deleted.%3")
                                                   .arg(path, why, putBack(moved)));
            return outcome;
        }
        moved.append({path, aside});
    }
    // 2. The rows, all in one transaction.
    Database db;
    Status rows = db.OpenDatabase(programFolder);
    if (rows)
        rows = recmessage::deleteByFiles(db, files);
    db.CloseDatabase();
    if (!rows) {
        const QString stuck = putBack(moved);
        outcome.status = Status(rows.code(), QStringLiteral("The list of recorded calls cannot be "
                                                            "changed: %1. Nothing was deleted.%2")
                                                 .arg(rows.description(), stuck));
        return outcome;
    }
    // 3. The files themselves: no row names them any more.
    QStringList left;
    for (const SetAside& m : std::as_const(moved))
        if (!QFile::remove(m.aside))
            left.append(m.aside);
    if (!left.isEmpty())
        outcome.status = Status(err::Fail, QStringLiteral("The calls were taken off the list, but "
                                                          "these files could not be removed: %1")
                                               .arg(left.join(QStringLiteral(", "))));
    return outcome;
}

} // namespace orvane
