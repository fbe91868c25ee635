#pragma once

// The audio of a SIP call as SDP describes it: the G.711 law both ends speak (mu-law
// preferred, A-law when the caller offers only that), telephone-event when offered, and
// where the caller's RTP comes from. Offers without either law are refused.
//
// Thread: the SIP event loop's (libre objects).

#include "platform/Status.h"
#include "platform/telephony/sip/SrtpMedia.h"

#include <QByteArray>

struct sdp_session;
struct sdp_media;
struct mbuf;
struct sa;

namespace orvane::sip {

enum class Codec { None, Pcmu, Pcma };

constexpr int kPayloadPcmu = 0;
constexpr int kPayloadPcma = 8;
constexpr int kPayloadTelephoneEvent = 101;
// The UDP ports a call's media (RTP and RTCP, T.38) takes.
constexpr quint16 kMediaPortMin = 16384;
constexpr quint16 kMediaPortMax = 32766;

// The law an SDP offer lets us answer with; None when it offers neither, is not SDP, or
// names an address or port that cannot be (999.999.1.1, port 99999999).
Codec chooseCodec(const QByteArray& offer);
// Every connection line holds a numeric IPv4 or IPv6 address and every media line a port
// of 0..65535.
bool mediaWellFormed(const QByteArray& sdp);
// The SDP with the rtpmap lines of the static G.711 payload types 0 and 8 written out where
// it lists them without one (they are optional; the SDP library needs them).
QByteArray normalizeOffer(const QByteArray& sdp);

// What an SDP says of its audio beyond the law: the address family it names (AF_INET or
// AF_INET6; 0 when it names none), and whether the far end takes audio from us: not when
// it holds the call (sendonly or inactive, or the address 0.0.0.0) or refuses the stream.
struct OfferedMedia {
    int family = 0;
    bool listens = true;
};
OfferedMedia offeredMedia(const QByteArray& sdp);

class SdpNegotiation {
public:
    SdpNegotiation() = default;
    ~SdpNegotiation();
    SdpNegotiation(const SdpNegotiation&) = delete;
    SdpNegotiation& operator=(const SdpNegotiation&) = delete;

    // Our side: audio at `local` (address and RTP port). With an offer to answer, only the
    // law chosen for it; without, both laws, mu-law first. Encrypted as `encryption` says:
    // with an offer, as it and the line agree (or refused); without, SRTP is offered (on
    // the secure profile alone when it is mandatory).
    Status prepare(const struct sa& local, const QByteArray& offer,
                   MediaEncryption encryption = MediaEncryption::None);
    // A new offer in the call (a re-INVITE), into the same session.
    Status takeOffer(const QByteArray& offer);
    // The far end's answer to our offer (an INVITE that came without one).
    Status takeAnswer(const QByteArray& answer);
    // Our SDP: the answer to the offer, or our offer.
    Result<QByteArray> encode(bool offer) const;

    Codec codec() const { return m_codec; }
    // The payload type the far end sends keys as (telephone-event), or -1.
    int eventPayload() const;
    // SRTP keys: ours and the far end's, both set when the call is encrypted.
    bool encrypted() const { return m_ours.isSet() && m_theirs.isSet(); }
    const SdesCrypto& ours() const { return m_ours; }
    const SdesCrypto& theirs() const { return m_theirs; }
    // Where the far end wants its RTP; unset until an offer or answer has come.
    bool remote(struct sa* address) const;
    // Where it wants its RTCP (its RTP port + 1, or what a=rtcp says).
    void remoteRtcp(struct sa* address) const;

private:
    Status chooseFromRemote();
    // The far end's crypto from its new offer or answer; a call encrypted stays so.
    Status takeCrypto(const QByteArray& sdp, bool answer);

    sdp_session* m_session = nullptr;
    sdp_media* m_media = nullptr;
    Codec m_codec = Codec::None;
    MediaEncryption m_encryption = MediaEncryption::None;
    SdesCrypto m_ours, m_theirs;
};

} // namespace orvane::sip
