#pragma once

// Who listens to which line, and the delivery of a line's events to them: each event is
// posted to the thread that registered, in the order the provider raised them, and never
// while the provider holds a lock of its own. Used by every provider. Thread-safe.
//
// A provider raises events while it changes a call's state (under its own lock, so that
// the order of events is the order of the changes), then flushes after letting go.
//
// Each line has a channel of its own with its own locks, so that lines raising events at
// the same moment (a thousand calls ringing at once) never wait for one another. A
// provider may keep a line's channel and raise through it; the channel lives as long as
// the hub.

#include "platform/Status.h"
#include "platform/telephony/Telephony.h"

#include <QHash>
#include <QMutex>

#include <atomic>
#include <memory>

class QObject;

namespace orvane {

class EventHub {
public:
    class Channel;

    EventHub() = default;
    ~EventHub();
    EventHub(const EventHub&) = delete;
    EventHub& operator=(const EventHub&) = delete;

    // The line's channel, made on first use.
    Channel& channel(const QString& line);

    // Events of `line` go to `receiver` on the calling thread, filtered by `filter`.
    qint32 add(const QString& line, TapiEventReceiver* receiver,
               std::shared_ptr<std::atomic<int>> filter, const void* owner);
    Status remove(qint32 cookie, const void* owner);
    int count(const QString& line) const;

    // To every registration of the line, or only to those of `onlyOwner` when given (the
    // events of a call that a telephony object placed itself).
    void raise(const QString& line, TapiEvent event, const void* onlyOwner = nullptr);
    void flush(const QString& line);
    static void raise(Channel& channel, TapiEvent event, const void* onlyOwner = nullptr);
    static void flush(Channel& channel);

private:
    // Under the channel's post lock.
    static void postPending(Channel& channel);
    static Status removeFrom(Channel& channel, qint32 cookie, const void* owner);

    mutable QMutex m_mutex;              // the two tables below
    QHash<QString, Channel*> m_channels; // never removed: references stay valid
    QHash<qint32, Channel*> m_cookies;
    qint32 m_nextCookie = 1;
};

class EventHub::Channel {
    friend class EventHub;

    struct Registration {
        qint32 cookie = 0;
        TapiEventReceiver* receiver = nullptr;
        QObject* sink = nullptr; // lives on the registering thread; events are posted to it
        std::shared_ptr<std::atomic<int>> filter;
        std::atomic<bool> alive{true};
        const void* owner = nullptr;
    };
    struct Pending {
        TapiEvent event;
        QList<std::shared_ptr<Registration>> to;
    };

    explicit Channel(QString line)
        : m_line(std::move(line))
    {}

    const QString m_line;
    QMutex m_mutex; // the registrations and what is pending
    QList<std::shared_ptr<Registration>> m_registrations;
    QList<Pending> m_pending;
    // Held while posting; `alive` and a sink's end change under it, so that nothing is
    // posted to a sink on its way out.
    QMutex m_postMutex;
    std::atomic<bool> m_unposted{false}; // raised since the poster last looked
};

} // namespace orvane
