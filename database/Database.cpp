#include "database/Database.h"

#include <QAtomicInteger>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace orvane {

namespace {

// How long a statement waits for another connection's write to finish.
constexpr int kBusyTimeoutMs = 10000;

// The schema, created when missing. rec_message keeps its two columns in their order;
// the call time is ISO 8601 local time, so a day is an indexed range.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS rec_message ("
    " INCOMING_CALL TEXT NOT NULL,"
    " INCOMING_CALL_FILE TEXT NOT NULL)",
    // Covers the day query, so that a day's calls are read from the index alone.
    "CREATE INDEX IF NOT EXISTS rec_message_by_day ON rec_message (INCOMING_CALL, "
    "INCOMING_CALL_FILE)",
    "CREATE INDEX IF NOT EXISTS rec_message_by_file ON rec_message (INCOMING_CALL_FILE)",
    "CREATE TABLE IF NOT EXISTS message_play ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " message TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS recieve_fax (sFileName TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS recieve_fax_by_name ON recieve_fax (sFileName)",
};

QString nextConnectionName()
{
    static QAtomicInteger<quint64> counter;
    return QStringLiteral("orvane-db-%1").arg(counter.fetchAndAddRelaxed(1));
}

Status sqlFailure(const QString& what, const QSqlError& error)
{
    return Status(err::Fail, QStringLiteral("%1: %2").arg(what, error.text()));
}

bool hasTables(QSqlDatabase& db)
{
    const QStringList tables = db.tables();
    return tables.contains(QLatin1String("rec_message")) &&
           tables.contains(QLatin1String("message_play")) &&
           tables.contains(QLatin1String("recieve_fax"));
}

bool hasIndex(QSqlDatabase& db, const QString& name)
{
    QSqlQuery q(db);
    q.prepare(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?"));
    q.addBindValue(name);
    return q.exec() && q.next();
}

Status prepareSchema(QSqlDatabase& db)
{
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    // Files made before the covering index get it now.
    if (hasTables(db) && hasIndex(db, QStringLiteral("rec_message_by_day")))
        return {};
    for (const char* statement : kSchema) {
        QSqlQuery create(db);
        if (!create.exec(QString::fromLatin1(statement)))
            return sqlFailure(QStringLiteral("Cannot create the tables"), create.lastError());
    }
    return {};
}

} // namespace

QString Database::filePath(const QString& folder)
{
    return QDir(folder).filePath(QLatin1String(kFileName));
}

Status Database::OpenDatabase(const QString& folder)
{
    CloseDatabase();
    if (folder.isEmpty() || !QDir(folder).exists())
        return Status(err::FileNotFound,
                      QStringLiteral("The program folder \"%1\" does not exist").arg(folder));
    m_name = nextConnectionName();
    Status opened;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(filePath(folder));
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(kBusyTimeoutMs));
        if (!db.open())
            opened =
                sqlFailure(QStringLiteral("Cannot open %1").arg(filePath(folder)), db.lastError());
        else
            opened = prepareSchema(db);
    }
    if (!opened)
        CloseDatabase();
    return opened;
}

void Database::CloseDatabase()
{
    if (m_name.isEmpty())
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_name, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_name);
    m_name.clear();
}

Status Database::execute(const QString& sql, const QVariantList& values)
{
    if (!isOpen())
        return Status(err::InvalidState, QStringLiteral("The database is not open"));
    QSqlQuery statement(QSqlDatabase::database(m_name, false));
    if (!statement.prepare(sql))
        return sqlFailure(sql, statement.lastError());
    for (const QVariant& v : values)
        statement.addBindValue(v);
    if (!statement.exec())
        return sqlFailure(sql, statement.lastError());
    return {};
}

Result<QList<DbRow>> Database::query(const QString& sql, const QVariantList& values)
{
    if (!isOpen())
        return Status(err::InvalidState, QStringLiteral("The database is not open"));
    QSqlQuery select(QSqlDatabase::database(m_name, false));
    select.setForwardOnly(true);
    if (!select.prepare(sql))
        return sqlFailure(sql, select.lastError());
    for (const QVariant& v : values)
        select.addBindValue(v);
    if (!select.exec())
        return sqlFailure(sql, select.lastError());
    QList<DbRow> rows;
    const int columns = select.record().count();
    while (select.next()) {
        DbRow row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row.append(select.value(c));
        rows.append(row);
    }
    if (select.lastError().isValid())
        return sqlFailure(sql, select.lastError());
    return rows;
}

} // namespace orvane
