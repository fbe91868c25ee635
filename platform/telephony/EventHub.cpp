#include "platform/telephony/EventHub.h"

#include "platform/SteadyClock.h"

#include <QDateTime>
#include <QObject>

namespace orvane {

EventHub::Line* EventHub::lineLocked(const QString& line)
{
    Line*& slot = m_lines[line];
    if (!slot)
        slot = new Line;
    return slot;
}

qint32 EventHub::add(const QString& line, TapiEventReceiver* receiver,
                     std::shared_ptr<std::atomic<int>> filter, const void* owner)
{
    QMutexLocker lock(&m_mutex);
    auto r = std::make_shared<Registration>();
    r->cookie = m_nextCookie++;
    if (m_nextCookie <= 0)
        m_nextCookie = 1;
    r->receiver = receiver;
    r->sink = new QObject; // belongs to the registering thread
    r->filter = std::move(filter);
    r->owner = owner;
    Line* l = lineLocked(line);
    l->registrations.append(r);
    m_cookies.insert(r->cookie, l);
    return r->cookie;
}

Status EventHub::remove(qint32 cookie, const void* owner)
{
    Line* line = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        line = m_cookies.value(cookie);
    }
    if (!line)
        return Status(err::InvalidArg,
                      QStringLiteral("No registration with cookie %1").arg(cookie));
    QMutexLocker posting(&line->postMutex);
    QMutexLocker lock(&m_mutex);
    for (qsizetype i = 0; i < line->registrations.size(); ++i) {
        const std::shared_ptr<Registration> r = line->registrations.at(i);
        if (r->cookie != cookie)
            continue;
        if (r->owner != owner)
            return Status(err::InvalidArg,
                          QStringLiteral("The cookie belongs to another telephony object"));
        // Events already queued for the sink are dropped when they arrive; none follow.
        r->alive.store(false);
        r->sink->deleteLater();
        line->registrations.removeAt(i);
        m_cookies.remove(cookie);
        return {};
    }
    return Status(err::InvalidArg, QStringLiteral("No registration with cookie %1").arg(cookie));
}

int EventHub::count(const QString& line) const
{
    QMutexLocker lock(&m_mutex);
    const Line* l = m_lines.value(line);
    return l ? int(l->registrations.size()) : 0;
}

void EventHub::raise(const QString& line, TapiEvent event, const void* onlyOwner)
{
    event.addressName = line;
    event.raisedAtNs = steadyNowNs();
    event.raisedAtMs = QDateTime::currentMSecsSinceEpoch();
    QMutexLocker lock(&m_mutex);
    Line* l = lineLocked(line);
    if (l->registrations.isEmpty())
        return;
    if (!onlyOwner) {
        l->pending.append({std::move(event), l->registrations});
        return;
    }
    QList<std::shared_ptr<Registration>> to;
    for (const std::shared_ptr<Registration>& r : std::as_const(l->registrations))
        if (r->owner == onlyOwner)
            to.append(r);
    if (!to.isEmpty())
        l->pending.append({std::move(event), std::move(to)});
}

void EventHub::flush(const QString& lineName)
{
    Line* line = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        line = m_lines.value(lineName);
    }
    if (!line)
        return;
    // Whoever holds the post lock sends everything pending, oldest first.
    QMutexLocker posting(&line->postMutex);
    for (;;) {
        QList<Pending> batch;
        {
            QMutexLocker lock(&m_mutex);
            batch.swap(line->pending);
        }
        if (batch.isEmpty())
            return;
        for (const Pending& p : std::as_const(batch)) {
            for (const std::shared_ptr<Registration>& r : p.to) {
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
}

} // namespace orvane
