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

// --- whole descriptions, as text --------------------------------------------------------
// The SDP library serves the audio; a T.38 stream is put beside it or in its place here.

// The SDP without its image (T.38) sections: what the audio side is given.
QByteArray withoutT38(const QByteArray& sdp);
// Whether the SDP has an audio stream with a port other than 0.
bool hasActiveAudio(const QByteArray& sdp);
// `ours` with its media replaced by a T.38 stream at `port` (its session lines kept, and a
// connection line for the stream when the session has none).
QByteArray t38Description(const QByteArray& ours, quint16 port, const T38Params& params);
// `ours` with `section` added after its media.
QByteArray withSection(const QByteArray& ours, const QByteArray& section);
// Our answer with one media line for each of the offer's, in the offer's order (RFC 3264):
// the section of ours of the same media type, or that stream refused (port 0).
QByteArray alignedAnswer(const QByteArray& ours, const QByteArray& offer);
// The SDP with `version` as the version of its origin line: every description sent in a
// call takes the next one, whichever side of the code wrote it.
QByteArray withOriginVersion(const QByteArray& sdp, quint64 version);
// The version of the SDP's origin line; 0 when it has none.
quint64 originVersion(const QByteArray& sdp);

} // namespace orvane::sip
