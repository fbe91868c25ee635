#include "database/MessagePlayTable.h"

namespace orvane::messageplay {

Result<QList<MessageRow>> listAll(Database& db)
{
    Result<QList<DbRow>> rows =
        db.query(QStringLiteral("SELECT id, message FROM message_play ORDER BY id"));
    if (!rows)
        return rows.status();
    QList<MessageRow> messages;
    messages.reserve(rows->size());
    for (const DbRow& row : rows.value())
        messages.append({row.at(0).toLongLong(), row.at(1).toString()});
    return messages;
}

Result<std::optional<MessageRow>> read(Database& db, qint64 id)
{
    Result<QList<DbRow>> rows =
        db.query(QStringLiteral("SELECT id, message FROM message_play WHERE id = ?"), {id});
    if (!rows)
        return rows.status();
    if (rows->isEmpty())
        return std::optional<MessageRow>();
    return std::optional<MessageRow>(
        MessageRow{rows->first().at(0).toLongLong(), rows->first().at(1).toString()});
}

Status add(Database& db, const QString& message)
{
    return db.execute(QStringLiteral("INSERT INTO message_play (message) VALUES (?)"), {message});
}

Status change(Database& db, qint64 id, const QString& message)
{
    return db.execute(QStringLiteral("UPDATE message_play SET message = ? WHERE id = ?"),
                      {message, id});
}

Status remove(Database& db, qint64 id)
{
    return db.execute(QStringLiteral("DELETE FROM message_play WHERE id = ?"), {id});
}

} // namespace orvane::messageplay
