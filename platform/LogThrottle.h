#pragma once

// Logging what strangers send, without letting them fill the log: at most `burst` lines in
// any `periodMs`, and the next line written says how many like it were left out.
//
// Thread: one thread at a time.

#include <QtGlobal>

#include <utility>

namespace orvane {

class LogThrottle {
public:
    LogThrottle(int burst, qint64 periodMs)
        : m_burst(burst)
        , m_periodMs(periodMs)
    {}

    // Whether to write a line at `nowMs`; when it is, `leftOut` gets how many were not
    // written since the last one that was.
    bool allow(qint64 nowMs, qint64* leftOut)
    {
        if (nowMs - m_periodStartMs >= m_periodMs) {
            m_periodStartMs = nowMs;
            m_written = 0;
        }
        if (m_written >= m_burst) {
            ++m_leftOut;
            return false;
        }
        ++m_written;
        *leftOut = m_leftOut;
        m_leftOut = 0;
        return true;
    }

    // How many were not written since the last line that was; the count starts again.
    qint64 takeLeftOut() { return std::exchange(m_leftOut, 0); }

private:
    int m_burst;
    qint64 m_periodMs;
    qint64 m_periodStartMs = -(qint64(1) << 62);
    int m_written = 0;
    qint64 m_leftOut = 0;
};

} // namespace orvane
