#include "platform/telephony/sip/SipCall.h"

#include "platform/telephony/sip/MediaLoop.h"
#include "platform/telephony/sip/SipRequest.h"

#include "platform/SteadyClock.h"
#include "platform/audio/WaveDevice.h"
#include "platform/telephony/CallerText.h"
#include "platform/telephony/sip/SipStack.h"
#include "platform/telephony/sip/SipWaveDevice.h"
#include "platform/telephony/sip/UdptlSocket.h"

#include <QLoggingCategory>

#include <vector>

Q_DECLARE_LOGGING_CATEGORY(sipLog)

namespace orvane::sip {

namespace {

constexpr int kRtpSocketBuffer = 256 * 1024;
// A call we place that nobody answers is given up after this long.
constexpr int kDialTimeoutMs = 60 * 1000;
// A recording this close to full lets the next caller ring meanwhile: the line answers it
// in time. More, and the next caller is told the line is busy at once.
constexpr qint64 kFreeSoonBytes = 5 * 8000;

// Runs `work` on the SIP loop: at once when called there, else queued.
void onSipLoop(std::function<void()> work)
{
    SipStack& stack = SipStack::instance();
    if (stack.onLoopThread())
        work();
    else
        stack.run(std::move(work));
}

// The cause of a call that ended before it connected, from the final response.
int causeOf(int err, const struct sip_msg* msg)
{
    if (!msg)
        return err == ETIMEDOUT ? tapi::CEC_DISCONNECT_NOANSWER : tapi::CEC_DISCONNECT_FAILED;
    switch (msg->scode) {
    case 486:
    case 600:
        return tapi::CEC_DISCONNECT_BUSY;
    case 404:
    case 484:
    case 604:
        return tapi::CEC_DISCONNECT_BADADDRESS;
    case 408:
    case 480:
        return tapi::CEC_DISCONNECT_NOANSWER;
    case 603:
        return tapi::CEC_DISCONNECT_BLOCKED;
    case 487:
        return tapi::CEC_DISCONNECT_CANCELLED;
    default:
        return msg->scode < 300 ? tapi::CEC_DISCONNECT_NORMAL : tapi::CEC_DISCONNECT_FAILED;
    }
}

mbuf* toMbuf(const QByteArray& bytes)
{
    mbuf* mb = mbuf_alloc(size_t(bytes.size()) + 1);
    if (mb) {
        mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(bytes.constData()),
                       size_t(bytes.size()));
        mb->pos = 0;
    }
    return mb;
}

} // namespace

SipCall::SipCall(SipLine& line, quint64 id, QString callerNumber, QString callerName)
    : m_line(line)
    , m_id(id)
    , m_lineName(line.config.name)
    , m_callerNumber(std::move(callerNumber))
    , m_callerName(std::move(callerName))
{
    tmr_init(&m_ringTimer);
    tmr_init(&m_t38Timer);
    sa_init(&m_rtcpPeer, AF_UNSPEC);
}

SipCall::~SipCall()
{
    // Everything of libre's was let go on the loop before the last reference went.
    Q_ASSERT(!m_session && !m_rtp);
}

Status SipCall::openRtp(const QByteArray& offer)
{
    // With RTCP on the next port: reports both ways (RFC 3550).
    if (rtp_listen(&m_rtp, IPPROTO_UDP, &m_line.localAddress, kMediaPortMin, kMediaPortMax, true,
                   onRtp, onRtcp, this) != 0)
        return Status(err::Fail, QStringLiteral("No RTP port is free"));
    // Room for a second of the far end's audio, should the SIP loop fall behind for a moment.
    udp_sockbuf_set(static_cast<struct udp_sock*>(rtp_sock(m_rtp)), kRtpSocketBuffer);
    // The SDP names our public address when we are behind NAT (the RTP port is the one we
    // hold: a NAT that keeps ports lets it through, and a far end that answers where our
    // packets come from needs no more).
    struct sa local = m_line.publicAddress();
    sa_set_port(&local, sa_port(rtp_local(m_rtp)));
    // The SDP library serves the audio only: an offer of T.38 alone is answered apart.
    const QByteArray audio = hasActiveAudio(offer) ? withoutT38(offer) : QByteArray();
    if (Status s = m_sdp.prepare(local, audio, m_line.config.mediaEncryption); !s)
        return s;
    return startEncryption();
}

Status SipCall::startEncryption()
{
    if (!m_sdp.encrypted())
        return {};
    if (m_srtp)
        return m_srtp->setTheirs(m_sdp.theirs());
    Result<std::unique_ptr<SrtpSession>> session =
        SrtpSession::start(m_rtp, m_sdp.ours(), m_sdp.theirs());
    if (!session)
        return session.status();
    m_srtp = std::move(session.value());
    m_encrypted = true;
    return {};
}

Status SipCall::accept(struct sipsess_sock* sock, const struct sip_msg* invite,
                       const QByteArray& offer)
{
    m_offer = offer;
    if (Status s = openRtp(offer); !s)
        return s;
    const QByteArray user = m_line.contactUser();
    if (sipsess_accept(&m_session, sock, invite, 180, "Ringing", user.constData(),
                       "application/sdp", nullptr, nullptr, nullptr, false, onOffer, onAnswer,
                       onEstablished, onInfo, nullptr, onClosed, this, nullptr) != 0)
        return Status(err::Fail, QStringLiteral("Cannot take the call"));
    if (!offer.isEmpty())
        m_farEndListens = offeredMedia(offer).listens;
    m_contactAtSource = contactAtSource(invite);
    retargetToSource();
    raise(tapi::TE_CALLNOTIFICATION, -1);
    raise(tapi::TE_CALLSTATE, tapi::CS_OFFERING);
    ring();
    return {};
}

Status SipCall::connect(const QString& toUri, const void* owner)
{
    m_outgoing = true;
    m_owner = owner;
    m_state = tapi::CS_INPROGRESS;
    if (Status s = openRtp(QByteArray()); !s)
        return s;
    Result<QByteArray> offer = m_sdp.encode(true);
    if (!offer)
        return offer.status();
    // A line that prefers T.38 offers it beside the audio; the far end takes one of them.
    if (m_line.config.faxTransport == LineConfig::FaxTransport::T38 && openUdptl())
        offer = withSection(offer.value(), t38Section(m_udptl->port(), T38Params()));
    offer = stamped(offer.value());

    const LineConfig& c = m_line.config;
    const QByteArray to = c.routeUri(toUri).toUtf8(), name = c.name.toUtf8(), from = c.uri.toUtf8(),
                     user = m_line.contactUser();
    // Through the line's outbound proxy and Service-Route, or its registrar, as its
    // provider expects.
    const QByteArrayList route = m_line.routes();
    std::vector<const char*> routes;
    for (const QByteArray& hop : route)
        routes.push_back(hop.constData());
    mbuf* mb = toMbuf(offer.value());
    const int rc =
        mb ? sipsess_connect(&m_session, m_line.port->sessions, to.constData(), name.constData(),
                             from.constData(), user.constData(), routes.data(),
                             uint32_t(routes.size()), "application/sdp", mb, lineCredentials,
                             &m_line, false, onOffer, onAnswer, onProgress, onEstablished, nullptr,
                             nullptr, onClosed, this, nullptr)
           : ENOMEM;
    mem_deref(mb);
    if (rc != 0)
        return Status(
            err::Fail,
            QStringLiteral("Cannot call %1: %2").arg(toUri, QString::fromLocal8Bit(strerror(rc))));
    raise(tapi::TE_CALLSTATE, tapi::CS_INPROGRESS);
    tmr_start(&m_ringTimer, kDialTimeoutMs, onDialTimeout, this);
    return {};
}

void SipCall::connectFailed(int cause, const void* owner)
{
    m_outgoing = true;
    m_owner = owner;
    m_state = tapi::CS_INPROGRESS;
    raise(tapi::TE_CALLSTATE, tapi::CS_INPROGRESS);
    ended(cause);
}

void SipCall::onProgress(const struct sip_msg*, void*)
{
    // 180 or 183: the far end rings; nothing to tell until it answers or gives up.
}

void SipCall::onDialTimeout(void* arg)
{
    auto* call = static_cast<SipCall*>(arg);
    if (call->state() != tapi::CS_INPROGRESS)
        return;
    // Letting go of a session that has not connected sends CANCEL.
    call->m_session = static_cast<struct sipsess*>(mem_deref(call->m_session));
    call->ended(tapi::CEC_DISCONNECT_NOANSWER);
}

void SipCall::raise(int kind, int detail, int cause)
{
    TapiEvent event;
    event.kind = kind;
    if (kind == tapi::TE_ADDRESS)
        event.addressEvent = detail;
    if (kind == tapi::TE_CALLSTATE)
        event.callState = detail;
    event.cause = cause;
    event.call = shared_from_this();
    EventHub& events = SipStack::instance().events();
    events.raise(m_lineName, event, m_outgoing ? m_owner : nullptr);
    events.flush(m_lineName);
}

void SipCall::ring()
{
    raise(tapi::TE_ADDRESS, tapi::AE_RINGING);
    tmr_start(&m_ringTimer, uint64_t(m_line.config.ringIntervalMs), onRing, this);
}

void SipCall::onRing(void* arg)
{
    auto* call = static_cast<SipCall*>(arg);
    if (call->state() == tapi::CS_OFFERING && !call->m_answered)
        call->ring();
}

Status SipCall::answer()
{
    std::shared_ptr<SipCall> self = shared_from_this();
    return SipStack::instance().call<Status>([self] { return self->answerHere(); });
}

Status SipCall::answerHere()
{
    if (state() != tapi::CS_OFFERING || m_answered || !m_session)
        return Status(err::InvalidState, QStringLiteral("The call is not being offered"));
    const bool hadOffer = !m_offer.isEmpty();
    Result<QByteArray> sdp =
        hadOffer && takesT38(m_offer, false) ? answerWithT38(m_offer) : m_sdp.encode(!hadOffer);
    if (!sdp)
        return sdp.status();
    if (!m_onT38)
        sdp = stamped(hadOffer ? alignedAnswer(sdp.value(), m_offer) : sdp.value());
    mbuf* mb = toMbuf(sdp.value());
    const int rc = mb ? sipsess_answer(m_session, 200, "OK", mb, nullptr) : ENOMEM;
    mem_deref(mb);
    if (rc != 0)
        return Status(err::Fail, QStringLiteral("Cannot answer the call (%1)").arg(rc));
    m_answered = true;
    tmr_cancel(&m_ringTimer);

    struct sa remote;
    sa_init(&remote, AF_INET);
    m_sdp.remote(&remote);
    startMedia(remote, m_sdp.codec() != Codec::None ? m_sdp.codec() : Codec::Pcmu);
    return {};
}

void SipCall::retargetToSource()
{
    if (m_session && !m_contactAtSource.isEmpty())
        retargetDialog(sipsess_dialog(m_session), m_contactAtSource);
}

void SipCall::followRemote(const QByteArray& sdp)
{
    if (Status s = startEncryption(); !s)
        qCWarning(sipLog).noquote() << m_lineName << ":" << s.toString();
    m_farEndListens = offeredMedia(sdp).listens;
    struct sa remote;
    if (m_device && m_sdp.remote(&remote))
        m_device->setRemote(remote, m_sdp.codec());
    // On hold the far end takes nothing from us: we send nothing until it takes the call
    // back.
    if (m_device) {
        m_device->setSending(m_farEndListens);
        m_device->setEventPayload(m_sdp.eventPayload());
    }
}

QString SipCall::keysPressed() const
{
    QMutexLocker lock(&m_keysMutex);
    return m_keys;
}

void SipCall::onInfo(struct sip* sip, const struct sip_msg* msg, void* arg)
{
    // A key sent as SIP INFO; other INFO bodies are none of ours.
    auto* call = static_cast<SipCall*>(arg);
    const QByteArray type =
        msg->ctyp.type.p ? QByteArray(msg->ctyp.type.p, qsizetype(msg->ctyp.type.l)) + '/' +
                               QByteArray(msg->ctyp.subtype.p, qsizetype(msg->ctyp.subtype.l))
                         : QByteArray();
    const char key = keyOfInfo(type, messageBody(msg));
    if (!key) {
        sip_reply(sip, msg, 415, "Unsupported Media Type");
        return;
    }
    if (call->m_device)
        call->m_device->keyPressed(key);
    sip_reply(sip, msg, 200, "OK");
}

void SipCall::startMedia(const struct sa& remote, Codec codec)
{
    m_device = std::make_shared<SipWaveDevice>(m_rtp, remote, codec, steadyNowNs());
    m_device->setSending(m_farEndListens);
    m_device->setEventPayload(m_sdp.eventPayload());
    // The call outlives what its device hears: the stack keeps it while the device is in
    // use, and the device hears no key once the call has ended.
    m_device->setKeys(m_line.config.dtmfSkipKey, [this](char key) {
        QMutexLocker lock(&m_keysMutex);
        if (m_keys.size() < kMaxKeys)
            m_keys.append(QLatin1Char(key));
    });
    // The device asks and sends from the thread that moves it; both are the SIP loop's.
    const LineConfig::FaxTransport fax = m_line.config.faxTransport;
    const std::weak_ptr<SipCall> weak = weak_from_this();
    m_device->setT38(
        fax != LineConfig::FaxTransport::Audio,
        [weak] {
            onSipLoop([weak] {
                if (const std::shared_ptr<SipCall> call = weak.lock())
                    call->askForT38();
            });
        },
        [weak](const QByteArray& ifp) {
            onSipLoop([weak, ifp] {
                if (const std::shared_ptr<SipCall> call = weak.lock(); call && call->m_udptl)
                    call->m_udptl->send(ifp);
            });
        });
    if (m_onT38)
        m_device->changeTransport(FaxPacketLine::Transport::T38);
    m_deviceId = WaveDeviceRegistry::add(m_device);
    // Reports go where the SDP says the far end takes them (its RTP port + 1, or a=rtcp).
    struct sa reportsTo;
    m_sdp.remoteRtcp(&reportsTo);
    sendReportsTo(reportsTo);
    // The stack's one media clock moves it from now on.
    SipStack::instance().keepMedia(shared_from_this());
}

int SipCall::onAnswer(const struct sip_msg* msg, void* arg)
{
    // The far end's answer to the offer we made in our 200 OK (to an INVITE or re-INVITE
    // that came without one).
    auto* call = static_cast<SipCall*>(arg);
    const QByteArray answer = messageBody(msg);
    if (call->answeredWithT38(answer))
        return 0;
    if (!call->m_onT38)
        call->releaseUdptl(); // a T.38 stream we offered beside the audio was not taken
    const QByteArray audio = withoutT38(answer);
    if (!call->m_sdp.takeAnswer(audio))
        return EPROTO;
    call->followRemote(audio);
    return 0;
}

int SipCall::onOffer(struct mbuf** descp, const struct sip_msg* msg, void* arg)
{
    // A re-INVITE: with a new offer (audio, or the far end switching to T.38), or without
    // one (a session refresh: we offer what we have, and its ACK brings the answer).
    auto* call = static_cast<SipCall*>(arg);
    Result<QByteArray> answer = call->answerReoffer(messageBody(msg));
    if (!answer)
        return EPROTO;
    call->retargetToSource(); // the re-INVITE's Contact replaced the caller's target
    *descp = toMbuf(answer.value());
    return *descp ? 0 : ENOMEM;
}

bool SipCall::inDialog(const struct sip_msg* msg) const
{
    return m_session && sip_dialog_cmp(sipsess_dialog(m_session), msg);
}

void SipCall::takeUpdate(struct sip* sip, const struct sip_msg* msg)
{
    const QByteArray user = m_line.config.user.toUtf8();
    const QByteArray offer = messageBody(msg);
    QByteArray answer;
    if (!offer.isEmpty()) {
        Result<QByteArray> ours = answerReoffer(offer);
        if (!ours) {
            sip_treply(nullptr, sip, msg, 488, "Not Acceptable Here");
            return;
        }
        answer = ours.value();
    }
    sip_treplyf(nullptr, nullptr, sip, msg, false, 200, "OK",
                "Contact: <sip:%s@%J%s>\r\n%sContent-Length: %u\r\n\r\n%b", user.constData(),
                &msg->dst, sip_transp_param(msg->tp),
                answer.isEmpty() ? "" : "Content-Type: application/sdp\r\n",
                unsigned(answer.size()), answer.constData(), size_t(answer.size()));
}

void SipCall::onEstablished(const struct sip_msg*, void* arg)
{
    auto* call = static_cast<SipCall*>(arg);
    if (call->m_outgoing && call->state() == tapi::CS_INPROGRESS) {
        // The far end answered our offer in its 200 OK (onAnswer took it).
        tmr_cancel(&call->m_ringTimer);
        struct sa remote;
        sa_init(&remote, AF_INET);
        if (!call->m_sdp.remote(&remote) && !call->m_onT38) {
            call->m_session = static_cast<struct sipsess*>(mem_deref(call->m_session));
            call->ended(tapi::CEC_DISCONNECT_FAILED);
            return;
        }
        call->m_answered = true;
        call->startMedia(remote, call->m_sdp.codec());
    } else if (call->state() != tapi::CS_OFFERING) {
        return;
    }
    call->m_state = tapi::CS_CONNECTED;
    call->raise(tapi::TE_CALLSTATE, tapi::CS_CONNECTED);
}

void SipCall::onClosed(int err, const struct sip_msg* msg, void* arg)
{
    // BYE, CANCEL, a dialog that failed, or the final response to a call we placed.
    auto* call = static_cast<SipCall*>(arg);
    const bool connected = call->state() == tapi::CS_CONNECTED;
    call->m_session = static_cast<struct sipsess*>(mem_deref(call->m_session));
    call->ended(connected || !call->m_outgoing ? tapi::CEC_DISCONNECT_NORMAL : causeOf(err, msg));
}

Status SipCall::disconnect(int code)
{
    Q_UNUSED(code);
    std::shared_ptr<SipCall> self = shared_from_this();
    return SipStack::instance().call<Status>([self] { return self->disconnectHere(); });
}

Status SipCall::disconnectHere()
{
    if (state() == tapi::CS_DISCONNECTED)
        return Status(err::InvalidState, QStringLiteral("The call has already ended"));
    refuseIfRinging();
    // An answered call's session sends BYE as it goes, one we placed and that still rings
    // CANCEL.
    retargetToSource();
    m_session = static_cast<struct sipsess*>(mem_deref(m_session));
    ended(m_outgoing && !m_answered ? tapi::CEC_DISCONNECT_CANCELLED : tapi::CEC_DISCONNECT_NORMAL);
    return {};
}

void SipCall::ended(int cause)
{
    if (state() == tapi::CS_DISCONNECTED)
        return;
    std::shared_ptr<SipCall> self = shared_from_this();
    m_state = tapi::CS_DISCONNECTED;
    tmr_cancel(&m_ringTimer);
    tmr_cancel(&m_t38Timer);
    m_t38Request = static_cast<struct sip_request*>(mem_deref(m_t38Request));
    if (m_device) {
        // The recording may go on; the far end is gone: its sockets, reports and ports go
        // now.
        m_device->endCall(m_line.config.stopOnHangup);
        releaseRtp();
    }
    releaseUdptl();
    raise(tapi::TE_CALLSTATE, tapi::CS_DISCONNECTED, cause);
    if (m_line.current.get() == this) {
        m_line.current.reset();
        m_line.previous = self;
    }
    if (!m_device)
        stopMedia(); // never answered: its RTP socket goes now
}

bool SipCall::mediaTick(qint64 nowNs)
{
    if (!stepMedia(nowNs))
        return false;
    stopMedia();
    return true;
}

bool SipCall::stepMedia(qint64 nowNs)
{
    if (m_device)
        m_device->tick(nowNs);
    return mediaDone();
}

bool SipCall::mayMoveMedia() const
{
    return m_line.config.mediaEncryption == MediaEncryption::None && !m_srtp;
}

void SipCall::handMediaTo(MediaLoop* loop, std::function<void(std::shared_ptr<SipCall>)> over)
{
    // Packets that come meanwhile wait in the socket.
    auto* socket = m_rtp ? static_cast<struct udp_sock*>(rtp_sock(m_rtp)) : nullptr;
    if (socket)
        udp_thread_detach(socket);
    m_mediaLoop = loop;
    loop->run([loop, self = shared_from_this(), socket, over = std::move(over)] {
        loop->take(self, socket, over);
    });
}

bool SipCall::mediaDone() const
{
    // The device keeps its pace after the call while a recording still fills it.
    return state() == tapi::CS_DISCONNECTED && (!m_device || m_device.use_count() == 1);
}

bool SipCall::lineFreeSoon() const
{
    if (mediaDone() || !m_device)
        return true;
    const qint64 left = m_device->recordingLeftBytes();
    return left >= 0 && left <= kFreeSoonBytes;
}

void SipCall::stopMedia()
{
    tmr_cancel(&m_t38Timer);
    m_t38Request = static_cast<struct sip_request*>(mem_deref(m_t38Request));
    m_t38Auth = static_cast<struct sip_auth*>(mem_deref(m_t38Auth));
    releaseUdptl();
    if (m_device) {
        WaveDeviceRegistry::remove(m_deviceId);
        m_device->close();
        QString media = QStringLiteral("media of call %1 on %2: %3 packets sent, %4 received, "
                                       "%5 late but played, %6 late, %7 samples missing, "
                                       "%8 dropped")
                            .arg(m_id)
                            .arg(m_lineName)
                            .arg(m_device->packetsSent())
                            .arg(m_device->packetsReceived())
                            .arg(m_device->packetsRecovered())
                            .arg(m_device->packetsLate())
                            .arg(m_device->samplesMissing())
                            .arg(m_device->packetsDropped());
        media += QStringLiteral(", %1 RTCP reports received").arg(m_rtcpReceived);
        releaseRtp();
        if (m_encrypted)
            media += QStringLiteral(", SRTP, %1 failed authentication").arg(m_srtpRejected);
        qCDebug(sipLog).noquote() << media;
        m_device.reset();
    }
    releaseRtp();
    m_session = static_cast<struct sipsess*>(mem_deref(m_session));
}

void SipCall::refuseIfRinging()
{
    if (!m_session || m_answered || m_outgoing)
        return;
    // A call still ringing as the server ends goes back to the caller's proxy as 503, which
    // takes it to another server; otherwise the line declined it. (Let go unanswered, libre
    // would answer 486, and the caller would hear busy.)
    SipStack& stack = SipStack::instance();
    if (stack.stopping())
        sipsess_reject(m_session, 503, "Service Unavailable", "Retry-After: %d\r\n",
                       stack.limits().retryAfterSeconds);
    else
        sipsess_reject(m_session, 480, "Temporarily Unavailable", nullptr);
}

void SipCall::releaseRtp()
{
    // Read by a media loop: it lets go first, so that nothing reads the socket as it goes.
    if (m_rtp && m_mediaLoop) {
        auto* socket = static_cast<struct udp_sock*>(rtp_sock(m_rtp));
        MediaLoop* loop = m_mediaLoop;
        loop->call([loop, socket] { loop->letGo(socket); });
    }
    if (m_srtp) {
        m_srtpRejected = m_srtp->rejected();
        m_srtp.reset(); // before the socket it sits on
    }
    m_rtp = static_cast<struct rtp_sock*>(mem_deref(m_rtp));
}

QByteArray SipCall::stamped(const QByteArray& sdp)
{
    m_sdpVersion = qMax(m_sdpVersion + 1, originVersion(sdp));
    m_lastSdp = withOriginVersion(sdp, m_sdpVersion);
    return m_lastSdp;
}

void SipCall::onRtcp(const struct sa* src, struct rtcp_msg*, void* arg)
{
    auto* call = static_cast<SipCall*>(arg);
    ++call->m_rtcpReceived;
    // A far end behind NAT sends its reports from another port than its SDP says: they
    // go back where they come from, as its RTP does.
    if (src && call->m_rtp && !sa_cmp(src, &call->m_rtcpPeer, SA_ALL) &&
        !(call->m_device && call->m_device->sourceIsTheSdps())) {
        call->sendReportsTo(*src);
    }
}

void SipCall::sendReportsTo(const struct sa& peer)
{
    // Our reports name us by the line's address (its uri without the scheme).
    m_rtcpPeer = peer;
    const QString& uri = m_line.config.uri;
    const QByteArray cname = uri.mid(uri.indexOf(u':') + 1).toUtf8();
    rtcp_start(m_rtp, cname.constData(), &m_rtcpPeer);
}

void SipCall::onRtp(const struct sa* src, const struct rtp_header* hdr, struct mbuf* mb, void* arg)
{
    auto* call = static_cast<SipCall*>(arg);
    if (call->m_device && src && hdr && mb)
        call->m_device->deliver(*src, *hdr, mbuf_buf(mb), qsizetype(mbuf_get_left(mb)));
}

} // namespace orvane::sip
