#pragma once

// The SIP lines of this user: one section per line in lines.conf, the section's name being
// the line's name (the address name the rest of the system knows it by).
//
// Lines starting with # or ; are comments, as is what follows " #" after a value.
//
// Settings of the whole line server come before the first line:
//
//   max_calls = 1000      calls at once on this server; a call beyond them is refused
//                         at once with 503 and Retry-After (never left ringing)
//   invite_rate = 1000    new calls a second from one address, with a burst as large;
//                         beyond it 503 as well
//   media_threads = 2     threads that move the calls' audio (default: one per core);
//                         0 moves it on the SIP loop's thread
//
//   [Front desk]
//   uri = sip:frontdesk@pbx.example.org      the line's own address (required)
//   registrar = sip:pbx.example.org          where it registers (optional)
//   user = frontdesk                         digest user (default: the uri's user)
//   password = secret                        digest password
//   port = 5062                              local SIP port (default 5060); lines may share a
//                                            port when their users differ
//   address = 192.168.1.20                   local address to use (default: this machine's)
//   ring_interval_ms = 6000                  one ring event per interval while it rings
//   expires = 3600                           registration lifetime asked for, in seconds
//   stop_on_hangup = no                      yes: a recording ends when the caller hangs up,
//                                            so the line is free for the next at once
//   transport = udp                          udp, tcp or tls (a sips: uri means tls)
//   outbound_proxy = sip:proxy.example.org   every request goes through it (loose routing)
//   keepalive_s = 25                         keep-alive on the registered flow (0: none)
//   public_address = 203.0.113.7             our address as the internet sees it, in Contact
//                                            and SDP (default: learnt from the registrar)
//   stun_server = stun.example.org:3478      asked for that address when the line opens
//   tls_ca = /path/ca.pem                    CAs a TLS peer must chain to (default: system's)
//   tls_verify = yes                         no: take any certificate (a test bed only)
//   tls_certificate = /path/line.pem         certificate and key, PEM, for TLS calls to us
//   accept = any | 5550100, 5550101          numbers (request-URI users) the line answers
//                                            beside its own, for a trunk's DIDs
//   allow_from = 198.51.100.0/24, 192.0.2.7  who may call a line that has a registrar
//                                            (default: the registrar and proxy alone)
//   media_encryption = none                  srtp: SRTP when the far end offers it (and
//                                            offered on calls we place); srtp_mandatory:
//                                            never plain RTP (an offer without keys: 488)
//   dtmf_skip_greeting = #                   the key that skips the greeting (default none)
//   detect_fax = no                          yes: a fax machine calling is heard (its CNG
//                                            tone) and its fax received, not recorded
//   fax_transport = auto                     how faxes go: auto (a call starts as audio;
//                                            the receiving side asks for T.38 and the fax
//                                            goes so if the far end agrees; a T.38 offer is
//                                            taken), t38 (besides, offered on the calls we
//                                            place and preferred in offers of both), audio
//                                            (never T.38)

#include "platform/Status.h"
#include "platform/telephony/sip/SrtpMedia.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace orvane::sip {

enum class Transport { Udp, Tcp, Tls };

// An address or a network: 192.0.2.7, 198.51.100.0/24, 2001:db8::/32.
struct AddressRange {
    QByteArray address; // 4 or 16 bytes
    int prefix = 0;
    bool contains(const QByteArray& other) const;
};

struct LineConfig {
    QString name;
    QString uri;
    QString user; // the uri's user part: the number the line answers to
    QString domain;
    QString registrar;
    QString authUser;
    QString password;
    quint16 port = 5060;
    QString address;
    int ringIntervalMs = 6000;
    int expires = 3600;
    bool stopOnHangup = false;
    Transport transport = Transport::Udp;
    QString outboundProxy;
    int keepaliveSeconds = 25;
    QString publicAddress;
    QString tlsCa;
    bool tlsVerify = true;
    QString tlsCertificate;
    QStringList accept; // users answered beside `user`
    bool acceptAny = false;
    QList<AddressRange> allowFrom;
    bool allowAny = false;
    MediaEncryption mediaEncryption = MediaEncryption::None;
    char dtmfSkipKey = 0; // the key that skips the greeting; 0: none
    bool detectFax = false;
    enum class FaxTransport { Auto, T38, Audio };
    FaxTransport faxTransport = FaxTransport::Auto;
    QString stunServer; // host[:port]

    // Whether the line answers an INVITE for `requestUser`.
    bool answers(const QString& requestUser) const;
    // The URI requests to the registrar or proxy go to, with the line's transport.
    QString routeUri(const QString& uri) const;
};

// The address range `text` names; empty when it names none.
Result<AddressRange> parseAddressRange(const QString& text);

// How much the line server takes on at once (the settings before the first line).
struct CallLimits {
    int maxCalls = 1000;
    int inviteRate = 1000;
    int retryAfterSeconds = 5; // what a refused caller is told to wait
    int mediaThreads = -1;     // -1: one per core
};

struct LinesFile {
    QList<LineConfig> lines;
    CallLimits limits;
    // What the user should know that does not stop the lines (passwords that other users
    // can read), each with what fixes it.
    QStringList warnings;
};

// The largest lines.conf read; a larger one is a mistake (a few hundred lines take a few KB).
constexpr qint64 kMaxLinesFileBytes = 1024 * 1024;

// $ORVANE_LINES_CONF, or lines.conf in the user's Orvane configuration folder.
QString linesConfigPath();
// Every line of the text and the server's settings, or the first mistake with its line
// number.
Result<LinesFile> parseLinesFile(const QByteArray& text);
Result<QList<LineConfig>> parseLinesConfig(const QByteArray& text);
// The file at linesConfigPath(); no lines when there is no such file. Anything there that
// is not a regular file of at most kMaxLinesFileBytes is a mistake.
Result<LinesFile> readLinesFile();

} // namespace orvane::sip
