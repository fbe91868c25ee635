#pragma once

// rec_message: one row per recorded call, the call's time and the recording's bare file
// name (the file lies in Rec-Files/ of the program folder).

#include "database/Database.h"

#include <QDateTime>
#include <QStringList>

namespace orvane::recmessage {

// What is known of a call beyond its time and file; empty texts and a negative length are
// stored as unknown (NULL).
struct CallDetails {
    QString callerNumber;
    QString callerName;
    QString line;
    int seconds = -1;
    QString keys; // the keys the caller pressed, in order
};

struct CallRow {
    QDateTime incomingCall;
    QString incomingCallFile;
    CallDetails details; // all unknown for a row written before they were kept
    bool heard = true;   // false only for a call logged with the flag and not yet played
    QString server;      // the line server that took it (empty for rows from before)
};

Status logCall(Database& db, const QDateTime& callTime, const QString& fileName,
               const CallDetails& details = {});
// The details of the call whose recording is `fileName`; all unknown for a row written
// before they were kept.
Result<CallDetails> detailsOf(Database& db, const QString& fileName);
// The calls of one calendar day, by time.
Result<QList<CallRow>> listDay(Database& db, const QDate& day);
// When the call whose recording is `fileName` came.
Result<QDateTime> timeOf(Database& db, const QString& fileName);
// The call whose recording is `fileName` has been listened to.
Status markHeard(Database& db, const QString& fileName);
// How many calls are waiting to be heard. Rows written before calls carried the flag
// count as heard.
Result<int> countUnheard(Database& db);
// Whether any row names this file.
Result<bool> hasFile(Database& db, const QString& fileName);
// The rows of every one of `fileNames`, or none of them.
Status deleteByFiles(Database& db, const QStringList& fileNames);

} // namespace orvane::recmessage
