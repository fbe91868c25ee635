#pragma once

// Which line object answers which line in this process: one at a time, so that two objects
// (a standing line and a desktop's, or two desktops') never both take a line's calls.
//
// Thread: any.

#include "platform/Status.h"

#include <QString>

namespace orvane::lineclaims {

// Claims `line` for `owner`; fails, saying so, while another owner holds it. Claiming a
// line the owner holds already is no change.
Status claim(const QString& line, const void* owner);
// Lets go of every line `owner` holds.
void release(const void* owner);

} // namespace orvane::lineclaims
