#pragma once

// The lines' status-grid puts leave the line server from one thread of their own, in the
// order the lines made them, so that writing a status never costs a line its time on the
// bus. Thread-safe.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMutex>
#include <QWaitCondition>

#include <deque>
#include <utility>

class QThread;

namespace orvane {

class StatusGridOutbox {
public:
    static StatusGridOutbox& instance();

    void post(const QDBusConnection& bus, const QDBusMessage& message);
    // Returns when everything posted so far has been handed to the bus.
    void flush();

private:
    StatusGridOutbox() = default;
    void run();
    void stop();

    QMutex m_mutex;
    QWaitCondition m_posted;
    QWaitCondition m_sent;
    std::deque<std::pair<QDBusConnection, QDBusMessage>> m_queue;
    bool m_sending = false;
    bool m_stopping = false;
    QThread* m_thread = nullptr;
};

} // namespace orvane
