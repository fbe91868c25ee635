#include "database/Database.h"

#include "database/DatabaseLocation.h"

#include <QAtomicInteger>
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace orvane {

namespace {

// How long a statement waits for another connection's write to finish.
constexpr int kBusyTimeoutMs = 10000;

// The schema, created when missing; one for both databases, {key} the key of message_play
// and {rows} the numbering of recieve_fax's rows as each database writes them (SQLite numbers
// every table's rows itself: its faxes are listed in the order they came, by rowid).
// rec_message keeps its two columns in their order; the call time is ISO 8601 local time,
// so a day is an indexed range.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS rec_message ("
    " INCOMING_CALL TEXT NOT NULL,"
    " INCOMING_CALL_FILE TEXT NOT NULL)",
    // Covers the day query, so that a day's calls are read from the index alone.
    "CREATE INDEX IF NOT EXISTS rec_message_by_day ON rec_message (INCOMING_CALL, "
    "INCOMING_CALL_FILE)",
    "CREATE INDEX IF NOT EXISTS rec_message_by_file ON rec_message (INCOMING_CALL_FILE)",
    "CREATE TABLE IF NOT EXISTS message_play ("
    " id {key},"
    " message TEXT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS recieve_fax ({rows}sFileName TEXT NOT NULL)",
    "CREATE INDEX IF NOT EXISTS recieve_fax_by_name ON recieve_fax (sFileName)",
};

QString schemaStatement(const char* statement, bool postgres)
{
    return QString::fromLatin1(statement)
        .replace(QLatin1String("{key}"), postgres
                                             ? QLatin1String("SERIAL PRIMARY KEY")
                                             : QLatin1String("INTEGER PRIMARY KEY AUTOINCREMENT"))
        .replace(QLatin1String("{rows}"),
                 postgres ? QLatin1String("rowid BIGSERIAL, ") : QLatin1String(""));
}

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

// The schema's version, kept in the file (PRAGMA user_version). 0: the tables as they were
// first made. 1: rec_message knows each call's caller, line, length and whether it was
// heard (NULL for the rows written before). 2: and the keys the caller pressed. 3: each
// row says which line server took it, and a fax on which line.
constexpr int kSchemaVersion = 3;
struct AddedColumn {
    const char* table;
    const char* definition;
    QString name() const { return QString::fromLatin1(definition).section(u' ', 0, 0); }
};
const AddedColumn kAddedColumns[] = {
    {"rec_message", "CALLER_NUMBER TEXT"}, {"rec_message", "CALLER_NAME TEXT"},
    {"rec_message", "LINE TEXT"},          {"rec_message", "SECONDS INTEGER"},
    {"rec_message", "HEARD INTEGER"},      {"rec_message", "DIGITS TEXT"},
    {"rec_message", "SERVER TEXT"},        {"recieve_fax", "LINE TEXT"},
    {"recieve_fax", "SERVER TEXT"},
};

int schemaVersion(QSqlDatabase& db)
{
    QSqlQuery version(db);
    return version.exec(QStringLiteral("PRAGMA user_version")) && version.next()
               ? version.value(0).toInt()
               : 0;
}

// Brings a file of an older schema to this one, its rows kept. Two programs opening it at
// the same moment: the second waits for the first and finds the work done.
Status migrate(QSqlDatabase& db)
{
    if (schemaVersion(db) >= kSchemaVersion)
        return {};
    QSqlQuery step(db);
    if (!step.exec(QStringLiteral("BEGIN IMMEDIATE")))
        return sqlFailure(QStringLiteral("Cannot bring the database up to date"), step.lastError());
    for (const AddedColumn& column : kAddedColumns) {
        const QString table = QString::fromLatin1(column.table);
        QStringList present;
        if (step.exec(QStringLiteral("PRAGMA table_info(%1)").arg(table)))
            while (step.next())
                present.append(step.value(1).toString().toUpper());
        if (present.contains(column.name()))
            continue;
        if (!step.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2")
                           .arg(table, QString::fromLatin1(column.definition)))) {
            const Status failed = sqlFailure(QStringLiteral("Cannot bring the database up to date"),
                                             step.lastError());
            step.exec(QStringLiteral("ROLLBACK"));
            return failed;
        }
    }
    if (!step.exec(QStringLiteral("PRAGMA user_version = %1").arg(kSchemaVersion)) ||
        !step.exec(QStringLiteral("COMMIT"))) {
        const Status failed =
            sqlFailure(QStringLiteral("Cannot bring the database up to date"), step.lastError());
        step.exec(QStringLiteral("ROLLBACK"));
        return failed;
    }
    return {};
}

Status prepareSchema(QSqlDatabase& db)
{
    QSqlQuery pragma(db);
    pragma.exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    pragma.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
    // Files made before the covering index get it now.
    if (!hasTables(db) || !hasIndex(db, QStringLiteral("rec_message_by_day"))) {
        for (const char* statement : kSchema) {
            QSqlQuery create(db);
            if (!create.exec(schemaStatement(statement, false)))
                return sqlFailure(QStringLiteral("Cannot create the tables"), create.lastError());
        }
    }
    return migrate(db);
}

// The same tables in PostgreSQL, shared by several line servers: made whole at once, or
// brought up to date column by column, while one advisory lock keeps two servers starting
// together from doing it at the same moment.
constexpr qint64 kSchemaLock = 0x4f7276616e65; // "Orvane"

// Whether the tables are there with every column of this version.
bool postgresSchemaWhole(QSqlDatabase& db)
{
    if (!hasTables(db))
        return false;
    const QSqlRecord calls = db.record(QStringLiteral("rec_message"));
    const QSqlRecord faxes = db.record(QStringLiteral("recieve_fax"));
    for (const AddedColumn& column : kAddedColumns)
        if (!(qstrcmp(column.table, "rec_message") == 0 ? calls : faxes)
                 .contains(column.name().toLower()))
            return false;
    return true;
}

Status preparePostgresSchema(QSqlDatabase& db)
{
    if (postgresSchemaWhole(db))
        return {};
    QSqlQuery step(db);
    const auto failed = [&](const QSqlQuery& q) {
        const Status s = sqlFailure(QStringLiteral("Cannot prepare the tables"), q.lastError());
        step.exec(QStringLiteral("ROLLBACK"));
        return s;
    };
    if (!step.exec(QStringLiteral("BEGIN")) ||
        !step.exec(QStringLiteral("SELECT pg_advisory_xact_lock(%1)").arg(kSchemaLock)))
        return failed(step);
    // A server that started at the same moment may have made them while this one waited.
    if (postgresSchemaWhole(db))
        return step.exec(QStringLiteral("COMMIT")) ? Status() : failed(step);
    for (const char* statement : kSchema)
        if (!step.exec(schemaStatement(statement, true)))
            return failed(step);
    for (const AddedColumn& column : kAddedColumns)
        if (!step.exec(QStringLiteral("ALTER TABLE %1 ADD COLUMN IF NOT EXISTS %2")
                           .arg(QString::fromLatin1(column.table),
                                QString::fromLatin1(column.definition))))
            return failed(step);
    if (!step.exec(QStringLiteral("COMMIT")))
        return failed(step);
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
    const Result<DatabaseLocation> location = configuredDatabase();
    if (!location)
        return location.status();
    m_postgres = location->kind == DatabaseLocation::Kind::PostgreSql;
    if (m_postgres)
        return openPostgres(location.value());
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

Status Database::openPostgres(const DatabaseLocation& location)
{
    m_name = nextConnectionName();
    Status opened;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
        if (!db.isValid()) {
            opened = Status(err::NotImplemented,
                            QStringLiteral("PostgreSQL cannot be reached: Qt's driver for it is "
                                           "not installed (Debian package libqt6sql6-psql)"));
        } else {
            db.setHostName(location.host);
            if (location.port > 0)
                db.setPort(location.port);
            db.setUserName(location.user);
            db.setPassword(location.password);
            db.setDatabaseName(location.name);
            db.setConnectOptions(location.options);
            if (!db.open())
                opened =
                    sqlFailure(QStringLiteral("Cannot open the database %1").arg(location.shown),
                               db.lastError());
            else
                opened = preparePostgresSchema(db);
        }
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

Status Database::beginWrite()
{
    if (!m_postgres)
        return execute(QStringLiteral("BEGIN IMMEDIATE"));
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (!db.transaction())
        return sqlFailure(QStringLiteral("Cannot begin a transaction"), db.lastError());
    return {};
}

Status Database::commit()
{
    QSqlDatabase db = QSqlDatabase::database(m_name, false);
    if (!db.commit())
        return sqlFailure(QStringLiteral("Cannot commit"), db.lastError());
    return {};
}

void Database::rollback()
{
    QSqlDatabase::database(m_name, false).rollback();
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
