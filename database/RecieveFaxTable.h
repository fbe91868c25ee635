#pragma once

// recieve_fax: one row per received fax, the file's full path.

#include "database/Database.h"

namespace orvane::recievefax {

// A received fax; `line` the line it came on (empty: unknown). The row names this server.
Status logFax(Database& db, const QString& path, const QString& line = QString());
Result<QStringList> listAll(Database& db);
Status remove(Database& db, const QString& path);
Status removeAll(Database& db);

} // namespace orvane::recievefax
