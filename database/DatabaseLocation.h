#pragma once

// Where the call and fax log lives. The default is velmoc.mdb (SQLite) in the program
// folder. Several line servers share one log in PostgreSQL instead, named by a libpq URI:
//
//   postgresql://[user[:password]@][host][:port]/dbname[?param=value&...]
//   postgresql:///orvane?host=/run/postgresql        (a Unix socket folder)
//
// chosen by $ORVANE_DATABASE, else by `database =` in ~/.config/Orvane/orvane.conf
// ($ORVANE_CONF names another file). Parameters beyond host, port, user, password and
// dbname (sslmode, connect_timeout...) go to libpq as they are.
//
// Thread: any.

#include "platform/Status.h"

#include <QString>

namespace orvane {

struct DatabaseLocation {
    enum class Kind { Sqlite, PostgreSql };
    Kind kind = Kind::Sqlite;
    // PostgreSQL: where and as whom; empty or -1 leave libpq's defaults.
    QString host, user, password, name;
    int port = -1;
    QString options; // libpq's other keywords, "key=value;key=value" as QtSql takes them
    QString shown;   // the URI without its password, for messages
};

// The location a URI names; a mistake when it is not a postgresql:// URI or says nothing
// usable.
Result<DatabaseLocation> parseDatabaseUri(const QString& uri);
// The location this process's configuration chooses (read once per setting).
Result<DatabaseLocation> configuredDatabase();
// The name of this line server in the rows it writes: `server_name =` in orvane.conf, else
// the machine's host name.
QString serverName();

} // namespace orvane
