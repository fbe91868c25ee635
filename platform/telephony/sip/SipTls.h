#pragma once

// The TLS context of a SIP port. A peer we connect to (registrar, proxy, a callee) must
// show a certificate that chains to the line's CAs (the system's unless tls_ca names a
// file) and names the host we asked for; with tls_verify = no any certificate will do.
// Peers that connect to us (a provider bringing a call) are not asked for one: who may
// call is allow_from's business. The port shows the line's tls_certificate, when it has
// one, to those that connect.
//
// Thread: the SIP loop's.

#include "platform/Status.h"
#include "platform/telephony/sip/SipLinesConfig.h"

struct tls;

namespace orvane::sip {

// `host`: the name or address the peer's certificate must carry (the registrar's or
// outbound proxy's host); empty when the line has neither.
Result<struct tls*> makeTlsContext(const LineConfig& config, const QString& host);

// Why the last TLS peer was not trusted, for the message of a registration that failed
// on it; empty when none was refused since the last call.
QString takeTlsRefusal();

} // namespace orvane::sip
