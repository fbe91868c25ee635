#pragma once

// Who listens to which line, and the delivery of a line's events to them: each event is
// posted to the thread that registered, in the order the provider raised them, and never
// while the provider holds a lock of its own. Used by every provider. Thread-safe.
//
// A provider raises events while it changes a call's state (under its own lock, so that
// the order of events is the order of the changes), then flushes after letting go.

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
    EventHub() = default;
    EventHub(const EventHub&) = delete;
    EventHub& operator=(const EventHub&) = delete;

    // Events of `line` go to `receiver` on the calling thread, filtered by `filter`.
    qint32 add(const QString& line, TapiEventReceiver* receiver,
               std::shared_ptr<std::atomic<int>> filter, const void* owner);
    Status remove(qint32 cookie, const void* owner);
    int count(const QString& line) const;

    // To every registration of the line, or only to those of `onlyOwner` when given (the
    // events of a call that a telephony object placed itself).
    void raise(const QString& line, TapiEvent event, const void* onlyOwner = nullptr);
    void flush(const QString& line);

private:
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
    struct Line {
        QList<std::shared_ptr<Registration>> registrations;
        QList<Pending> pending;
        // Held while posting; `alive` and a sink's end change under it, so that nothing is
        // posted to a sink on its way out.
        QMutex postMutex;
    };
    Line* lineLocked(const QString& line);

    mutable QMutex m_mutex;
    QHash<QString, Line*> m_lines; // never removed: pointers stay valid
    QHash<qint32, Line*> m_cookies;
    qint32 m_nextCookie = 1;
};

} // namespace orvane
