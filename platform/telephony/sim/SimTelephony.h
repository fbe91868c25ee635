#pragma once

// The `sim` provider: a telephony object on the process's simulated exchange.

#include "platform/telephony/Telephony.h"

#include <atomic>

namespace orvane::sim {

class SimTelephony : public Telephony {
public:
    SimTelephony();
    ~SimTelephony() override;

    QString providerName() const override { return QStringLiteral("sim"); }
    Status initialize() override;
    Result<QList<TelephonyAddress>> addresses() const override;
    Status setEventFilter(int filter) override;
    Result<qint32> registerCallNotifications(const QString& addressName, bool monitor, bool owner,
                                             int mediaTypes, qint32 callbackInstance,
                                             TapiEventReceiver* receiver) override;
    Status unregisterNotifications(qint32 cookie) override;
    Status shutdown() override;
    Result<std::unique_ptr<LineMedia>> createLineMedia() override;
    Result<std::shared_ptr<TelephonyCall>> createCall(const QString& addressName,
                                                      const QString& number) override;

private:
    enum class State { Created, Initialized, ShutDown };
    Status requireInitialized() const;

    State m_state = State::Created;
    std::shared_ptr<std::atomic<int>> m_filter;
    QList<qint32> m_cookies;
};

class SimLineMedia : public LineMedia {
public:
    Result<qint32> waveDeviceId(const std::shared_ptr<TelephonyCall>& call, int kind) override;
    Result<qint32> formatType(qint32 waveDeviceId) override;
};

} // namespace orvane::sim
