#include "platform/telephony/sip/UdptlSocket.h"

#include "platform/telephony/sip/SipSdp.h"

#include <QRandomGenerator>

namespace orvane::sip {

UdptlSocket::UdptlSocket(Received received)
    : m_received(std::move(received))
{
    sa_init(&m_remote, AF_UNSPEC);
}

UdptlSocket::~UdptlSocket()
{
    mem_deref(m_socket);
}

Result<std::unique_ptr<UdptlSocket>> UdptlSocket::open(const struct sa& local, Received received)
{
    std::unique_ptr<UdptlSocket> socket(new UdptlSocket(std::move(received)));
    struct sa address = local;
    // A free port of the range, found as RTP's is: a few tries at random.
    for (int tries = 0; tries < 64 && !socket->m_socket; ++tries) {
        sa_set_port(&address, quint16(QRandomGenerator::global()->bounded(int(kMediaPortMin),
                                                                          int(kMediaPortMax) + 1)));
        if (udp_listen(&socket->m_socket, &address, onReceive, socket.get()) != 0)
            socket->m_socket = nullptr;
    }
    if (!socket->m_socket)
        return Status(err::Fail, QStringLiteral("No port is free for T.38"));
    return socket;
}

quint16 UdptlSocket::port() const
{
    struct sa local;
    return m_socket && udp_local_get(m_socket, &local) == 0 ? quint16(sa_port(&local)) : 0;
}

void UdptlSocket::setRemote(const struct sa& remote)
{
    if (!m_latched)
        m_remote = remote;
}

void UdptlSocket::send(const QByteArray& ifp)
{
    const QByteArray datagram = m_encoder.encode(ifp);
    if (datagram.isEmpty() || !sa_isset(&m_remote, SA_ALL))
        return;
    mbuf* mb = mbuf_alloc(size_t(datagram.size()));
    if (!mb)
        return;
    mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(datagram.constData()),
                   size_t(datagram.size()));
    mb->pos = 0;
    if (udp_send(m_socket, &m_remote, mb) == 0)
        ++m_sent;
    mem_deref(mb);
}

void UdptlSocket::onReceive(const struct sa* source, struct mbuf* mb, void* arg)
{
    auto* self = static_cast<UdptlSocket*>(arg);
    const size_t size = mbuf_get_left(mb);
    if (size == 0 || size > size_t(fax::kMaxUdptlBytes))
        return;
    // The far end's first datagram shows where it takes ours (the same port, by symmetric
    // UDP, also behind NAT); from then on only that source is heard.
    if (!self->m_latched) {
        self->m_remote = *source;
        self->m_latched = true;
    } else if (!sa_cmp(source, &self->m_remote, SA_ALL)) {
        return;
    }
    ++self->m_datagrams;
    const QByteArray datagram(reinterpret_cast<const char*>(mbuf_buf(mb)), qsizetype(size));
    for (const fax::UdptlDecoder::Ifp& ifp : self->m_decoder.decode(datagram))
        self->m_received(ifp.sequence, ifp.data);
}

} // namespace orvane::sip
