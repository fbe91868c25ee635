#include "platform/telephony/sip/StunProbe.h"

#include <netdb.h>
#include <sys/socket.h>

namespace orvane::sip {

namespace {
constexpr uint16_t kStunPort = 3478;
} // namespace

Result<struct sa> stunServerAddress(const QString& server, int family)
{
    QString host = server.trimmed();
    quint16 port = kStunPort;
    // host:port, [v6]:port, or a bare host or address.
    if (host.startsWith(u'[')) {
        const qsizetype close = host.indexOf(u']');
        if (close > 0 && host.mid(close + 1).startsWith(u':'))
            port = quint16(host.mid(close + 2).toUInt());
        host = host.mid(1, close - 1);
    } else if (host.count(u':') == 1) {
        port = quint16(host.section(u':', 1).toUInt());
        host = host.section(u':', 0, 0);
    }
    struct sa address;
    if (sa_set_str(&address, host.toUtf8().constData(), port) == 0)
        return address;
    addrinfo hints{};
    hints.ai_family = family;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (port == 0 || getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) != 0 || !found)
        return Status(err::InvalidArg,
                      QStringLiteral("The STUN server %1 is not found").arg(server));
    sa_set_sa(&address, found->ai_addr);
    freeaddrinfo(found);
    sa_set_port(&address, port);
    return address;
}

StunProbe::StunProbe(const QString& server, const struct sa& local, Done done)
    : m_done(std::move(done))
{
    Result<struct sa> to = stunServerAddress(server, sa_af(&local));
    struct sa from = local;
    sa_set_port(&from, 0);
    if (!to) {
        finish(to);
        return;
    }
    if (udp_listen(&m_socket, &from, onReceive, this) != 0 ||
        stun_alloc(&m_stun, nullptr, nullptr, nullptr) != 0 ||
        stun_request(&m_request, m_stun, IPPROTO_UDP, m_socket, &to.value(), 0, STUN_METHOD_BINDING,
                     nullptr, 0, false, onResponse, this, 0) != 0)
        finish(Status(err::Fail, QStringLiteral("Cannot ask the STUN server %1").arg(server)));
}

StunProbe::~StunProbe()
{
    m_request = static_cast<struct stun_ctrans*>(mem_deref(m_request));
    m_stun = static_cast<struct stun*>(mem_deref(m_stun));
    m_socket = static_cast<struct udp_sock*>(mem_deref(m_socket));
}

void StunProbe::finish(const Result<struct sa>& result)
{
    if (Done done = std::exchange(m_done, nullptr))
        done(result);
}

void StunProbe::onReceive(const struct sa*, struct mbuf* mb, void* arg)
{
    auto* self = static_cast<StunProbe*>(arg);
    if (self->m_stun)
        stun_recv(self->m_stun, mb);
}

void StunProbe::onResponse(int err, uint16_t scode, const char* reason, const struct stun_msg* msg,
                           void* arg)
{
    auto* self = static_cast<StunProbe*>(arg);
    self->m_request = nullptr; // libre lets it go
    if (err || scode != 0 || !msg) {
        self->finish(Status(err::Fail, err == ETIMEDOUT
                                           ? QStringLiteral("the STUN server does not answer")
                                           : QStringLiteral("the STUN server refused (%1 %2)")
                                                 .arg(scode)
                                                 .arg(QString::fromUtf8(reason ? reason : ""))));
        return;
    }
    const struct stun_attr* mapped = stun_msg_attr(msg, STUN_ATTR_XOR_MAPPED_ADDR);
    if (!mapped)
        mapped = stun_msg_attr(msg, STUN_ATTR_MAPPED_ADDR);
    if (!mapped) {
        self->finish(Status(err::Fail, QStringLiteral("the STUN server named no address")));
        return;
    }
    self->finish(mapped->type == STUN_ATTR_XOR_MAPPED_ADDR ? mapped->v.xor_mapped_addr
                                                           : mapped->v.mapped_addr);
}

} // namespace orvane::sip
