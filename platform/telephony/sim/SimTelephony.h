#pragma once

// The `sim` provider: a telephony object on the process's simulated exchange.

#include "platform/telephony/ProviderTelephony.h"

namespace orvane::sim {

class SimTelephony : public ProviderTelephony {
public:
    SimTelephony();

    QString providerName() const override { return QStringLiteral("sim"); }
    Result<std::unique_ptr<LineMedia>> createLineMedia() override;

private:
    QList<TelephonyAddress> lines() const override;
    Result<qint32> watch(const QString& addressName, TapiEventReceiver* receiver,
                         std::shared_ptr<std::atomic<int>> filter) override;
    Result<std::shared_ptr<TelephonyCall>> dial(const QString& addressName,
                                                const QString& number) override;
};

class SimLineMedia : public LineMedia {
public:
    Result<qint32> waveDeviceId(const std::shared_ptr<TelephonyCall>& call, int kind) override;
    Result<qint32> formatType(qint32 waveDeviceId) override;
};

} // namespace orvane::sim
