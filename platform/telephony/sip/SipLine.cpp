#include "platform/telephony/sip/SipCall.h"
#include "platform/telephony/sip/SipRequest.h"

#include <algorithm>

namespace orvane::sip {

namespace {

QByteArray addressBytes(const struct sa& address)
{
    if (sa_af(&address) == AF_INET6)
        return QByteArray(reinterpret_cast<const char*>(&address.u.in6.sin6_addr), 16);
    return QByteArray(reinterpret_cast<const char*>(&address.u.in.sin_addr), 4);
}

} // namespace

struct sa SipLine::publicAddress() const
{
    struct sa address = localAddress;
    if (!config.publicAddress.isEmpty())
        sa_set_str(&address, config.publicAddress.toUtf8().constData(), sa_port(&localAddress));
    else if (registration && sa_isset(&registration->publicAddress(), SA_ADDR))
        address = registration->publicAddress();
    else if (sa_isset(&stunAddress, SA_ADDR)) {
        address = stunAddress;
        sa_set_port(&address, sa_port(&localAddress));
    }
    return address;
}

bool SipLine::admits(const struct sa& source) const
{
    if (config.allowAny)
        return true;
    const QByteArray from = addressBytes(source);
    if (std::any_of(config.allowFrom.cbegin(), config.allowFrom.cend(),
                    [&](const AddressRange& range) { return range.contains(from); }))
        return true;
    if (config.registrar.isEmpty() && config.outboundProxy.isEmpty())
        return config.allowFrom.isEmpty();
    // The registrar and the proxy are whoever answered the line's REGISTERs.
    return registration &&
           std::any_of(registration->peers().cbegin(), registration->peers().cend(),
                       [&](const struct sa& peer) { return sa_cmp(&peer, &source, SA_ADDR); });
}

QByteArrayList SipLine::routes() const
{
    QByteArrayList list;
    if (!config.outboundProxy.isEmpty())
        list.append(routeHop(config.routeUri(config.outboundProxy)));
    if (registration)
        for (const QString& hop : registration->serviceRoute())
            list.append(routeHop(hop));
    if (list.isEmpty() && !config.registrar.isEmpty())
        list.append(routeHop(config.routeUri(config.registrar)));
    return list;
}

QByteArray SipLine::contactUser() const
{
    const QByteArray user = config.user.toUtf8();
    const bool behindNat = !config.publicAddress.isEmpty() ||
                           (registration && sa_isset(&registration->publicAddress(), SA_ADDR)) ||
                           sa_isset(&stunAddress, SA_ADDR);
    if (!behindNat)
        return user;
    // A whole URI: libre writes it as our Contact as it stands.
    const struct sa at = publicAddress();
    char text[96] = {};
    re_snprintf(text, sizeof text, "%J", &at);
    QByteArray uri = "sip:" + user + '@' + text;
    if (config.transport == Transport::Tcp)
        uri += ";transport=tcp";
    else if (config.transport == Transport::Tls)
        uri += ";transport=tls";
    return uri;
}

} // namespace orvane::sip
