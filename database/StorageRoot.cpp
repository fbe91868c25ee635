#include "database/StorageRoot.h"

#include "database/OrvaneConf.h"

#include <QDir>

namespace orvane::storage {

QString configuredRoot(const QString& programFolder)
{
    QString chosen = qEnvironmentVariable("ORVANE_STORAGE").trimmed();
    if (chosen.isEmpty()) {
        // A conf file that cannot be read is reported by whatever opens the log; files then
        // stay where they would be without it.
        const Result<OrvaneConf> conf = orvaneConf();
        if (conf)
            chosen = conf->storage.trimmed();
    }
    if (chosen.isEmpty())
        return QString();
    return QDir::cleanPath(QDir(programFolder).absoluteFilePath(chosen));
}

QString root(const QString& programFolder)
{
    const QString configured = configuredRoot(programFolder);
    return configured.isEmpty() ? programFolder : configured;
}

QString recordingsFolder(const QString& programFolder)
{
    return QDir(root(programFolder)).filePath(QStringLiteral("Rec-Files"));
}

QString answeredFaxesFolder(const QString& programFolder)
{
    return QDir(root(programFolder)).filePath(QStringLiteral("Fax-Files"));
}

QString stored(const QString& programFolder, const QString& path)
{
    const QString configured = configuredRoot(programFolder);
    if (configured.isEmpty() || !QDir::isAbsolutePath(path))
        return path;
    const QString clean = QDir::cleanPath(path);
    const QString prefix = configured.endsWith(u'/') ? configured : configured + u'/';
    return clean.startsWith(prefix) ? clean.mid(prefix.size()) : path;
}

QString resolved(const QString& programFolder, const QString& stored)
{
    if (stored.isEmpty() || QDir::isAbsolutePath(stored))
        return stored;
    return QDir::cleanPath(QDir(root(programFolder)).filePath(stored));
}

} // namespace orvane::storage
