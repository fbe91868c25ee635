#include "line_server/line/StatusGridOutbox.h"

#include "line_server/client/TolvexNames.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QThread>

#include <sys/resource.h>
#include <unistd.h>

namespace orvane {

namespace {
// The sending thread's nice value: a tenth of a line's share of the processor while lines
// are busy, all of it when they are not.
constexpr int kSenderNice = 10;
// Puts go out together once none has come for kQuietMs. A flood of them (kFloodPuts or
// more held) goes out kFloodHoldMs after its first: every put costs the bus daemon and the
// client three times what it costs the server, and when a thousand calls are answered at
// once their puts wait until the answering is done, the grid changing ten times a second
// instead of fifty thousand.
constexpr int kQuietMs = 2;
constexpr quint64 kFloodPuts = 32;
constexpr int kFloodHoldMs = 100;

void send(const StatusGridOutbox::Put& put)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        put.service, put.path, QLatin1String(tolvex::kStatusGridInterface),
        put.column < 0 ? QStringLiteral("Row") : QStringLiteral("TextMatrix"));
    message.setAutoStartService(false);
    if (put.column < 0)
        message << QVariant::fromValue(put.row);
    else
        message << QVariant::fromValue(put.row) << QVariant::fromValue(put.column) << put.text;
    put.bus.send(message);
}

} // namespace

StatusGridOutbox& StatusGridOutbox::instance()
{
    // Never destroyed: lines may still post while the process winds down.
    static StatusGridOutbox* outbox = new StatusGridOutbox;
    return *outbox;
}

void StatusGridOutbox::start()
{
    QMutexLocker lock(&m_mutex);
    m_thread = QThread::create([this] { run(); });
    m_thread->setObjectName(QStringLiteral("status grid"));
    m_thread->start();
    // Send what is left before the bus connections go away with the application.
    if (QCoreApplication::instance())
        qAddPostRoutine([] { StatusGridOutbox::instance().stop(); });
}

void StatusGridOutbox::post(Put put)
{
    if (m_stopping.load())
        return;
    std::call_once(m_started, [this] { start(); });
    m_postedCount.fetch_add(1);
    m_posted.push(std::move(put));
    wakeFor(m_asleep);
}

bool StatusGridOutbox::urgent() const
{
    return m_stopping.load() || m_flushing.load() > 0;
}

bool StatusGridOutbox::waitFor(std::atomic<bool>& wakeable, const std::function<bool()>& come,
                               int timeoutMs)
{
    // Wakeable only once `come` has been seen false; whoever finds the thread wakeable makes
    // it not and wakes it, once.
    wakeable.store(true);
    if (come()) {
        if (!wakeable.exchange(false))
            m_wake.acquire(); // woken meanwhile: take that wake
        return true;
    }
    if (timeoutMs < 0) {
        m_wake.acquire();
        return true;
    }
    if (m_wake.tryAcquire(1, timeoutMs))
        return true;
    if (!wakeable.exchange(false))
        m_wake.acquire(); // being woken just now
    return come();
}

void StatusGridOutbox::wakeFor(std::atomic<bool>& wakeable)
{
    if (wakeable.exchange(false))
        m_wake.release();
}

QList<StatusGridOutbox::Put> StatusGridOutbox::gather(QList<Put> batch)
{
    auto posted = [this] { return !m_posted.isEmpty() || urgent(); };
    const QDeadlineTimer flood(kFloodHoldMs, Qt::PreciseTimer);
    // A few puts: out once no more come for a moment.
    while (quint64(batch.size()) < kFloodPuts && !urgent() && !flood.hasExpired()) {
        if (!waitFor(m_asleep, posted, int(qMin<qint64>(kQuietMs, flood.remainingTime()))))
            return batch;
        batch.append(m_posted.take());
    }
    // A flood: out when its time is up, the thread not woken by each new put meanwhile.
    while (!urgent() && !flood.hasExpired())
        waitFor(
            m_holding, [this] { return urgent(); }, int(flood.remainingTime()));
    batch.append(m_posted.take());
    return batch;
}

void StatusGridOutbox::run()
{
    // Linux gives each thread a nice value of its own.
    setpriority(PRIO_PROCESS, id_t(gettid()), kSenderNice);
    for (;;) {
        QList<Put> batch = m_posted.take();
        if (batch.isEmpty()) {
            if (m_stopping.load())
                return;
            // A flush finds nothing held here: only a put or the end wakes the thread.
            waitFor(
                m_asleep, [this] { return !m_posted.isEmpty() || m_stopping.load(); }, -1);
            continue;
        }
        batch = gather(std::move(batch));
        for (const Put& put : std::as_const(batch))
            send(put);
        QMutexLocker lock(&m_mutex);
        m_sentCount += quint64(batch.size());
        m_sentChanged.wakeAll();
    }
}

void StatusGridOutbox::flush()
{
    const quint64 posted = m_postedCount.load();
    // What is held goes out now.
    m_flushing.fetch_add(1);
    wakeFor(m_asleep);
    wakeFor(m_holding);
    {
        QMutexLocker lock(&m_mutex);
        while (m_thread && !m_stopped && m_sentCount < posted)
            m_sentChanged.wait(&m_mutex);
    }
    m_flushing.fetch_sub(1);
}

void StatusGridOutbox::stop()
{
    m_stopping.store(true);
    wakeFor(m_asleep);
    wakeFor(m_holding);
    QThread* thread = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        thread = m_thread;
    }
    if (thread)
        thread->wait();
    QMutexLocker lock(&m_mutex);
    delete std::exchange(m_thread, nullptr);
    m_stopped = true;
    m_sentChanged.wakeAll();
}

} // namespace orvane
