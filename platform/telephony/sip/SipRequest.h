#pragma once

// What a request must carry before the line server acts on it, and the stateless answer to
// one that does not. A request without Via, From, To, Call-ID or CSeq, or whose
// Content-Length is no count of the bytes that came, is answered 400 and goes no further:
// it never rings a line.
//
// Thread: the SIP event loop's (libre objects); malformation() and badRequest() touch
// nothing but the message.

#include <QByteArray>
#include <QString>

struct sip_msg;

namespace orvane::sip {

// Why the request cannot be taken; empty when it is well formed.
QString malformation(const struct sip_msg* msg);

// A complete "400 Bad Request" for `msg`, carrying its Via, From, To (tagged), Call-ID and
// CSeq as far as it has them, and `why` in a Warning.
QByteArray badRequest(const struct sip_msg* msg, const QString& why);

// The message's body: the bytes after the headers, no more than its Content-Length says
// (over UDP what follows is not part of the message).
QByteArray messageBody(const struct sip_msg* msg);

// SIP methods that are real but not served here: answered 405 with Allow, not 501.
bool knownMethod(const QByteArray& method);

} // namespace orvane::sip
