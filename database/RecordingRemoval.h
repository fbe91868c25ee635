#pragma once

// Deleting recorded calls: each recording's file in Rec-Files/ and its row in rec_message go
// together or not at all, so that the list never names a file that is gone and no file is
// removed while its row stays.

#include "platform/Status.h"

#include <QStringList>

namespace orvane {

struct RemovalOutcome {
    Status status;       // what went wrong, said for the user; ok when all went
    QStringList notOurs; // names that are no recording in Rec-Files/: rows gone, no file touched
};

// `files` are the names the rows hold. The files are first set aside under hidden names;
// when one cannot be, or the rows cannot be deleted, every file is put back and nothing
// is deleted.
RemovalOutcome deleteRecordings(const QString& programFolder, const QStringList& files);

// The path of a recording in Rec-Files/, or empty when `fileName` is not a bare name there
// (the database holds bare names: anything else is not ours to touch).
QString recordingPath(const QString& programFolder, const QString& fileName);

} // namespace orvane
