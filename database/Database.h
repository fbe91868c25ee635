#pragma once

// The answering database, velmoc.mdb in the program folder: SQLite through QtSql. Every
// action opens its own short connection and closes it again, so the desktop program and
// every line can use the file at the same moment (WAL journal, busy timeout). Several line
// servers share one log in PostgreSQL instead, when the configuration names one
// (DatabaseLocation.h): the same tables and statements.

//
// Thread: a Database is used on the thread that opened it.

#include "platform/Status.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

namespace orvane {

// One row of a query, its fields in the order the statement selects them.
using DbRow = QVariantList;

struct DatabaseLocation;

class Database {
public:
    static constexpr const char* kFileName = "velmoc.mdb";

    Database() = default;
    ~Database() { CloseDatabase(); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens `folder`/velmoc.mdb (or the configured PostgreSQL database), creating the file
    // and its tables when they are missing. A connection already open is closed first.
    Status OpenDatabase(const QString& folder);
    void CloseDatabase();
    bool isOpen() const { return !m_name.isEmpty(); }

    // One statement without rows; values are bound to its "?" in order.
    Status execute(const QString& sql, const QVariantList& values = {});
    // One select, read to its end.
    Result<QList<DbRow>> query(const QString& sql, const QVariantList& values = {});
    // A transaction that writes: SQLite takes its write lock at once (a second writer
    // waits rather than failing half way). PostgreSQL takes transaction commands only as
    // such, not as prepared statements.
    Status beginWrite();
    Status commit();
    void rollback();

    static QString filePath(const QString& folder);

private:
    Status openPostgres(const DatabaseLocation& location);

    QString m_name; // the QtSql connection name while open
    bool m_postgres = false;
};

} // namespace orvane
