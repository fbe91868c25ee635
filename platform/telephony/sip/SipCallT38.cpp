// A SIP call carrying its fax as T.38: answering the far end's switch (or its first offer),
// asking for the switch ourselves, and the call's UDPTL stream.

#include "platform/telephony/sip/SipCall.h"
#include "platform/telephony/sip/SipRequest.h"
#include "platform/telephony/sip/SipStack.h"
#include "platform/telephony/sip/SipWaveDevice.h"
#include "platform/telephony/sip/UdptlSocket.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(sipLog)

namespace orvane::sip {

namespace {
// How long the far end has to answer our switch before the fax goes on as audio (a switch
// takes a round trip or two; a fax machine's first timers run 35 s).
constexpr int kT38AnswerMs = 6000;
using LineFax = LineConfig::FaxTransport;
} // namespace

bool SipCall::takesT38(const QByteArray& offer, bool reoffer) const
{
    const LineFax transport = m_line.config.faxTransport;
    if (transport == LineFax::Audio || !t38StreamOf(offer).offered ||
        m_line.config.mediaEncryption == MediaEncryption::SrtpMandatory)
        return false;
    return reoffer || m_onT38 || !hasActiveAudio(offer) || transport == LineFax::T38;
}

Status SipCall::openUdptl()
{
    if (m_udptl)
        return {};
    Result<std::unique_ptr<UdptlSocket>> socket =
        UdptlSocket::open(m_line.localAddress, [this](quint16 sequence, const QByteArray& ifp) {
            if (m_device)
                m_device->deliverIfp(sequence, ifp);
        });
    if (!socket)
        return socket.status();
    m_udptl = std::move(socket.value());
    return {};
}

void SipCall::releaseUdptl()
{
    if (m_udptl)
        qCDebug(sipLog).noquote() << QStringLiteral("T.38 of call %1 on %2: %3 datagrams sent, %4 "
                                                    "received, %5 IFPs recovered, %6 lost")
                                         .arg(m_id)
                                         .arg(m_lineName)
                                         .arg(m_udptl->sent())
                                         .arg(m_udptl->datagramsReceived())
                                         .arg(m_udptl->decoder().recovered())
                                         .arg(m_udptl->decoder().lost());
    m_udptl.reset();
}

void SipCall::carryT38(bool t38)
{
    const bool changed = m_onT38 != t38;
    m_onT38 = t38;
    if (!t38)
        releaseUdptl();
    if (changed)
        qCDebug(sipLog).noquote() << m_lineName << "call" << m_id << "now carries"
                                  << (t38 ? "T.38" : "audio");
    if (m_device)
        m_device->changeTransport(t38 ? FaxPacketLine::Transport::T38
                                      : FaxPacketLine::Transport::Audio);
}

Result<QByteArray> SipCall::answerWithT38(const QByteArray& offer)
{
    const T38Stream stream = t38StreamOf(offer);
    struct sa remote;
    if (sa_set_str(&remote, stream.address.constData(), stream.port) != 0)
        return Status(err::InvalidArg, QStringLiteral("The T.38 offer names no address"));
    if (Status s = openUdptl(); !s)
        return s;
    m_udptl->setRemote(remote);
    m_t38Params = t38Answer(stream.params);
    QByteArray base = m_lastSdp;
    if (base.isEmpty()) {
        Result<QByteArray> audio = m_sdp.encode(true);
        if (!audio)
            return audio.status();
        base = audio.value();
    }
    const QByteArray answer =
        stamped(alignedAnswer(t38Description(base, m_udptl->port(), m_t38Params), offer));
    carryT38(true);
    return answer;
}

Result<QByteArray> SipCall::answerReoffer(const QByteArray& offer)
{
    if (offer.isEmpty()) {
        // A refresh without SDP: we offer what the call carries.
        if (m_onT38 && m_udptl)
            return stamped(t38Description(m_lastSdp, m_udptl->port(), m_t38Params));
        Result<QByteArray> ours = m_sdp.encode(true);
        return ours ? Result<QByteArray>(stamped(ours.value())) : ours;
    }
    if (takesT38(offer, true))
        return answerWithT38(offer);
    // Audio: keep the law we speak if it still may.
    const QByteArray audio = withoutT38(offer);
    if (!hasActiveAudio(audio))
        return Status(err::InvalidArg, QStringLiteral("The offer has no stream we take"));
    if (Status s = m_sdp.takeOffer(audio); !s)
        return s;
    Result<QByteArray> ours = m_sdp.encode(false);
    if (!ours)
        return ours;
    if (m_onT38)
        carryT38(false);
    followRemote(audio);
    return stamped(alignedAnswer(ours.value(), offer));
}

bool SipCall::answeredWithT38(const QByteArray& answer)
{
    const T38Stream stream = t38StreamOf(answer);
    struct sa remote;
    if (!m_udptl || !stream.offered || hasActiveAudio(answer) ||
        sa_set_str(&remote, stream.address.constData(), stream.port) != 0)
        return false;
    m_udptl->setRemote(remote);
    m_t38Params = t38Answer(stream.params);
    carryT38(true);
    return true;
}

void SipCall::askForT38()
{
    if (m_onT38 || m_t38Request)
        return;
    const auto refused = [this](const QString& why) {
        qCInfo(sipLog).noquote() << m_lineName << "call" << m_id << "stays audio:" << why;
        carryT38(false);
    };
    if (state() != tapi::CS_CONNECTED || !m_session) {
        refused(QStringLiteral("the call is not connected"));
        return;
    }
    if (Status s = openUdptl(); !s) {
        refused(s.description());
        return;
    }
    m_t38Params = T38Params();
    m_t38Offer = stamped(t38Description(m_lastSdp, m_udptl->port(), m_t38Params));
    m_t38Challenges = 0;
    if (!m_t38Auth && sip_auth_alloc(&m_t38Auth, lineCredentials, &m_line, false) != 0) {
        refused(QStringLiteral("out of memory"));
        return;
    }
    sendT38Invite();
    if (m_t38Request)
        tmr_start(&m_t38Timer, kT38AnswerMs, onT38Timeout, this);
}

void SipCall::sendT38Invite()
{
    const int rc =
        sip_drequestf(&m_t38Request, m_line.port->sip, true, "INVITE", sipsess_dialog(m_session), 0,
                      m_t38Auth, onT38Send, onT38Response, this,
                      "Content-Type: application/sdp\r\nContent-Length: %zu\r\n\r\n%b",
                      size_t(m_t38Offer.size()), m_t38Offer.constData(), size_t(m_t38Offer.size()));
    if (rc != 0) {
        m_t38Request = nullptr;
        qCWarning(sipLog).noquote() << m_lineName << "cannot ask for T.38:" << strerror(rc);
        carryT38(false);
    }
}

int SipCall::onT38Send(enum sip_transp tp, const struct sa* src, const struct sa*, struct mbuf* mb,
                       void* arg)
{
    // Our Contact, as libre writes it for the call's own requests.
    auto* call = static_cast<SipCall*>(arg);
    const QByteArray user = call->m_line.contactUser();
    struct sip_contact contact;
    sip_contact_set(&contact, user.constData(), src, tp);
    return mbuf_printf(mb, "%H", sip_contact_print, &contact);
}

void SipCall::onT38Response(int err, const struct sip_msg* msg, void* arg)
{
    auto* call = static_cast<SipCall*>(arg);
    if (msg && msg->scode < 200)
        return;
    call->m_t38Request = nullptr; // done with; libre lets it go
    tmr_cancel(&call->m_t38Timer);
    if (msg && (msg->scode == 401 || msg->scode == 407) && call->m_t38Challenges++ == 0 &&
        sip_auth_authenticate(call->m_t38Auth, msg) == 0) {
        call->sendT38Invite();
        return;
    }
    if (msg && msg->scode < 300 && call->m_session) {
        struct sip_dialog* dialog = sipsess_dialog(call->m_session);
        sip_dialog_update(dialog, msg);
        sip_drequestf(nullptr, call->m_line.port->sip, false, "ACK", dialog, msg->cseq.num,
                      call->m_t38Auth, nullptr, nullptr, nullptr, "Content-Length: 0\r\n\r\n");
        if (call->state() == tapi::CS_CONNECTED && call->answeredWithT38(messageBody(msg)))
            return;
    }
    const QString why = msg ? QStringLiteral("the far end answered %1").arg(msg->scode)
                            : QString::fromLocal8Bit(strerror(err));
    if (!call->m_onT38) {
        qCInfo(sipLog).noquote() << call->m_lineName << "call" << call->m_id
                                 << "stays audio:" << why;
        call->carryT38(false);
    }
}

void SipCall::onT38Timeout(void* arg)
{
    // No answer in time: the fax goes on as audio; a late yes still switches.
    auto* call = static_cast<SipCall*>(arg);
    qCInfo(sipLog).noquote() << call->m_lineName << "call" << call->m_id
                             << "stays audio: the far end does not answer the switch to T.38";
    if (call->m_t38Request)
        sip_request_cancel(call->m_t38Request);
    if (call->m_device)
        call->m_device->changeTransport(FaxPacketLine::Transport::Audio);
}

} // namespace orvane::sip
