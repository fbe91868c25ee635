#pragma once

// The lines' status-grid puts leave the line server from one thread of their own, in the
// order the lines made them, so that writing a status never costs a line its time on the
// bus. Thread-safe.
//
// A line hands its put over without a lock, so that it never waits for the sending thread
// or for another line, and the sending thread makes the bus message. That thread runs at a
// lower priority than the lines and gathers the puts a moment before they go: when a
// thousand calls are answered at once, answering and greeting come first and the grid
// follows 100 ms later, every put in order.

#include "platform/HandOverList.h"

#include <QDBusConnection>
#include <QMutex>
#include <QSemaphore>
#include <QWaitCondition>

#include <atomic>
#include <functional>
#include <mutex>

class QThread;

namespace orvane {

class StatusGridOutbox {
public:
    static StatusGridOutbox& instance();

    // A put of the grid's current row (`column` < 0) or of one cell's text.
    struct Put {
        QDBusConnection bus;
        QString service, path;
        qint16 row = 0;
        qint16 column = -1;
        QString text;
    };

    void post(Put put);
    // Returns when everything posted so far has been handed to the bus; what is held goes
    // out at once.
    void flush();

private:
    StatusGridOutbox() = default;
    void start();
    void run();
    void stop();
    // `batch`, grown by what comes while it is held.
    QList<Put> gather(QList<Put> batch);
    // Sleeps until `come` holds (checked once first), at most `timeoutMs` (< 0: no limit),
    // woken through `wakeable`; false when the time ran out and `come` does not hold.
    bool waitFor(std::atomic<bool>& wakeable, const std::function<bool()>& come, int timeoutMs);
    void wakeFor(std::atomic<bool>& wakeable);
    // A flush or the end is waiting: what is held goes out now.
    bool urgent() const;

    std::once_flag m_started;
    HandOverList<Put> m_posted;
    std::atomic<quint64> m_postedCount{0};
    std::atomic<bool> m_asleep{false};  // a poster wakes the thread
    std::atomic<bool> m_holding{false}; // only a flush or the end wakes it
    std::atomic<bool> m_stopping{false};
    std::atomic<int> m_flushing{0};
    QSemaphore m_wake;

    QMutex m_mutex; // what follows
    QWaitCondition m_sentChanged;
    quint64 m_sentCount = 0;
    bool m_stopped = false;
    QThread* m_thread = nullptr;
};

} // namespace orvane
