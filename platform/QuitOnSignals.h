#pragma once

#include <functional>

class QCoreApplication;

namespace orvane {

// SIGTERM and SIGINT make `app` quit its event loop, so that the program ends as it does
// normally (its objects released, its files closed) instead of dying where it stands.
void quitOnTerminationSignals(QCoreApplication& app);

// SIGHUP calls `reload` on the event loop (after quitOnTerminationSignals).
void reloadOnHangUp(std::function<void()> reload);

} // namespace orvane
