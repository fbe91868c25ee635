#pragma once

// Calls from sipp for the SIP benchmarks: each call is answered, sends RTP (sipp's
// rtp_stream) until the line hangs up, and takes a 503 as a refusal.

#include <QString>

namespace orvane::bench {

// A free UDP port of loopback (free when asked).
quint16 freePort();
// A 1 kHz tone of `seconds` as raw 8 kHz mu-law, the form rtp_stream sends as payload 0.
bool writeToneUlaw(const QString& path, double seconds);
// The scenario (sipp XML): an INVITE for the user of the injection file's field 0, the
// answer, `audio` sent after the ACK, the line's BYE answered. `routed`: through a proxy that
// record-routes, whose route the ACK takes.
QString loadScenario(const QString& audio, bool routed = false);
// How many of `message` (a response code, or a request such as BYE) sipp's last screen
// counts as received.
int sippCount(const QString& screen, const QString& message);

} // namespace orvane::bench
