#pragma once

// SRTP keyed in the SDP (SDES, RFC 4568): the a=crypto lines of an offer or answer, the
// key we give for our own stream, and the session that encrypts what a call's RTP socket
// sends and decrypts what it receives. AES_CM_128_HMAC_SHA1_80 and _32 are spoken;
// lines with a key lifetime or MKI, or another suite, are passed over.
//
// Thread: the SIP loop's (the session sits on the call's RTP and RTCP sockets).

#include "platform/Status.h"

#include <QByteArray>
#include <QList>

#include <memory>

struct rtp_sock;
struct srtp;
struct udp_helper;
struct mbuf;
struct sa;

namespace orvane::sip {

enum class MediaEncryption { None, Srtp, SrtpMandatory };

struct SdesCrypto {
    int tag = 0;
    int suite = -1;     // libre's enum srtp_suite; -1: none
    QByteArray keySalt; // 30 bytes: 16 of key, 14 of salt

    bool isSet() const { return suite >= 0; }
    bool operator==(const SdesCrypto&) const = default;
};

// The crypto lines of the SDP's audio stream we can use, in the order offered.
QList<SdesCrypto> cryptosOf(const QByteArray& sdp);
// Whether the audio stream is offered on the secure profile (RTP/SAVP) alone.
bool secureProfile(const QByteArray& sdp);
// What a line that encrypts as `mode` makes of an offer: the far end's crypto to use (unset:
// plain RTP), or why the call cannot be taken (answered 488).
Result<SdesCrypto> chooseCrypto(const QByteArray& offer, MediaEncryption mode);
// A new key of ours for `suite`, under `tag`.
SdesCrypto newCrypto(int tag, int suite);
// "1 AES_CM_128_HMAC_SHA1_80 inline:<key and salt>": the value of our a=crypto line.
QByteArray cryptoAttribute(const SdesCrypto& crypto);
// The suite's name in SDP.
const char* suiteName(int suite);

class SrtpSession {
public:
    // Encrypts what `rtp` sends with `ours`, decrypts what it receives with `theirs`.
    static Result<std::unique_ptr<SrtpSession>> start(struct rtp_sock* rtp, const SdesCrypto& ours,
                                                      const SdesCrypto& theirs);
    ~SrtpSession();
    SrtpSession(const SrtpSession&) = delete;
    SrtpSession& operator=(const SrtpSession&) = delete;

    // The far end's new key (a re-INVITE may bring one).
    Status setTheirs(const SdesCrypto& theirs);
    const SdesCrypto& theirs() const { return m_theirs; }
    qint64 rejected() const { return m_rejected; } // packets that failed authentication

private:
    SrtpSession() = default;
    static bool onSend(int* err, struct sa* dst, struct mbuf* mb, void* arg);
    static bool onReceive(struct sa* src, struct mbuf* mb, void* arg);
    static bool onSendReport(int* err, struct sa* dst, struct mbuf* mb, void* arg);
    static bool onReceiveReport(struct sa* src, struct mbuf* mb, void* arg);

    struct udp_helper* m_helper = nullptr;
    struct udp_helper* m_reportHelper = nullptr; // SRTCP, on the RTCP socket
    struct srtp* m_tx = nullptr;
    struct srtp* m_rx = nullptr;
    SdesCrypto m_theirs;
    qint64 m_rejected = 0;
};

} // namespace orvane::sip
