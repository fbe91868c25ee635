#pragma once

// The answering database, velmoc.mdb in the program folder: SQLite through QtSql. Every
// action opens its own short connection and closes it again, so the desktop program and
// every line can use the file at the same moment (WAL journal, busy timeout).
//
// Thread: a Database is used on the thread that opened it.

#include "platform/Status.h"

#include <QSqlDatabase>
#include <QString>
#include <QVariant>

namespace orvane {

// One row of a query, its fields in the order the statement selects them.
using DbRow = QVariantList;

class Database {
public:
    static constexpr const char* kFileName = "velmoc.mdb";

    Database() = default;
    ~Database() { CloseDatabase(); }
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens `folder`/velmoc.mdb, creating the file and its tables when they are missing.
    // A connection already open is closed first.
    Status OpenDatabase(const QString& folder);
    void CloseDatabase();
    bool isOpen() const { return !m_name.isEmpty(); }

    // One statement without rows; values are bound to its "?" in order.
    Status execute(const QString& sql, const QVariantList& values = {});
    // One select, read to its end.
    Result<QList<DbRow>> query(const QString& sql, const QVariantList& values = {});

    static QString filePath(const QString& folder);

private:
    QString m_name; // the QtSql connection name while open
};

} // namespace orvane
