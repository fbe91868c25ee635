#include "platform/telephony/sip/SipTelephony.h"

#include "platform/audio/WaveDevice.h"
#include "platform/telephony/sip/SipCall.h"
#include "platform/telephony/sip/SipStack.h"

namespace orvane::sip {

namespace {
// How long registering for a line's calls waits for its registrar's answer.
constexpr int kRegistrationWaitMs = 5000;
} // namespace

SipTelephony::SipTelephony(Result<LinesFile> config)
    : ProviderTelephony(SipStack::instance().events())
    , m_config(std::move(config))
{}

QList<TelephonyAddress> SipTelephony::lines() const
{
    QList<TelephonyAddress> list;
    for (const LineConfig& line : m_config->lines)
        list.append({line.name, true, line.user, line.detectFax});
    return list;
}

Result<const LineConfig*> SipTelephony::openLine(const QString& addressName) const
{
    const LineConfig* config = nullptr;
    for (const LineConfig& line : m_config->lines)
        if (line.name == addressName)
            config = &line;
    if (!config)
        return Status(err::InvalidArg,
                      QStringLiteral("There is no line named \"%1\"").arg(addressName));
    SipStack& stack = SipStack::instance();
    if (Status s = stack.start(m_config.value()); !s)
        return s;
    if (Status s = stack.lineStatus(addressName); !s)
        return s;
    return config;
}

Result<qint32> SipTelephony::watch(const QString& addressName, TapiEventReceiver* receiver,
                                   std::shared_ptr<std::atomic<int>> filter)
{
    Result<const LineConfig*> line = openLine(addressName);
    if (!line)
        return line.status();
    SipStack& stack = SipStack::instance();
    // A line whose registrar refuses it, or does not answer, cannot take calls: the line
    // says so now rather than wait in vain.
    if (Status s = stack.awaitRegistration(addressName, kRegistrationWaitMs); !s)
        return s;
    return stack.events().add(addressName, receiver, std::move(filter), owner());
}

Result<std::unique_ptr<LineMedia>> SipTelephony::createLineMedia()
{
    return std::unique_ptr<LineMedia>(new SipLineMedia);
}

Result<qint32> SipLineMedia::waveDeviceId(const std::shared_ptr<TelephonyCall>& call, int kind)
{
    auto* sipCall = dynamic_cast<SipCall*>(call.get());
    if (!sipCall)
        return Status(err::InvalidArg, QStringLiteral("Not a call of this line"));
    if (kind != tapi::LINE_MEDIA_WAVE_DEVICE)
        return Status(err::InvalidArg, QStringLiteral("Unknown media request %1").arg(kind));
    const qint32 id = sipCall->waveDeviceId();
    if (id == 0 || sipCall->state() == tapi::CS_DISCONNECTED)
        return Status(err::InvalidState, QStringLiteral("The call has no audio device"));
    return id;
}

Result<qint32> SipLineMedia::formatType(qint32 waveDeviceId)
{
    std::shared_ptr<WaveDevice> device = WaveDeviceRegistry::find(waveDeviceId);
    if (!device)
        return Status(err::InvalidArg,
                      QStringLiteral("No audio device with id %1").arg(waveDeviceId));
    return device->formatType();
}

namespace {

QString dialledUri(const LineConfig& line, const QString& number)
{
    const QString n = number.trimmed();
    if (n.startsWith(QLatin1String("sip:"), Qt::CaseInsensitive) || n.contains(u'@')) {
        // An address as given; nothing in it may break out of the request line or header.
        for (QChar c : n)
            if (c.unicode() <= 0x20 || c.unicode() >= 0x7f || QStringLiteral("<>\"\\").contains(c))
                return QString();
        return n.startsWith(QLatin1String("sip:"), Qt::CaseInsensitive)
                   ? n
                   : QStringLiteral("sip:") + n;
    }
    // A telephone number: digits (and a leading +) at the line's own domain.
    QString digits;
    for (QChar c : n)
        if (c.isDigit() || (c == u'+' && digits.isEmpty()) || c == u'*')
            digits.append(c);
        else if (c == u'#')
            digits.append(QLatin1String("%23")); // not allowed bare in a SIP user part
        else if (!QStringLiteral(" -().").contains(c))
            return QString();
    if (digits.isEmpty())
        return QString();
    return QStringLiteral("sip:%1@%2").arg(digits, line.domain);
}

} // namespace

Result<std::shared_ptr<TelephonyCall>> SipTelephony::dial(const QString& addressName,
                                                          const QString& number)
{
    Result<const LineConfig*> config = openLine(addressName);
    if (!config)
        return config.status();
    SipStack& stack = SipStack::instance();
    const QString uri = dialledUri(*config.value(), number);
    const void* owner = this->owner();
    return stack.call<Result<std::shared_ptr<TelephonyCall>>>(
        [&stack, addressName, number, uri, owner]() -> Result<std::shared_ptr<TelephonyCall>> {
            SipLine* line = stack.line(addressName);
            if (!line)
                return Status(err::Fail,
                              QStringLiteral("Line \"%1\" is not open").arg(addressName));
            if (line->current)
                return Status(err::InvalidState,
                              QStringLiteral("Line \"%1\" is already in a call").arg(addressName));
            auto call = std::make_shared<SipCall>(*line, stack.nextCallId(), number.trimmed());
            line->current = call;
            if (uri.isEmpty()) {
                // Not a number anybody has: the call ends at once, as a network would end it.
                call->connectFailed(tapi::CEC_DISCONNECT_BADADDRESS, owner);
                return std::shared_ptr<TelephonyCall>(call);
            }
            if (Status s = call->connect(uri, owner); !s) {
                line->current.reset();
                call->stopMedia();
                return s;
            }
            return std::shared_ptr<TelephonyCall>(call);
        });
}

} // namespace orvane::sip
