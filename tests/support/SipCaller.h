#pragma once

// A real SIP caller for tests: sipp, run with a scenario we write, sending RTP from a pcap
// file we make (G.711 tones), on loopback.

#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class QProcess;

namespace orvane::test {

// A free UDP port on 127.0.0.1 (free when asked).
quint16 freeUdpPort();

// RTP of `samples` (8 kHz) in 20 ms packets, mu-law (payload 0) or A-law (8), as a pcap of
// Ethernet/IPv4/UDP frames, the form sipp plays.
bool writeRtpPcap(const QString& path, const QVector<qint16>& samples, bool alaw = false);
// The same mu-law stream with keys pressed in it as telephone-events (payload 101, RFC 4733):
// each key at its time (ms from the start), three packets of one press.
struct KeyPress {
    char key;
    int atMs;
};
bool writeRtpPcapWithKeys(const QString& path, const QVector<qint16>& samples,
                          const QList<KeyPress>& keys);

struct SipCallerScenario {
    QString sdpFormats = QStringLiteral("0 101"); // the m= line's payload types
    QString rtpmaps = QStringLiteral("a=rtpmap:0 PCMU/8000\na=rtpmap:101 telephone-event/8000");
    QString pcap; // played after the ACK; empty: no audio
    bool cancelAfterRinging = false;
    int expectFinal = 0;    // a final error response expected instead of 200 (404, 488...)
    int hangUpAfterMs = -1; // the caller hangs up this long after the ACK; -1: the machine does
    // A slow ACK: once the 200 OK is in, the caller makes the file `answeredMark` (when named),
    // so that a test sees the moment, and waits this long before it acknowledges.
    QString answeredMark;
    int ackAfterMs = 0;
    // The caller's From address, and headers added to the INVITE (each ending in \n).
    QString from = QStringLiteral("sipp <sip:5550123@[local_ip]:[local_port]>");
    QString inviteHeaders;
    // The Contact the caller gives, and the SDP's connection line (a caller behind NAT
    // names its private address in both).
    QString contact = QStringLiteral("sip:sipp@[local_ip]:[local_port]");
    QString connection = QStringLiteral("IN IP[media_ip_type] [media_ip]");
    // sipp steps run once the call is answered and its audio started (requests within
    // the call: withinCall() writes one).
    QString afterAnswer;
    // Through a proxy that record-routes: requests within the call carry its Route.
    bool routed = false;
};

// A request within the call, for afterAnswer: `method` with `extraHeaders` (each ending in
// \n) and `sdp` as its body (none when empty), then its final response `expect`, and for
// an INVITE the ACK (carrying `ackSdp` when the 200 brought an offer).
QString withinCall(const QString& method, int cseq, const QString& extraHeaders, const QString& sdp,
                   int expect, const QString& ackSdp = QString(),
                   const QString& contentType = QStringLiteral("application/sdp"));

// An SDP body for scenarios, at the caller's media address and port.
QString callerSdp(const QString& direction = QString());

// Writes `text` as the lines.conf at `path`, and makes it the one this process's SIP lines
// are read from (ORVANE_LINES_CONF).
bool useLinesFile(const QString& path, const QString& text);

// Writes the scenario as sipp XML.
bool writeScenario(const QString& path, const SipCallerScenario& scenario);

struct SipCallerRun {
    int exitCode = -1;
    QString output;
};

// Runs one call of the scenario from sipp at 127.0.0.1:`localPort` to `user` at
// 127.0.0.1:`remotePort`, waiting for it to end (at most `timeoutMs`).
SipCallerRun runSipCaller(const QString& scenarioPath, const QString& user, quint16 remotePort,
                          int timeoutMs = 60000,
                          const QString& localIp = QStringLiteral("127.0.0.1"));

// Where sipp runs: its own address, the line's, a network namespace to run in, and fixed
// SIP and media ports (0: free ones of loopback).
struct SipCallerPlace {
    QString localIp = QStringLiteral("127.0.0.1");
    QString remoteIp = QStringLiteral("127.0.0.1");
    QString netns;
    quint16 sipPort = 0;
    quint16 mediaPort = 0;
};
SipCallerRun runSipCaller(const QString& scenarioPath, const QString& user, quint16 remotePort,
                          int timeoutMs, const SipCallerPlace& place);
// The same in two steps, for calls that run side by side: sipp started (not yet waited
// for), then waited for and read.
std::unique_ptr<QProcess> startSipCaller(const QString& scenarioPath, const QString& user,
                                         quint16 remotePort, int timeoutMs,
                                         const SipCallerPlace& place = SipCallerPlace());
SipCallerRun finishSipCaller(QProcess& sipp, int timeoutMs);

} // namespace orvane::test
