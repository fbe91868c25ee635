#include "platform/telephony/sim/SimTelephony.h"

#include "platform/telephony/sim/Simulator.h"

namespace orvane::sim {

SimTelephony::SimTelephony()
    : m_filter(std::make_shared<std::atomic<int>>(0))
{}

SimTelephony::~SimTelephony()
{
    shutdown();
}

Status SimTelephony::requireInitialized() const
{
    if (m_state != State::Initialized)
        return Status(err::InvalidState,
                      m_state == State::Created
                          ? QStringLiteral("The telephony object is not initialized")
                          : QStringLiteral("The telephony object has been shut down"));
    return {};
}

Status SimTelephony::initialize()
{
    if (m_state != State::Created)
        return Status(err::InvalidState,
                      QStringLiteral("The telephony object is already initialized"));
    m_state = State::Initialized;
    return {};
}

Result<QList<TelephonyAddress>> SimTelephony::addresses() const
{
    if (Status s = requireInitialized(); !s)
        return s;
    QList<TelephonyAddress> list;
    for (const LineConfig& line : configuredLines())
        list.append({line.name, line.audio, line.number});
    return list;
}

Status SimTelephony::setEventFilter(int filter)
{
    if (Status s = requireInitialized(); !s)
        return s;
    m_filter->store(filter);
    return {};
}

Result<qint32> SimTelephony::registerCallNotifications(const QString& addressName, bool monitor,
                                                       bool owner, int mediaTypes,
                                                       qint32 callbackInstance,
                                                       TapiEventReceiver* receiver)
{
    Q_UNUSED(callbackInstance);
    if (Status s = requireInitialized(); !s)
        return s;
    if (!receiver || !(monitor || owner) || !(mediaTypes & tapi::TAPIMEDIATYPE_AUDIO))
        return Status(err::InvalidArg, QStringLiteral("Nothing to register for"));
    Result<qint32> cookie =
        Simulator::instance().registerReceiver(addressName, receiver, m_filter, this);
    if (cookie)
        m_cookies.append(cookie.value());
    return cookie;
}

Status SimTelephony::unregisterNotifications(qint32 cookie)
{
    if (Status s = requireInitialized(); !s)
        return s;
    Status s = Simulator::instance().unregisterReceiver(cookie, this);
    if (s)
        m_cookies.removeOne(cookie);
    return s;
}

Status SimTelephony::shutdown()
{
    if (m_state == State::ShutDown)
        return {};
    for (qint32 cookie : std::as_const(m_cookies))
        Simulator::instance().unregisterReceiver(cookie, this);
    m_cookies.clear();
    m_state = State::ShutDown;
    return {};
}

Result<std::unique_ptr<LineMedia>> SimTelephony::createLineMedia()
{
    return std::unique_ptr<LineMedia>(new SimLineMedia);
}

Result<std::shared_ptr<TelephonyCall>> SimTelephony::createCall(const QString& addressName,
                                                                const QString& number)
{
    if (Status s = requireInitialized(); !s)
        return s;
    return Simulator::instance().dial(addressName, number, this);
}

} // namespace orvane::sim
