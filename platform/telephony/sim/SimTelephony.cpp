#include "platform/telephony/sim/SimTelephony.h"

#include "platform/telephony/sim/Simulator.h"

namespace orvane::sim {

SimTelephony::SimTelephony()
    : ProviderTelephony(Simulator::instance().events())
{}

QList<TelephonyAddress> SimTelephony::lines() const
{
    QList<TelephonyAddress> list;
    for (const LineConfig& line : configuredLines())
        // Simulated lines are for trying the machine: they hear a fax caller as real ones
        // with detect_fax do.
        list.append({line.name, line.audio, line.number, true});
    return list;
}

Result<qint32> SimTelephony::watch(const QString& addressName, TapiEventReceiver* receiver,
                                   std::shared_ptr<std::atomic<int>> filter)
{
    return Simulator::instance().registerReceiver(addressName, receiver, std::move(filter),
                                                  owner());
}

Result<std::unique_ptr<LineMedia>> SimTelephony::createLineMedia()
{
    return std::unique_ptr<LineMedia>(new SimLineMedia);
}

Result<std::shared_ptr<TelephonyCall>> SimTelephony::dial(const QString& addressName,
                                                          const QString& number)
{
    return Simulator::instance().dial(addressName, number, owner());
}

} // namespace orvane::sim
