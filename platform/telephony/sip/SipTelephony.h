#pragma once

// The `sip` provider: the lines of lines.conf, each a SIP account on a port of its own.
// Listing the lines needs only the file; the SIP loop starts when a line is first watched.

#include "platform/telephony/Telephony.h"
#include "platform/telephony/sip/SipLinesConfig.h"

#include <atomic>

namespace orvane::sip {

class SipTelephony : public Telephony {
public:
    // `config`: the lines and limits, or why the configuration cannot be used.
    explicit SipTelephony(Result<LinesFile> config);
    ~SipTelephony() override;

    QString providerName() const override { return QStringLiteral("sip"); }
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
    // The line's configuration, its socket open (the SIP loop started when it was not).
    Result<const LineConfig*> openLine(const QString& addressName) const;

    Result<LinesFile> m_config;
    State m_state = State::Created;
    std::shared_ptr<std::atomic<int>> m_filter;
    QList<qint32> m_cookies;
};

class SipLineMedia : public LineMedia {
public:
    Result<qint32> waveDeviceId(const std::shared_ptr<TelephonyCall>& call, int kind) override;
    Result<qint32> formatType(qint32 waveDeviceId) override;
};

} // namespace orvane::sip
