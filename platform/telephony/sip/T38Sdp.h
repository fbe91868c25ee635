#pragma once

// How SDP speaks of a T.38 fax stream (ITU-T T.38 Annex D): an `m=image <port> udptl t38`
// section with its attributes, read from the far end's offer or answer, and written for
// ours. What we answer takes the lower of the two sides' limits.
//
// Thread: any (text only).

#include <QByteArray>
#include <QtGlobal>

namespace orvane::sip {

struct T38Params {
    int version = 0;
    int maxBitRate = 14400;
    bool transferredTcf = true; // T38FaxRateManagement: transferredTCF (localTCF: false)
    int maxDatagram = 400;      // T38FaxMaxDatagram (or T38MaxDatagram)
    bool redundancy = true;     // T38FaxUdpEC: t38UDPRedundancy (FEC or none: false)
};

struct T38Stream {
    bool offered = false; // an image/t38 section with a port other than 0
    QByteArray address;   // its c= address (the section's, else the session's)
    quint16 port = 0;
    T38Params params;
};

// The first T.38 stream of the SDP.
T38Stream t38StreamOf(const QByteArray& sdp);
// What we take for a stream the far end describes with `theirs`.
T38Params t38Answer(const T38Params& theirs);
// Our section for a T.38 stream at `port` (an m= line and its attributes, CRLF-ended).
QByteArray t38Section(quint16 port, const T38Params& params);

} // namespace orvane::sip
