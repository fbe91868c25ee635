#pragma once

// A SIP call's T.38 stream: a UDP socket of its own (in the RTP port range), UDPTL datagrams
// with three IFPs of redundancy each way. The IFPs that come, recovered ones included, go to
// `received` in order. Our datagrams go where the far end's SDP says until its first one
// comes; from then on they go where that came from (a far end behind NAT), and only that
// source is heard.
//
// Thread: the SIP loop's.

#include "platform/Status.h"
#include "platform/fax/Udptl.h"

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

#include <functional>
#include <memory>

namespace orvane::sip {

class UdptlSocket {
public:
    using Received = std::function<void(quint16 sequence, const QByteArray& ifp)>;

    // A socket on `local`'s address, at a free port of the RTP range.
    static Result<std::unique_ptr<UdptlSocket>> open(const struct sa& local, Received received);
    ~UdptlSocket();
    UdptlSocket(const UdptlSocket&) = delete;
    UdptlSocket& operator=(const UdptlSocket&) = delete;

    quint16 port() const;
    // Where the far end's SDP says it takes datagrams.
    void setRemote(const struct sa& remote);
    // One IFP, in a datagram of its own.
    void send(const QByteArray& ifp);

    qint64 sent() const { return m_sent; }
    qint64 datagramsReceived() const { return m_datagrams; }
    const fax::UdptlDecoder& decoder() const { return m_decoder; }

private:
    explicit UdptlSocket(Received received);
    static void onReceive(const struct sa* source, struct mbuf* mb, void* arg);

    struct udp_sock* m_socket = nullptr;
    Received m_received;
    struct sa m_remote;
    bool m_latched = false; // m_remote is where the far end's datagrams come from
    fax::UdptlEncoder m_encoder{3};
    fax::UdptlDecoder m_decoder;
    qint64 m_sent = 0, m_datagrams = 0;
};

} // namespace orvane::sip
