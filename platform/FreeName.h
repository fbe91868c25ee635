#pragma once

// Keeping a finished file under a name that no file in its folder has yet: the wanted name,
// else name-1.ext, name-2.ext... A file that appears meanwhile is never replaced.

#include "platform/Status.h"

#include <QString>

namespace orvane {

// Moves `partPath` (a file in `folder`) to `name` or the first free variant of it, and
// returns the name taken. On failure the part file stays where it is.
Result<QString> keepUnderFreeName(const QString& partPath, const QString& folder,
                                  const QString& name);

} // namespace orvane
