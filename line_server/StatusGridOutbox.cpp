#include "line_server/StatusGridOutbox.h"

#include <QCoreApplication>
#include <QThread>

namespace orvane {

StatusGridOutbox& StatusGridOutbox::instance()
{
    // Never destroyed: lines may still post while the process winds down.
    static StatusGridOutbox* outbox = new StatusGridOutbox;
    return *outbox;
}

void StatusGridOutbox::post(const QDBusConnection& bus, const QDBusMessage& message)
{
    QMutexLocker lock(&m_mutex);
    if (m_stopping)
        return;
    if (!m_thread) {
        m_thread = QThread::create([this] { run(); });
        m_thread->setObjectName(QStringLiteral("status grid"));
        m_thread->start();
        // Send what is left before the bus connections go away with the application.
        if (QCoreApplication::instance())
            qAddPostRoutine([] { StatusGridOutbox::instance().stop(); });
    }
    m_queue.emplace_back(bus, message);
    m_posted.wakeOne();
}

void StatusGridOutbox::run()
{
    QMutexLocker lock(&m_mutex);
    for (;;) {
        while (m_queue.empty() && !m_stopping)
            m_posted.wait(&m_mutex);
        if (m_queue.empty())
            return;
        std::deque<std::pair<QDBusConnection, QDBusMessage>> batch;
        batch.swap(m_queue);
        m_sending = true;
        lock.unlock();
        for (auto& [bus, message] : batch)
            bus.send(message);
        batch.clear();
        lock.relock();
        m_sending = false;
        m_sent.wakeAll();
    }
}

void StatusGridOutbox::flush()
{
    QMutexLocker lock(&m_mutex);
    while (m_thread && (!m_queue.empty() || m_sending))
        m_sent.wait(&m_mutex);
}

void StatusGridOutbox::stop()
{
    QThread* thread = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        m_stopping = true;
        thread = m_thread;
        m_posted.wakeAll();
    }
    if (thread) {
        thread->wait();
        delete thread;
        QMutexLocker lock(&m_mutex);
        m_thread = nullptr;
        m_sent.wakeAll();
    }
}

} // namespace orvane
