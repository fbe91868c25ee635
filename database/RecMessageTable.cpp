#include "database/RecMessageTable.h"

#include "database/DateTimeText.h"

namespace orvane::recmessage {

Status logCall(Database& db, const QDateTime& callTime, const QString& fileName)
{
    return db.execute(QStringLiteral("INSERT INTO rec_message (INCOMING_CALL, INCOMING_CALL_FILE) "
                                     "VALUES (?, ?)"),
                      {datetext::toStored(callTime), fileName});
}

Result<QList<CallRow>> listDay(Database& db, const QDate& day)
{
    Result<QList<DbRow>> rows =
        db.query(QStringLiteral("SELECT INCOMING_CALL, INCOMING_CALL_FILE FROM rec_message "
                                "WHERE INCOMING_CALL >= ? AND INCOMING_CALL < ? "
                                "ORDER BY INCOMING_CALL"),
                 {datetext::dayStart(day), datetext::dayStart(day.addDays(1))});
    if (!rows)
        return rows.status();
    QList<CallRow> calls;
    calls.reserve(rows->size());
    for (const DbRow& row : rows.value())
        calls.append({datetext::fromStored(row.at(0).toString()), row.at(1).toString()});
    return calls;
}

Result<bool> hasFile(Database& db, const QString& fileName)
{
    Result<QList<DbRow>> rows =
        db.query(QStringLiteral("SELECT 1 FROM rec_message WHERE INCOMING_CALL_FILE = ? LIMIT 1"),
                 {fileName});
    if (!rows)
        return rows.status();
    return !rows->isEmpty();
}

Status deleteByFile(Database& db, const QString& fileName)
{
    return db.execute(QStringLiteral("DELETE FROM rec_message WHERE INCOMING_CALL_FILE = ?"),
                      {fileName});
}

Status deleteDay(Database& db, const QDate& day)
{
    return db.execute(QStringLiteral("DELETE FROM rec_message "
                                     "WHERE INCOMING_CALL >= ? AND INCOMING_CALL < ?"),
                      {datetext::dayStart(day), datetext::dayStart(day.addDays(1))});
}

} // namespace orvane::recmessage
