#pragma once

#include <QIcon>

namespace orvane {

// The program's icon (window and tray): a handset on a round face, drawn here.
QIcon productIcon();

} // namespace orvane
