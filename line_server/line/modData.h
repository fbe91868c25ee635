#pragma once

// The line's naming of recordings and its entries in the answering database.

#include "database/RecMessageTable.h"
#include "platform/Status.h"

#include <QDateTime>
#include <QString>

namespace orvane::modData {

// The recordings folder of a program folder (under its storage root, see StorageRoot.h).
QString recordingsFolder(const QString& appPath);
// Where an answering line files the fax of a fax machine that called it (under the storage
// root too).
QString faxesFolder(const QString& appPath);
// Whether a line can keep its recordings and rows for `appPath`: an absolute path whose
// recordings folder exists or can be made and is writable, and, for a log in SQLite, a
// writable program folder whose database is a writable file or can be made. Otherwise the
// reason.
Status checkProgramFolder(const QString& appPath);

// The current date and time in the general format, " " -> "--", ":" -> "-", "/" -> "-",
// then "-", the line's grid row and ".wav".
QString MakeRecordingName(qint16 row, const QDateTime& now = QDateTime::currentDateTime());

// One row in rec_message, on a connection of its own.
Status LogRecordedCall(const QString& appPath, const QDateTime& callTime, const QString& fileName,
                       const recmessage::CallDetails& details = {});
Status LogReceivedFax(const QString& appPath, const QString& path, const QString& line);

} // namespace orvane::modData
