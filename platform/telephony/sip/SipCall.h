#pragma once

// One SIP call on a configured line, as the machine sees it: offered when its INVITE came
// (answered with 180 Ringing, ringing at the line's interval), answered with 200 OK and our
// SDP, connected at the ACK, ended by BYE or CANCEL from the caller or by our BYE (or a
// final error response before the answer). A call the line places itself is in progress
// from its INVITE, connected at the far end's 200 OK, and ends with the cause its final
// response gives.
//
// Thread: the TelephonyCall functions from any thread (they run on the SIP loop); the rest
// on the SIP loop's thread.

#include "platform/telephony/Telephony.h"
#include "platform/telephony/sip/SipLinesConfig.h"
#include "platform/telephony/sip/SipRegistration.h"
#include "platform/telephony/sip/SipSdp.h"
#include "platform/telephony/sip/SrtpMedia.h"
#include "platform/telephony/sip/StunProbe.h"
#include "platform/telephony/sip/T38Sdp.h"

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

#include <QMutex>

#include <atomic>
#include <functional>
#include <memory>

namespace orvane::sip {

class SipWaveDevice;
class SipCall;
class MediaLoop;
class UdptlSocket;

struct SipLine;

// One local SIP socket and the lines that answer on it, told apart by the user of the
// request URI.
struct SipPort {
    struct sa localAddress;
    struct sip* sip = nullptr;
    struct tls* tls = nullptr; // for its TLS lines
    struct sipsess_sock* sessions = nullptr;
    struct sip_lsnr* checks = nullptr; // every request first: the malformed go no further
    struct sip_lsnr* others = nullptr; // requests that are not INVITEs
    QList<SipLine*> lines;
};

// A configured line on the loop: its socket, its registration, its current call.
struct SipLine {
    LineConfig config;
    SipPort* port = nullptr;
    struct sa localAddress;
    std::unique_ptr<SipRegistration> registration;
    std::unique_ptr<StunProbe> stun;
    struct sa stunAddress {}; // the NAT's address, when a STUN server told it (zero: unset)

    // Our address as the far end should name it (in SDP and Contact): the configured
    // public address, the one the registrar saw, or the local one.
    struct sa publicAddress() const;
    // Whether an INVITE from `source` may ring the line: from anywhere for a line without
    // a registrar; else from its registrar or proxy, or what allow_from names.
    bool admits(const struct sa& source) const;
    // The route of requests the line sends outside a call: its outbound proxy and the
    // registrar's Service-Route, or its registrar.
    QByteArrayList routes() const;
    // The user part or whole URI libre puts in our Contact.
    QByteArray contactUser() const;
    std::shared_ptr<SipCall> current;
    // The call before, whose recording may still fill after its caller hung up.
    std::weak_ptr<SipCall> previous;
};

class SipCall : public TelephonyCall, public std::enable_shared_from_this<SipCall> {
public:
    SipCall(SipLine& line, quint64 id, QString callerNumber, QString callerName = QString());
    ~SipCall() override;

    quint64 id() const override { return m_id; }
    QString addressName() const override { return m_lineName; }
    QString callerNumber() const override { return m_callerNumber; }
    QString callerName() const override { return m_callerName; }
    QString keysPressed() const override;
    int privilege() const override { return tapi::CP_OWNER; }
    int state() const override { return m_state.load(); }
    Status answer() override;
    Status disconnect(int code) override;
    // A call that came in and rings still: not answered, not even with a 200 OK that awaits
    // its ACK (the state says offering until then). On the SIP thread.
    bool ringingHere() const { return !m_outgoing && !m_answered && state() == tapi::CS_OFFERING; }

    // The call's audio device, once answered.
    qint32 waveDeviceId() const { return m_deviceId.load(); }

    // --- the loop's thread -----------------------------------------------------------
    // Takes an INVITE: prepares the audio and answers 180 Ringing.
    Status accept(struct sipsess_sock* sock, const struct sip_msg* invite, const QByteArray& offer);
    // Places the call: an INVITE to `toUri` with our offer (both G.711 laws, no T.38). Its
    // events go only to `owner`'s registrations on the line.
    Status connect(const QString& toUri, const void* owner);
    // A call to a number that cannot be dialled: in progress, then ended with `cause`.
    void connectFailed(int cause, const void* owner);
    // The audio ran down after the call ended and nobody uses its device: let it go.
    bool mediaDone() const;
    // Whether the line this call held is free, or will be within moments (its recording
    // is nearly full).
    bool lineFreeSoon() const;
    // Whether `msg` is a request within this call's dialog.
    bool inDialog(const struct sip_msg* msg) const;
    // An UPDATE within the call: a session refresh is answered 200, a new offer with our
    // answer.
    void takeUpdate(struct sip* sip, const struct sip_msg* msg);
    // The media clock's step: moves what is due at `nowNs`; true when the call's audio is
    // over (and let go).
    bool mediaTick(qint64 nowNs);
    void stopMedia();
    // Whether a media loop may move the call's audio: not on a line that encrypts it (SRTP
    // keeps its state with the SIP loop).
    bool mayMoveMedia() const;
    // The call's audio is moved by `loop` from now on: its RTP socket is read there, and its
    // device stepped, until `over` hands it back (on `loop`'s thread).
    void handMediaTo(MediaLoop* loop, std::function<void(std::shared_ptr<SipCall>)> over);
    // The media loop has stopped (the server ends): the call's audio is the SIP loop's again.
    void mediaLoopGone() { m_mediaLoop = nullptr; }

    // --- the thread that moves its audio (the SIP loop's or a media loop's) -------------
    // Moves what is due at `nowNs`; true once the call's audio is over.
    bool stepMedia(qint64 nowNs);

private:
    // An RTP socket on the line's address, and our side of the SDP (answering `offer`, or
    // making one when it is empty).
    Status openRtp(const QByteArray& offer);
    Status answerHere();
    Status disconnectHere();
    // An incoming call not yet answered is refused: 503 while the server ends, else 480.
    void refuseIfRinging();
    void ended(int cause);
    void raise(int kind, int detail, int cause = tapi::CEC_NONE);
    void startMedia(const struct sa& remote, Codec codec);
    // The remote side's new SDP is in m_sdp: follow its address, law and hold.
    void followRemote(const QByteArray& sdp);
    // A caller behind NAT: its requests' source stands for its Contact in our requests.
    void retargetToSource();
    // SRTP on the call's RTP socket once both keys are known; the far end's new key.
    Status startEncryption();
    void ring();

    static void onRing(void* arg);
    static void onDialTimeout(void* arg);
    static void onProgress(const struct sip_msg* msg, void* arg);
    static int onOffer(struct mbuf** descp, const struct sip_msg* msg, void* arg);
    static int onAnswer(const struct sip_msg* msg, void* arg);
    static void onEstablished(const struct sip_msg* msg, void* arg);
    static void onClosed(int err, const struct sip_msg* msg, void* arg);
    static void onInfo(struct sip* sip, const struct sip_msg* msg, void* arg);
    static void onRtp(const struct sa* src, const struct rtp_header* hdr, struct mbuf* mb,
                      void* arg);
    static void onRtcp(const struct sa* src, struct rtcp_msg* msg, void* arg);
    // RTCP reports (re)start, to `peer`.
    void sendReportsTo(const struct sa& peer);
    // The RTP socket (and its RTCP and SRTP) goes: at the end of the call, or of its media.
    void releaseRtp();
    // Our description, its origin version the next of the call's; kept as the last sent.
    QByteArray stamped(const QByteArray& sdp);

    // --- T.38 (SipCallT38.cpp) ---------------------------------------------------------
    // Whether an offer is answered with its T.38 stream: never on a line that carries
    // faxes as audio; a re-offer always (the far end switches); the first offer when it
    // has no audio, or the line prefers T.38.
    bool takesT38(const QByteArray& offer, bool reoffer) const;
    // Our answer to an offer whose T.38 stream we take; the call carries T.38 from now on.
    Result<QByteArray> answerWithT38(const QByteArray& offer);
    // Our answer to a new offer within the call (re-INVITE or UPDATE), T.38 or audio.
    Result<QByteArray> answerReoffer(const QByteArray& offer);
    // The far end's answer to our offer, when it takes T.38 (and no audio); else false.
    bool answeredWithT38(const QByteArray& answer);
    Status openUdptl();
    void releaseUdptl();
    // The call's media now: T.38 (`t38`) or audio; its device is told.
    void carryT38(bool t38);
    // A fax session wants T.38: a re-INVITE of our own (libre's would end the call when
    // the far end does not answer it), given up after a while.
    void askForT38();
    void sendT38Invite();
    static int onT38Send(enum sip_transp tp, const struct sa* src, const struct sa* dst,
                         struct mbuf* mb, void* arg);
    static void onT38Response(int err, const struct sip_msg* msg, void* arg);
    static void onT38Timeout(void* arg);

    SipLine& m_line;
    const quint64 m_id;
    const QString m_lineName;
    const QString m_callerNumber;
    const QString m_callerName;
    std::atomic<int> m_state{tapi::CS_OFFERING};
    std::atomic<qint32> m_deviceId{0};

    struct sipsess* m_session = nullptr;
    struct rtp_sock* m_rtp = nullptr;
    MediaLoop* m_mediaLoop = nullptr; // the loop that reads m_rtp, when not the SIP loop
    SdpNegotiation m_sdp;
    bool m_answered = false;
    bool m_outgoing = false;
    bool m_farEndListens = true;
    QByteArray m_contactAtSource; // where the caller's requests came from, when it matters
    const void* m_owner = nullptr;
    struct tmr m_ringTimer;
    std::shared_ptr<SipWaveDevice> m_device;
    std::unique_ptr<SrtpSession> m_srtp;
    bool m_encrypted = false;
    qint64 m_srtpRejected = 0;
    struct sa m_rtcpPeer;
    qint64 m_rtcpReceived = 0;
    mutable QMutex m_keysMutex;
    QString m_keys; // under m_keysMutex: pressed on the loop, read by the line

    QByteArray m_offer;   // the INVITE's
    QByteArray m_lastSdp; // ours, as last sent
    quint64 m_sdpVersion = 0;
    std::unique_ptr<UdptlSocket> m_udptl;
    bool m_onT38 = false;
    T38Params m_t38Params;
    QByteArray m_t38Offer; // our re-INVITE's, while it is out
    struct sip_request* m_t38Request = nullptr;
    struct sip_auth* m_t38Auth = nullptr;
    int m_t38Challenges = 0;
    struct tmr m_t38Timer;
};

} // namespace orvane::sip
