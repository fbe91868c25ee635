#pragma once

// The `sip` provider: the lines of lines.conf, each a SIP account on a port of its own.
// Listing the lines needs only the file; the SIP loop starts when a line is first watched.

#include "platform/telephony/ProviderTelephony.h"
#include "platform/telephony/sip/SipLinesConfig.h"

namespace orvane::sip {

class SipTelephony : public ProviderTelephony {
public:
    // `config`: the lines and limits, or why the configuration cannot be used.
    explicit SipTelephony(Result<LinesFile> config);

    QString providerName() const override { return QStringLiteral("sip"); }
    Result<std::unique_ptr<LineMedia>> createLineMedia() override;

private:
    Status usable() const override { return m_config.status(); }
    QList<TelephonyAddress> lines() const override;
    Result<qint32> watch(const QString& addressName, TapiEventReceiver* receiver,
                         std::shared_ptr<std::atomic<int>> filter) override;
    Result<std::shared_ptr<TelephonyCall>> dial(const QString& addressName,
                                                const QString& number) override;
    // The line's configuration, its socket open (the SIP loop started when it was not).
    Result<const LineConfig*> openLine(const QString& addressName) const;

    Result<LinesFile> m_config;
};

class SipLineMedia : public LineMedia {
public:
    Result<qint32> waveDeviceId(const std::shared_ptr<TelephonyCall>& call, int kind) override;
    Result<qint32> formatType(qint32 waveDeviceId) override;
};

} // namespace orvane::sip
