#pragma once

// recieve_fax: one row per received fax, the file's full path.

#include "database/Database.h"

namespace orvane::recievefax {

Status logFax(Database& db, const QString& path);
Result<QStringList> listAll(Database& db);
Status remove(Database& db, const QString& path);
Status removeAll(Database& db);

} // namespace orvane::recievefax
