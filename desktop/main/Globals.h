#pragma once

// Program-wide state of the desktop program.
//
// Thread: the user-interface thread.

#include "line_server/client/LineHandle.h"

#include <QList>
#include <QString>

namespace orvane {

// One line object per started line (or the fax job's objects); the last element is always
// an empty spare. An empty handle is a released slot.
inline QList<LineHandle> gaTapiLines;

// "Send" or "Rec": the kind of the fax job last submitted.
inline QString gsFaxMode;

} // namespace orvane
