#pragma once

#include <QtGlobal>

#include <chrono>

namespace orvane {

// Monotonic nanoseconds, comparable across the threads of the process.
inline qint64 steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace orvane
