#pragma once

// What the benchmarks measure of a process, and how they wait without taking a core from
// the process they measure.

#include <QByteArray>

#include <functional>

namespace orvane::bench {

// Waits for events rather than spinning: a benchmark that takes a core of its own takes it
// from the line server it measures. A timer wakes it to look again every 20 ms.
bool waitFor(const std::function<bool()>& condition, int timeoutMs);
// User and system CPU seconds the process has used so far.
double cpuSeconds(qint64 pid);
// A figure of /proc/PID/status in KiB ("VmHWM:" the peak, "VmRSS:" now).
qint64 statusKiB(qint64 pid, const QByteArray& field);
inline qint64 peakKiB(qint64 pid)
{
    return statusKiB(pid, "VmHWM:");
}

} // namespace orvane::bench
