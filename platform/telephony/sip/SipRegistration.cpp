#include "platform/telephony/sip/SipRegistration.h"

#include "platform/telephony/sip/SipRequest.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cerrno>
#include <cstring>

Q_DECLARE_LOGGING_CATEGORY(sipLog)

namespace orvane::sip {

namespace {

// A failed registration is tried again after 30 s, then twice as long each time, up to
// half an hour.
constexpr uint64_t kFirstRetryMs = 30'000;
constexpr uint64_t kLongestRetryMs = 1'800'000;

QString text(const struct pl& pl)
{
    return QString::fromUtf8(pl.p, qsizetype(pl.l));
}

bool collectRoute(const struct sip_hdr* hdr, const struct sip_msg*, void* arg)
{
    auto* routes = static_cast<QStringList*>(arg);
    // Each value may hold several <uri>s.
    const QString value = text(hdr->val);
    qsizetype at = 0;
    while ((at = value.indexOf(QLatin1Char('<'), at)) >= 0) {
        const qsizetype end = value.indexOf(QLatin1Char('>'), at);
        if (end < 0)
            break;
        routes->append(value.mid(at + 1, end - at - 1));
        at = end + 1;
    }
    return false;
}

// The lifetime the registrar granted our Contact: its expires parameter when it lists ours,
// else the Expires header, else what we asked.
uint32_t grantedExpires(const struct sip_msg* msg, uint32_t asked)
{
    uint32_t granted = asked;
    if (pl_isset(&msg->expires))
        granted = pl_u32(&msg->expires);
    struct Find {
        uint32_t expires = 0;
        bool found = false;
    } find;
    sip_msg_hdr_apply(
        msg, true, SIP_HDR_CONTACT,
        [](const struct sip_hdr* hdr, const struct sip_msg*, void* arg) {
            auto* f = static_cast<Find*>(arg);
            struct sip_addr addr;
            struct pl value;
            if (sip_addr_decode(&addr, &hdr->val) == 0 &&
                msg_param_decode(&addr.params, "expires", &value) == 0) {
                f->expires = f->found ? std::min(f->expires, pl_u32(&value)) : pl_u32(&value);
                f->found = true;
            }
            return false;
        },
        &find);
    return find.found ? find.expires : granted;
}

} // namespace

SipRegistration::SipRegistration(struct sip* sip, const LineConfig& config, Outcome outcome)
    : m_sip(sip)
    , m_config(config)
    , m_outcome(std::move(outcome))
    , m_expires(uint32_t(config.expires))
{
    tmr_init(&m_timer);
    tmr_init(&m_keepAlive);
    sa_init(&m_local, AF_UNSPEC);
    sa_init(&m_public, AF_UNSPEC);
    sa_init(&m_stunAddress, AF_UNSPEC);
    sa_init(&m_flowPeer, AF_UNSPEC);
}

SipRegistration::~SipRegistration()
{
    tmr_cancel(&m_timer);
    tmr_cancel(&m_keepAlive);
    m_ping = static_cast<struct sip_request*>(mem_deref(m_ping));
    m_request = static_cast<struct sip_request*>(mem_deref(m_request));
    // Taken off the registrar on the way out (sent once; nobody waits for the answer). Its
    // Contact is the last one sent, written now: this object is gone when the request goes
    // out (the registrar's name may still be being looked up).
    if (m_granted && m_dialog && sa_isset(&m_local, SA_ALL)) {
        m_asking = 0;
        const QByteArray contact = contactHeader(m_flowTransport, m_local);
        sip_drequestf(nullptr, m_sip, false, "REGISTER", m_dialog, 0, m_auth, nullptr, nullptr,
                      nullptr, "%sExpires: 0\r\nContent-Length: 0\r\n\r\n", contact.constData());
    }
    mem_deref(m_flow);
    mem_deref(m_auth);
    mem_deref(m_dialog);
}

void SipRegistration::start()
{
    if (!m_dialog) {
        const QByteArray registrar = m_config.routeUri(m_config.registrar).toUtf8(),
                         aor = m_config.uri.toUtf8(), name = m_config.name.toUtf8();
        const QByteArray proxy = routeHop(m_config.routeUri(m_config.outboundProxy));
        const char* routes[] = {proxy.constData()};
        if (sip_dialog_alloc(&m_dialog, registrar.constData(), aor.constData(), name.constData(),
                             aor.constData(), routes, proxy.isEmpty() ? 0 : 1) != 0 ||
            sip_auth_alloc(&m_auth, credentials, this, false) != 0) {
            failed(QStringLiteral("the line cannot register at %1").arg(m_config.registrar));
            return;
        }
    }
    tmr_cancel(&m_timer);
    m_request = static_cast<struct sip_request*>(mem_deref(m_request));
    send(m_expires);
}

void SipRegistration::send(uint32_t expires)
{
    m_asking = expires;
    m_challenges = 0;
    if (int rc = sip_drequestf(
            &m_request, m_sip, true, "REGISTER", m_dialog, 0, m_auth, onSend, onResponse, this,
            "Expires: %u\r\nSupported: path\r\nContent-Length: 0\r\n\r\n", expires);
        rc != 0)
        failed(QStringLiteral("the line cannot register at %1: %2")
                   .arg(m_config.registrar, QString::fromLocal8Bit(strerror(rc))));
}

QByteArray SipRegistration::contactHeader(enum sip_transp tp, const struct sa& local) const
{
    // Our public address when the registrar told it (or the line names one, or a STUN
    // server saw it), with the port our transport listens on.
    struct sa contact = local;
    if (!m_config.publicAddress.isEmpty()) {
        sa_set_str(&contact, m_config.publicAddress.toUtf8().constData(), sa_port(&local));
    } else if (sa_isset(&m_public, SA_ALL)) {
        contact = m_public;
    } else if (sa_isset(&m_stunAddress, SA_ADDR)) {
        // The NAT's address, with our port (the probe's own port says nothing of ours).
        sa_cpy(&contact, &m_stunAddress);
        sa_set_port(&contact, sa_port(&local));
    }
    if (tp != SIP_TRANSP_UDP) {
        struct sa listening;
        if (sip_transp_laddr(m_sip, &listening, tp, nullptr) == 0)
            sa_set_port(&contact, sa_port(&listening));
    }
    char text[256] = {};
    re_snprintf(text, sizeof text, "Contact: <sip:%s@%J%s>;expires=%u\r\n",
                m_config.user.toUtf8().constData(), &contact, sip_transp_param(tp), m_asking);
    return QByteArray(text);
}

int SipRegistration::onSend(enum sip_transp tp, const struct sa* src, const struct sa*,
                            struct mbuf* mb, void* arg)
{
    // The Contact is written as the request goes out, once the local address is known.
    auto* self = static_cast<SipRegistration*>(arg);
    self->m_local = *src;
    self->m_flowTransport = tp;
    const QByteArray contact = self->contactHeader(tp, *src);
    return mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(contact.constData()),
                          size_t(contact.size()));
}

int SipRegistration::credentials(char** user, char** password, const char*, void* arg)
{
    auto* self = static_cast<SipRegistration*>(arg);
    const QByteArray u = self->m_config.authUser.toUtf8(), p = self->m_config.password.toUtf8();
    int rc = str_dup(user, u.constData());
    rc |= str_dup(password, p.constData());
    return rc;
}

void SipRegistration::onResponse(int err, const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipRegistration*>(arg);
    const QString& registrar = self->m_config.registrar;
    if (msg && msg->scode < 200)
        return;
    self->m_request = nullptr; // done with; libre lets it go
    if (err == ETIMEDOUT || (!msg && err)) {
        self->failed(err == ETIMEDOUT
                         ? QStringLiteral("the registrar %1 does not answer").arg(registrar)
                         : QStringLiteral("the registration at %1 failed: %2")
                               .arg(registrar, QString::fromLocal8Bit(strerror(err))));
        return;
    }
    const auto refused = [&] {
        return QStringLiteral("the registrar %1 refused the registration (%2 %3)")
            .arg(registrar)
            .arg(msg->scode)
            .arg(text(msg->reason));
    };
    switch (msg->scode) {
    case 401:
    case 407:
        // A challenge is answered once; a second one means the password is not right. A
        // renewal's challenge is a new one (a new nonce): the old answer is forgotten.
        if (self->m_challenges == 0)
            sip_auth_reset(self->m_auth);
        if (self->m_challenges++ == 0 && sip_auth_authenticate(self->m_auth, msg) == 0) {
            const uint32_t asking = self->m_asking;
            const int challenges = self->m_challenges;
            self->send(asking);
            self->m_challenges = challenges;
            return;
        }
        self->failed(refused());
        return;
    case 423:
        // Interval too brief: ask for what the registrar takes, once.
        if (const struct sip_hdr* min = sip_msg_hdr(msg, SIP_HDR_MIN_EXPIRES)) {
            const uint32_t least = pl_u32(&min->val);
            if (least > self->m_asking && least <= 86400) {
                self->m_expires = least;
                self->send(least);
                return;
            }
        }
        self->failed(refused());
        return;
    default:
        if (msg->scode >= 300) {
            self->failed(refused());
            return;
        }
        self->granted(msg);
    }
}

void SipRegistration::granted(const struct sip_msg* msg)
{
    if (!std::any_of(m_peers.cbegin(), m_peers.cend(),
                     [&](const struct sa& p) { return sa_cmp(&p, &msg->src, SA_ADDR); }))
        m_peers.append(msg->src);
    m_serviceRoute.clear();
    sip_msg_hdr_apply(msg, true, SIP_HDR_SERVICE_ROUTE, collectRoute, &m_serviceRoute);
    m_failures = 0;
    // A TCP or TLS grant: its connection is the flow to keep open.
    mem_deref(m_flow);
    m_flow = msg->tp == SIP_TRANSP_UDP ? nullptr : mem_ref(msg->sock);
    m_flowPeer = msg->src;
    m_flowTransport = msg->tp;
    if (learnPublicAddress(msg) && m_config.publicAddress.isEmpty()) {
        // The registrar has our private address: register again with the public one.
        char seen[80] = {};
        re_snprintf(seen, sizeof seen, "%J", &m_public);
        qCInfo(sipLog).noquote() << m_config.name << ": behind NAT, registering as" << seen;
        send(m_expires);
        return;
    }
    const bool was = m_granted;
    m_granted = true;
    const uint32_t expires = grantedExpires(msg, m_asking);
    // Renewed well before it lapses: at nine tenths, and at least 5 s early for long ones.
    uint64_t renewMs = uint64_t(expires) * 900;
    if (expires > 50)
        renewMs = std::min<uint64_t>(renewMs, (uint64_t(expires) - 5) * 1000);
    tmr_start(&m_timer, std::max<uint64_t>(renewMs, 500), onTimer, this);
    if (m_config.keepaliveSeconds > 0 && uint64_t(m_config.keepaliveSeconds) * 1000 < renewMs)
        tmr_start(&m_keepAlive, uint64_t(m_config.keepaliveSeconds) * 1000, onKeepAlive, this);
    else
        tmr_cancel(&m_keepAlive);
    if (!was)
        qCInfo(sipLog).noquote() << m_config.name << ": registered at" << m_config.registrar;
    m_outcome(true, QString());
}

bool SipRegistration::learnPublicAddress(const struct sip_msg* msg)
{
    struct pl received, rport;
    const bool hasReceived = msg_param_decode(&msg->via.params, "received", &received) == 0;
    const bool hasRport =
        msg_param_decode(&msg->via.params, "rport", &rport) == 0 && pl_isset(&rport) && rport.l > 0;
    if (!hasReceived && !hasRport)
        return false;
    struct sa seen = m_local;
    if (hasReceived && sa_set(&seen, &received, sa_port(&m_local)) != 0)
        return false;
    // The port only says something of a UDP flow; a TCP one always comes from elsewhere.
    if (hasRport && msg->tp == SIP_TRANSP_UDP)
        sa_set_port(&seen, uint16_t(pl_u32(&rport)));
    const struct sa& was = sa_isset(&m_public, SA_ALL) ? m_public : m_local;
    const bool differs =
        msg->tp == SIP_TRANSP_UDP ? !sa_cmp(&seen, &was, SA_ALL) : !sa_cmp(&seen, &was, SA_ADDR);
    if (!differs)
        return false;
    if (sa_cmp(&seen, &m_local, msg->tp == SIP_TRANSP_UDP ? SA_ALL : SA_ADDR)) {
        sa_init(&m_public, AF_UNSPEC); // no NAT (any more)
        return true;
    }
    m_public = seen;
    return true;
}

void SipRegistration::failed(const QString& problem)
{
    qCWarning(sipLog).noquote() << m_config.name << ":" << problem;
    m_granted = false;
    tmr_cancel(&m_keepAlive);
    retryLater();
    m_outcome(false, problem);
}

void SipRegistration::retryLater()
{
    const int failures = std::min(++m_failures, 7);
    const uint64_t wait = std::min(kLongestRetryMs, kFirstRetryMs << (failures - 1));
    tmr_start(&m_timer, wait, onTimer, this);
}

void SipRegistration::onTimer(void* arg)
{
    static_cast<SipRegistration*>(arg)->start();
}

void SipRegistration::onKeepAlive(void* arg)
{
    auto* self = static_cast<SipRegistration*>(arg);
    self->keepAlive();
    tmr_start(&self->m_keepAlive, uint64_t(self->m_config.keepaliveSeconds) * 1000, onKeepAlive,
              self);
}

void SipRegistration::keepAlive()
{
    if (m_flow) {
        // RFC 5626's ping on a connection: a blank line, which any SIP server skips.
        struct mbuf* mb = mbuf_alloc(4);
        if (!mb)
            return;
        mbuf_write_str(mb, "\r\n\r\n");
        mb->pos = 0;
        const int rc = sip_send(m_sip, m_flow, m_flowTransport, &m_flowPeer, mb);
        mem_deref(mb);
        if (rc != 0) {
            // The connection is gone: register anew, over a new one.
            qCInfo(sipLog).noquote() << m_config.name << ": the flow to the registrar closed";
            start();
        }
        return;
    }
    // Over UDP an OPTIONS, through the proxy when there is one: its answer (whatever it
    // is) proves the NAT binding still carries the registrar's packets back.
    if (m_ping)
        return;
    const QByteArray target =
        m_config
            .routeUri(m_config.outboundProxy.isEmpty() ? m_config.registrar
                                                       : m_config.outboundProxy)
            .toUtf8();
    const QByteArray from = m_config.uri.toUtf8();
    sip_requestf(&m_ping, m_sip, true, "OPTIONS", target.constData(), nullptr, nullptr, nullptr,
                 onKeepAliveAnswer, this,
                 "To: <%s>\r\nFrom: <%s>;tag=%x%x\r\nCall-ID: %x%x\r\nCSeq: 1 OPTIONS\r\n"
                 "Content-Length: 0\r\n\r\n",
                 target.constData(), from.constData(), rand_u32(), rand_u32(), rand_u32(),
                 rand_u32());
}

void SipRegistration::onKeepAliveAnswer(int err, const struct sip_msg* msg, void* arg)
{
    auto* self = static_cast<SipRegistration*>(arg);
    if (msg && msg->scode < 200)
        return;
    self->m_ping = nullptr;
    // Our public address moved (the NAT gave us a new binding): register again now.
    if (msg && self->learnPublicAddress(msg) && self->m_config.publicAddress.isEmpty()) {
        self->start();
        return;
    }
    if (err == ETIMEDOUT)
        qCInfo(sipLog).noquote() << self->m_config.name
                                 << ": the registrar did not answer a "
                                    "keep-alive";
}

} // namespace orvane::sip
