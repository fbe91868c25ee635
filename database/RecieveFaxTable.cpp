#include "database/RecieveFaxTable.h"

#include "database/DatabaseLocation.h"
#include "database/StorageRoot.h"

namespace orvane::recievefax {

Status logFax(Database& db, const QString& stored, const QString& line)
{
    return db.execute(
        QStringLiteral("INSERT INTO recieve_fax (sFileName, LINE, SERVER) VALUES (?, ?, ?)"),
        {stored, line.isEmpty() ? QVariant() : QVariant(line), serverName()});
}

Result<QStringList> listAll(Database& db, const QString& programFolder)
{
    Result<QList<DbRow>> rows =
        db.query(QStringLiteral("SELECT sFileName FROM recieve_fax ORDER BY rowid"));
    if (!rows)
        return rows.status();
    QStringList paths;
    paths.reserve(rows->size());
    for (const DbRow& row : rows.value())
        paths.append(storage::resolved(programFolder, row.at(0).toString()));
    return paths;
}

Status remove(Database& db, const QString& programFolder, const QString& path)
{
    return db.execute(
        QStringLiteral("DELETE FROM recieve_fax WHERE sFileName = ? OR sFileName = ?"),
        {path, storage::stored(programFolder, path)});
}

Status removeAll(Database& db)
{
    return db.execute(QStringLiteral("DELETE FROM recieve_fax"));
}

} // namespace orvane::recievefax
