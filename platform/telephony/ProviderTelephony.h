#pragma once

// What the telephony objects of every provider do the same way: their life (created,
// initialised, shut down, each member refused outside its state), the event filter their
// registrations share, the checks of a registration's arguments, the cookies they hold and
// give back at shutdown. A provider adds its lines, the watching of one line, dialling and
// the line media component.
//
// Thread: the thread that created the object.

#include "platform/telephony/EventHub.h"
#include "platform/telephony/Telephony.h"

#include <atomic>
#include <memory>

namespace orvane {

class ProviderTelephony : public Telephony {
public:
    ~ProviderTelephony() override;

    Status initialize() final;
    Result<QList<TelephonyAddress>> addresses() const final;
    Status setEventFilter(int filter) final;
    Result<qint32> registerCallNotifications(const QString& addressName, bool monitor, bool owner,
                                             int mediaTypes, qint32 callbackInstance,
                                             TapiEventReceiver* receiver) final;
    Status unregisterNotifications(qint32 cookie) final;
    Status shutdown() final;
    Result<std::shared_ptr<TelephonyCall>> createCall(const QString& addressName,
                                                      const QString& number) final;

protected:
    // `events`: the hub the provider's lines raise their events through; it outlives the
    // object.
    explicit ProviderTelephony(EventHub& events);

    // Why the provider cannot be used, if it cannot (checked by initialize()).
    virtual Status usable() const { return {}; }
    virtual QList<TelephonyAddress> lines() const = 0;
    // Registers `receiver` for the line's events on the hub, once the line can take calls.
    virtual Result<qint32> watch(const QString& addressName, TapiEventReceiver* receiver,
                                 std::shared_ptr<std::atomic<int>> filter) = 0;
    virtual Result<std::shared_ptr<TelephonyCall>> dial(const QString& addressName,
                                                        const QString& number) = 0;
    // Who the object's registrations and calls belong to, for the hub.
    const void* owner() const { return this; }

private:
    enum class State { Created, Initialized, ShutDown };
    Status requireInitialized() const;

    EventHub& m_events;
    State m_state = State::Created;
    std::shared_ptr<std::atomic<int>> m_filter;
    QList<qint32> m_cookies;
};

} // namespace orvane
