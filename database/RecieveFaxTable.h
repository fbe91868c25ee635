#pragma once

// recieve_fax: one row per received fax, the file's path: relative to the storage root when
// it lies under a configured one (see StorageRoot.h), else in full.

#include "database/Database.h"

namespace orvane::recievefax {

// A received fax, `stored` as the row keeps it (storage::stored); `line` the line it came
// on (empty: unknown). The row names this server.
Status logFax(Database& db, const QString& stored, const QString& line = QString());
// Every fax's path as it is reached from `programFolder`.
Result<QStringList> listAll(Database& db, const QString& programFolder);
// The row of the fax at `path` (as listAll gave it) goes.
Status remove(Database& db, const QString& programFolder, const QString& path);
Status removeAll(Database& db);

} // namespace orvane::recievefax
