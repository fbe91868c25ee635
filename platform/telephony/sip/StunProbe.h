#pragma once

// Asks a STUN server (RFC 5389 Binding) what address our packets come from, as a line
// behind NAT learns its public address when no registrar tells it. The probe goes from a
// socket of its own on the line's address: the address it learns is the NAT's, the port
// only that socket's.
//
// Thread: the SIP loop's.

#include "platform/Status.h"

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

#include <QString>

#include <functional>

namespace orvane::sip {

class StunProbe {
public:
    // `done` runs once, on the loop: our address as the server saw it, or why not.
    using Done = std::function<void(const Result<struct sa>&)>;

    // `server`: "host[:port]" (3478 when none).
    StunProbe(const QString& server, const struct sa& local, Done done);
    ~StunProbe();
    StunProbe(const StunProbe&) = delete;
    StunProbe& operator=(const StunProbe&) = delete;

private:
    void finish(const Result<struct sa>& result);
    static void onReceive(const struct sa* src, struct mbuf* mb, void* arg);
    static void onResponse(int err, uint16_t scode, const char* reason, const struct stun_msg* msg,
                           void* arg);

    Done m_done;
    struct udp_sock* m_socket = nullptr;
    struct stun* m_stun = nullptr;
    struct stun_ctrans* m_request = nullptr;
};

// The server's address: a numeric one, or a name looked up now (blocking, once per line).
Result<struct sa> stunServerAddress(const QString& server, int family);

} // namespace orvane::sip
