#pragma once

// Keeping a finished file under a name that no file in its folder has yet: the wanted name,
// else name-1.ext, name-2.ext... A file that appears meanwhile is never replaced.
//
// The part is hard-linked to its name; where the file system has no hard links (FAT,
// exFAT, some network mounts) it is renamed without replacing; where that is refused too,
// it is copied into a file made exclusively. A part is never removed before it is kept,
// and a file counts as kept only once its data and its folder (its name) are synced.

#include "platform/Status.h"

#include <QString>

namespace orvane {

// Moves `partPath` (a file in `folder`) to `name` or the first free variant of it, and
// returns the name taken. On failure the part file stays where it is.
Result<QString> keepUnderFreeName(const QString& partPath, const QString& folder,
                                  const QString& name);

namespace freename {
// The ways of keeping a part, in the order they are tried; tests start further down.
enum class Method { Link, Rename, Copy };
Result<QString> keep(const QString& partPath, const QString& folder, const QString& name,
                     Method first);
} // namespace freename

} // namespace orvane
