#pragma once

// What a request must carry before the line server acts on it, and the stateless answer to
// one that does not. A request without Via, From, To, Call-ID or CSeq, or whose
// Content-Length is no count of the bytes that came, is answered 400 and goes no further:
// it never rings a line.
//
// Thread: the SIP event loop's (libre objects); malformation() and badRequest() touch
// nothing but the message.

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

struct sip_msg;
struct sip_dialog;
struct sa;

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

// The option tags of the request's Require headers. No SIP extension is served here, so a
// request that requires any is answered 420 with them in Unsupported.
QByteArrayList requiredExtensions(const struct sip_msg* msg);

// Addresses nobody outside the caller's own network can reach: RFC 1918, shared (RFC 6598),
// link-local and unique-local ones.
bool privateAddress(const struct sa& address);

// Where requests in the caller's dialog must go when its Contact cannot be reached: a
// caller behind NAT names its private address there, while its requests come from the
// router's public one. Empty when the Contact will do (or a proxy that record-routes
// carries the dialog); else the Contact's URI at the request's source.
QByteArray contactAtSource(const struct sip_msg* msg);

// A hop of a route as libre takes it: libre marks every hop loose-routing itself (";lr"), so
// the URI goes without one.
QByteArray routeHop(const QString& uri);

// Points the dialog's remote target at `uri` (what a target refresh with that Contact
// would do).
int retargetDialog(struct sip_dialog* dialog, const QByteArray& uri);

} // namespace orvane::sip
