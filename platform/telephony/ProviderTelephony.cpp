#include "platform/telephony/ProviderTelephony.h"

namespace orvane {

ProviderTelephony::ProviderTelephony(EventHub& events)
    : m_events(events)
    , m_filter(std::make_shared<std::atomic<int>>(0))
{}

ProviderTelephony::~ProviderTelephony()
{
    shutdown();
}

Status ProviderTelephony::requireInitialized() const
{
    if (m_state != State::Initialized)
        return Status(err::InvalidState,
                      m_state == State::Created
                          ? QStringLiteral("The telephony object is not initialized")
                          : QStringLiteral("The telephony object has been shut down"));
    return {};
}

Status ProviderTelephony::initialize()
{
    if (m_state != State::Created)
        return Status(err::InvalidState,
                      QStringLiteral("The telephony object is already initialized"));
    if (Status s = usable(); !s)
        return s; // say why, rather than offer no lines
    m_state = State::Initialized;
    return {};
}

Result<QList<TelephonyAddress>> ProviderTelephony::addresses() const
{
    if (Status s = requireInitialized(); !s)
        return s;
    return lines();
}

Status ProviderTelephony::setEventFilter(int filter)
{
    if (Status s = requireInitialized(); !s)
        return s;
    m_filter->store(filter);
    return {};
}

Result<qint32> ProviderTelephony::registerCallNotifications(const QString& addressName,
                                                            bool monitor, bool owner,
                                                            int mediaTypes, qint32 callbackInstance,
                                                            TapiEventReceiver* receiver)
{
    Q_UNUSED(callbackInstance);
    if (Status s = requireInitialized(); !s)
        return s;
    if (!receiver || !(monitor || owner) || !(mediaTypes & tapi::TAPIMEDIATYPE_AUDIO))
        return Status(err::InvalidArg, QStringLiteral("Nothing to register for"));
    Result<qint32> cookie = watch(addressName, receiver, m_filter);
    if (cookie)
        m_cookies.append(cookie.value());
    return cookie;
}

Status ProviderTelephony::unregisterNotifications(qint32 cookie)
{
    if (Status s = requireInitialized(); !s)
        return s;
    Status s = m_events.remove(cookie, owner());
    if (s)
        m_cookies.removeOne(cookie);
    return s;
}

Status ProviderTelephony::shutdown()
{
    if (m_state == State::ShutDown)
        return {};
    for (qint32 cookie : std::as_const(m_cookies))
        m_events.remove(cookie, owner());
    m_cookies.clear();
    m_state = State::ShutDown;
    return {};
}

Result<std::shared_ptr<TelephonyCall>> ProviderTelephony::createCall(const QString& addressName,
                                                                     const QString& number)
{
    if (Status s = requireInitialized(); !s)
        return s;
    return dial(addressName, number);
}

} // namespace orvane
