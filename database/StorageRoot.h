#pragma once

// Where recordings (Rec-Files/) and the faxes answering lines take (Fax-Files/) are kept:
// the program folder, unless $ORVANE_STORAGE or `storage =` in orvane.conf names a storage
// root (relative: to the program folder). Several line servers and every desktop may share
// one root on a mounted file system; each reaches the files through its own mount, so rows
// name them relative to the root: a recording by its bare name in Rec-Files/, a fax by its
// path under the root. Files elsewhere (a fax job's own folder) keep their full path.
//
// Thread: any.

#include <QString>

namespace orvane::storage {

// The configured root (an absolute, clean path), or empty when none is configured.
QString configuredRoot(const QString& programFolder);
// The root in use: the configured one, else the program folder.
QString root(const QString& programFolder);
QString recordingsFolder(const QString& programFolder);
QString answeredFaxesFolder(const QString& programFolder);

// A file's path as a row keeps it: relative to a configured root when it lies under it,
// else as it is.
QString stored(const QString& programFolder, const QString& path);
// The path a row's name stands for here: a relative one under the root in use.
QString resolved(const QString& programFolder, const QString& stored);

} // namespace orvane::storage
