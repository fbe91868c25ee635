#pragma once

// The line's naming of recordings and its entries in the answering database.

#include "platform/Status.h"

#include <QDateTime>
#include <QString>

namespace orvane::modData {

// The recordings folder under a program folder.
QString recordingsFolder(const QString& appPath);
// Where a line puts the recordings of `appPath` that it could not save there, to be listed
// from there at the next start: the user's state folder ($XDG_STATE_HOME, or
// ~/.local/state), Orvane/unsaved-recordings/, a folder per program folder.
QString unsavedRecordingsFolder(const QString& appPath);
// Where they go when the state folder cannot take them either (it is often on the same
// disk as the program folder, and that disk full): $TMPDIR/orvane-unsaved-recordings/.
QString fallbackUnsavedRecordingsFolder(const QString& appPath);

// Whether a line can keep its recordings and rows under `appPath`: an absolute path whose
// Rec-Files/ exists or can be made, both writable, and whose database is a writable file or
// can be made. Otherwise the reason.
Status checkProgramFolder(const QString& appPath);

// The current date and time in the general format, " " -> "--", ":" -> "-", "/" -> "-",
// then "-", the line's grid row and ".wav".
QString MakeRecordingName(qint16 row, const QDateTime& now = QDateTime::currentDateTime());

// One row in rec_message, on a connection of its own.
Status LogRecordedCall(const QString& appPath, const QDateTime& callTime, const QString& fileName);
Status LogReceivedFax(const QString& appPath, const QString& path);

// Recordings that a line of an earlier run could not save in `appPath` are moved into its
// Rec-Files/ first. Then: recordings older than `before` that have no row in rec_message (a run
// that ended between file and row, or could not write its rows): each is listed now, at the time it
// began (the file's time less its length). Whole part files of such a run are named
// first; part files that are not whole are left as they are. Returns how many were listed.
int recoverUnloggedRecordings(const QString& appPath, const QDateTime& before);

} // namespace orvane::modData
