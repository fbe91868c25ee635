#pragma once

// message_play: the library of text messages that can be spoken to callers.

#include "database/Database.h"

#include <optional>

namespace orvane::messageplay {

struct MessageRow {
    qint64 id = 0;
    QString message;
};

Result<QList<MessageRow>> listAll(Database& db);
// The message with this id; none when there is no such row.
Result<std::optional<MessageRow>> read(Database& db, qint64 id);
Status add(Database& db, const QString& message);
// Changing or deleting an id that no longer exists changes nothing and is no error.
Status change(Database& db, qint64 id, const QString& message);
Status remove(Database& db, qint64 id);

} // namespace orvane::messageplay
