#include "database/RecMessageTable.h"

#include "database/DatabaseLocation.h"
#include "database/DateTimeText.h"

namespace orvane::recmessage {

namespace {
QVariant orNull(const QString& text)
{
    return text.isEmpty() ? QVariant() : QVariant(text);
}
} // namespace

Status logCall(Database& db, const QDateTime& callTime, const QString& fileName,
               const CallDetails& details)
{
    // Once per recording: a row whose commit was not confirmed (a connection lost at that
    // moment) is written again, and a recording another server found unlisted may be
    // listed by its own server late; neither may list the call twice.
    return db.execute(
        QStringLiteral("INSERT INTO rec_message (INCOMING_CALL, INCOMING_CALL_FILE, CALLER_NUMBER, "
                       "CALLER_NAME, LINE, SECONDS, HEARD, DIGITS, SERVER) SELECT ?, ?, ?, ?, ?, "
                       "CAST(? AS INTEGER), 0, ?, ? WHERE NOT EXISTS (SELECT 1 FROM rec_message "
                       "WHERE INCOMING_CALL_FILE = ?)"),
        {datetext::toStored(callTime), fileName, orNull(details.callerNumber),
         orNull(details.callerName), orNull(details.line),
         details.seconds < 0 ? QVariant() : QVariant(details.seconds), orNull(details.keys),
         serverName(), fileName});
}

namespace {
CallDetails detailsFrom(const DbRow& row, int at)
{
    return {row.at(at).toString(), row.at(at + 1).toString(), row.at(at + 2).toString(),
            row.at(at + 3).isNull() ? -1 : row.at(at + 3).toInt(), row.at(at + 4).toString()};
}
} // namespace

Result<CallDetails> detailsOf(Database& db, const QString& fileName)
{
    Result<QList<DbRow>> rows =
        db.query(QStringLiteral("SELECT CALLER_NUMBER, CALLER_NAME, LINE, SECONDS, DIGITS FROM "
                                "rec_message WHERE INCOMING_CALL_FILE = ? LIMIT 1"),
                 {fileName});
    if (!rows)
        return rows.status();
    if (rows->isEmpty())
        return Status(err::FileNotFound, QStringLiteral("No call is listed with %1").arg(fileName));
    return detailsFrom(rows->first(), 0);
}

Result<QList<CallRow>> listDay(Database& db, const QDate& day)
{
    Result<QList<DbRow>> rows =
        db.query(QStringLiteral("SELECT INCOMING_CALL, INCOMING_CALL_FILE, CALLER_NUMBER, "
                                "CALLER_NAME, LINE, SECONDS, DIGITS, HEARD, SERVER FROM "
                                "rec_message WHERE INCOMING_CALL >= ? AND INCOMING_CALL < ? "
                                "ORDER BY INCOMING_CALL"),
                 {datetext::dayStart(day), datetext::dayStart(day.addDays(1))});
    if (!rows)
        return rows.status();
    QList<CallRow> calls;
    calls.reserve(rows->size());
    for (const DbRow& row : rows.value())
        calls.append({datetext::fromStored(row.at(0).toString()), row.at(1).toString(),
                      detailsFrom(row, 2), row.at(7).isNull() || row.at(7).toInt() != 0,
                      row.at(8).toString()});
    return calls;
}

Result<QDateTime> timeOf(Database& db, const QString& fileName)
{
    Result<QList<DbRow>> rows =
        db.query(QStringLiteral(
                     "SELECT INCOMING_CALL FROM rec_message WHERE INCOMING_CALL_FILE = ? LIMIT 1"),
                 {fileName});
    if (!rows)
        return rows.status();
    if (rows->isEmpty())
        return Status(err::FileNotFound, QStringLiteral("No call is listed with %1").arg(fileName));
    return datetext::fromStored(rows->first().at(0).toString());
}

Status markHeard(Database& db, const QString& fileName)
{
    return db.execute(
        QStringLiteral("UPDATE rec_message SET HEARD = 1 WHERE INCOMING_CALL_FILE = ?"),
        {fileName});
}

Result<int> countUnheard(Database& db)
{
    Result<QList<DbRow>> rows =
        db.query(QStringLiteral("SELECT COUNT(*) FROM rec_message WHERE HEARD = 0"));
    if (!rows)
        return rows.status();
    return rows->isEmpty() ? 0 : rows->first().at(0).toInt();
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

Status deleteByFiles(Database& db, const QStringList& fileNames)
{
    // Said without the statement, which tells the user nothing.
    auto run = [&db](const QString& sql, const QVariantList& values = {}) {
        const Status s = db.execute(sql, values);
        if (s || !s.description().startsWith(sql + QLatin1String(": ")))
            return s;
        return Status(s.code(), s.description().mid(sql.size() + 2).trimmed());
    };
    // One transaction, in statements of a few hundred names (SQLite's limit on bound values).
    constexpr qsizetype kPerStatement = 500;
    if (Status s = db.beginWrite(); !s)
        return s;
    for (qsizetype at = 0; at < fileNames.size(); at += kPerStatement) {
        const QStringList some = fileNames.mid(at, kPerStatement);
        QStringList marks;
        marks.fill(QStringLiteral("?"), some.size());
        QVariantList values;
        for (const QString& name : some)
            values.append(name);
        const Status s = run(QStringLiteral("DELETE FROM rec_message WHERE "
                                            "INCOMING_CALL_FILE IN (%1)")
                                 .arg(marks.join(QLatin1Char(','))),
                             values);
        if (!s) {
            db.rollback();
            return s;
        }
    }
    if (Status s = db.commit(); !s) {
        db.rollback();
        return s;
    }
    return {};
}

} // namespace orvane::recmessage
