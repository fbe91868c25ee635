#include "platform/telephony/EventHub.h"

#include "platform/SteadyClock.h"

#include <QDateTime>
#include <QObject>

namespace orvane {

EventHub::~EventHub()
{
    qDeleteAll(m_channels);
}

EventHub::Channel& EventHub::channel(const QString& line)
{
    QMutexLocker lock(&m_mutex);
    Channel*& slot = m_channels[line];
    if (!slot)
        slot = new Channel(line);
    return *slot;
}

qint32 EventHub::add(const QString& line, TapiEventReceiver* receiver,
                     std::shared_ptr<std::atomic<int>> filter, const void* owner)
{
    auto r = std::make_shared<Channel::Registration>();
    r->receiver = receiver;
    r->sink = new QObject; // belongs to the registering thread
    r->filter = std::move(filter);
    r->owner = owner;
    Channel& c = channel(line);
    {
        QMutexLocker lock(&m_mutex);
        r->cookie = m_nextCookie++;
        if (m_nextCookie <= 0)
            m_nextCookie = 1;
        m_cookies.insert(r->cookie, &c);
    }
    QMutexLocker lock(&c.m_mutex);
    c.m_registrations.append(r);
    return r->cookie;
}

Status EventHub::remove(qint32 cookie, const void* owner)
{
    Channel* c = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        c = m_cookies.value(cookie);
    }
    if (!c)
        return Status(err::InvalidArg,
                      QStringLiteral("No registration with cookie %1").arg(cookie));
    const Status removed = removeFrom(*c, cookie, owner);
    if (removed) {
        QMutexLocker lock(&m_mutex);
        m_cookies.remove(cookie);
    }
    // What others raised while the post lock was held here goes out now.
    flush(*c);
    return removed;
}

Status EventHub::removeFrom(Channel& c, qint32 cookie, const void* owner)
{
    QMutexLocker posting(&c.m_postMutex);
    QMutexLocker lock(&c.m_mutex);
    for (qsizetype i = 0; i < c.m_registrations.size(); ++i) {
        const std::shared_ptr<Channel::Registration> r = c.m_registrations.at(i);
        if (r->cookie != cookie)
            continue;
        if (r->owner != owner)
            return Status(err::InvalidArg,
                          QStringLiteral("The cookie belongs to another telephony object"));
        // Events already queued for the sink are dropped when they arrive; none follow.
        r->alive.store(false);
        r->sink->deleteLater();
        c.m_registrations.removeAt(i);
        return {};
    }
    return Status(err::InvalidArg, QStringLiteral("No registration with cookie %1").arg(cookie));
}

int EventHub::count(const QString& line) const
{
    Channel* c = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        c = m_channels.value(line);
    }
    if (!c)
        return 0;
    QMutexLocker lock(&c->m_mutex);
    return int(c->m_registrations.size());
}

void EventHub::raise(const QString& line, TapiEvent event, const void* onlyOwner)
{
    raise(channel(line), std::move(event), onlyOwner);
}

void EventHub::flush(const QString& line)
{
    flush(channel(line));
}

void EventHub::raise(Channel& c, TapiEvent event, const void* onlyOwner)
{
    event.addressName = c.m_line;
    event.raisedAtNs = steadyNowNs();
    event.raisedAtMs = QDateTime::currentMSecsSinceEpoch();
    QMutexLocker lock(&c.m_mutex);
    if (c.m_registrations.isEmpty())
        return;
    if (!onlyOwner) {
        c.m_pending.append({std::move(event), c.m_registrations});
        return;
    }
    QList<std::shared_ptr<Channel::Registration>> to;
    for (const std::shared_ptr<Channel::Registration>& r : std::as_const(c.m_registrations))
        if (r->owner == onlyOwner)
            to.append(r);
    if (!to.isEmpty())
        c.m_pending.append({std::move(event), std::move(to)});
}

void EventHub::flush(Channel& c)
{
    // Whoever holds the post lock sends everything pending, oldest first. A thread that
    // finds another one posting leaves its events to it rather than wait: a line that
    // answers the ring it was just woken for must not block on the thread that woke it.
    c.m_unposted.store(true);
    while (c.m_unposted.load()) {
        if (!c.m_postMutex.tryLock())
            return; // the poster looks again once it lets go
        while (c.m_unposted.exchange(false))
            postPending(c);
        c.m_postMutex.unlock();
        // The look at m_unposted below must not pass the unlock: a thread that failed to
        // take the lock just before it counts on this one to post its events.
        std::atomic_thread_fence(std::memory_order_seq_cst);
    }
}

void EventHub::postPending(Channel& c)
{
    QList<Channel::Pending> batch;
    {
        QMutexLocker lock(&c.m_mutex);
        batch.swap(c.m_pending);
    }
    for (const Channel::Pending& p : std::as_const(batch)) {
        for (const std::shared_ptr<Channel::Registration>& r : p.to) {
            if (!r->alive.load() || !(r->filter->load() & p.event.kind))
                continue;
            QMetaObject::invokeMethod(
                r->sink,
                [r, event = p.event] {
                    if (r->alive.load())
                        r->receiver->tapiEvent(event);
                },
                Qt::QueuedConnection);
        }
    }
}

} // namespace orvane
