#pragma once

// Files that a user or a stranger names: a greeting, a document to fax, lines.conf. Only a
// regular file is read. Anything else is refused with what it is: a folder cannot be read,
// a FIFO would block its reader for good, and a device may never end.

#include "platform/Status.h"

#include <QByteArray>
#include <QString>

namespace orvane {

// Fails with err::FileNotFound ("The file ... does not exist") or err::InvalidArg, saying
// what the path names as a user would ("... is a folder, not a file"; a named pipe (FIFO),
// a device, a socket).
Status checkRegularFile(const QString& path);

// The file opened for reading (a descriptor the caller closes), never blocking on a FIFO,
// checked once it is open so that nothing can be swapped in between.
Result<int> openRegularFile(const QString& path);

// The whole file, when it is a regular file of at most `maxBytes`.
Result<QByteArray> readRegularFile(const QString& path, qint64 maxBytes);

} // namespace orvane
