#pragma once

// rec_message: one row per recorded call, the call's time and the recording's bare file
// name (the file lies in Rec-Files/ of the program folder).

#include "database/Database.h"

#include <QDateTime>
#include <QStringList>

namespace orvane::recmessage {

struct CallRow {
    QDateTime incomingCall;
    QString incomingCallFile;
};

Status logCall(Database& db, const QDateTime& callTime, const QString& fileName);
// The calls of one calendar day, by time.
Result<QList<CallRow>> listDay(Database& db, const QDate& day);
// Whether any row names this file.
Result<bool> hasFile(Database& db, const QString& fileName);
// The rows of every one of `fileNames`, or none of them.
Status deleteByFiles(Database& db, const QStringList& fileNames);

} // namespace orvane::recmessage
