#pragma once

// The names under which the line server and its clients meet on the session bus.

#include <QString>

namespace orvane::tolvex {

// The well-known name of the line server. ORVANE_TOLVEX_SERVICE overrides it, so that
// tests and benchmarks can run servers of their own side by side.
QString serviceName();
inline constexpr const char* kDefaultServiceName = "org.orvane.Tolvex";

inline constexpr const char* kFactoryPath = "/org/orvane/Tolvex";
inline constexpr const char* kFactoryInterface = "org.orvane.Tolvex.Factory";
inline constexpr const char* kLinePathPrefix = "/org/orvane/Tolvex/Line";
inline constexpr const char* kLineInterface = "org.orvane.Tolvex.clsTapi";
inline constexpr const char* kSimulatorPath = "/org/orvane/Tolvex/Simulator";
inline constexpr const char* kSimulatorInterface = "org.orvane.Tolvex.Simulator";

// The desktop program's name on the bus while it runs: ORVANE_DESKTOP_SERVICE, or
// org.orvane.Orvane. The line server leaves notifications to a desktop that owns it.
QString desktopServiceName();

// The status grid a client exports for the line objects to write into.
inline constexpr const char* kStatusGridInterface = "org.orvane.Orvane.StatusGrid";

// Errors of the line server's replies. A failure with one of the two codes the call
// handling knows keeps its own name; every other failure is Failed, its code at the
// start of the message ("0x80004005: ...").
inline constexpr const char* kErrorNoDevice = "org.orvane.Tolvex.Error.NoDevice";
inline constexpr const char* kErrorCannotCreate = "org.orvane.Tolvex.Error.CannotCreate";
inline constexpr const char* kErrorNotSupported = "org.orvane.Tolvex.Error.NotSupported";
inline constexpr const char* kErrorFailed = "org.orvane.Tolvex.Error.Failed";
inline constexpr const char* kErrorAccessDenied = "org.orvane.Tolvex.Error.AccessDenied";

} // namespace orvane::tolvex
