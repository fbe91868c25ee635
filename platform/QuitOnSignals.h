#pragma once

#include <functional>

class QCoreApplication;

namespace orvane {

// SIGTERM and SIGINT make `app` quit its event loop, so that the program ends as it does
// normally (its objects released, its files closed) instead of dying where it stands.
void quitOnTerminationSignals(QCoreApplication& app);

// `signal` (SIGHUP, SIGUSR1...) calls `action` on the event loop, after
// quitOnTerminationSignals.
void onSignal(int signal, std::function<void()> action);

} // namespace orvane
