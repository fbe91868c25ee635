#include "platform/telephony/sip/SipStack.h"

#include "platform/telephony/sip/MediaLoop.h"
#include "platform/telephony/sip/T38Sdp.h"

#include "platform/LogThrottle.h"
#include "platform/SteadyClock.h"
#include "platform/telephony/sip/SipCall.h"
#include "platform/telephony/sip/SipCallerId.h"
#include "platform/telephony/sip/SipRequest.h"
#include "platform/telephony/sip/SipTls.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QLoggingCategory>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

Q_LOGGING_CATEGORY(sipLog, "orvane.sip", QtInfoMsg)

namespace orvane::sip {

namespace {

// Every call holds an RTP socket: room for many more descriptors than the usual 1024.
constexpr int kMaxDescriptors = 65536;
// One RTP packet each way per call, every 20 ms.
constexpr int kPacketMs = 20;
// Addresses whose INVITE rate is kept (beyond: the idle ones are forgotten).
constexpr qsizetype kMaxInviteSources = 10000;

QString text(const struct pl& pl)
{
    return QString::fromUtf8(pl.p, qsizetype(pl.l));
}

void reply(SipPort* port, const struct sip_msg* msg, uint16_t code, const char* reason)
{
    sip_treply(nullptr, port->sip, msg, code, reason);
}

// 503 with the time to wait: the caller (or its proxy) tries again later or elsewhere.
void refuseForNow(SipPort* port, const struct sip_msg* msg)
{
    sip_treplyf(nullptr, nullptr, port->sip, msg, false, 503, "Service Unavailable",
                "Retry-After: %d\r\nContent-Length: 0\r\n\r\n",
                SipStack::instance().limits().retryAfterSeconds);
}

void logRequest(const struct sip_msg* msg, const QString& what);

// Why a call to the request's user could not be taken now, as the final response an
// INVITE gets: 0 when it could. `line` is the line it is for, when there is one.
struct Refusal {
    uint16_t code = 0;
    const char* reason = nullptr;
};

Refusal refusalFor(SipPort* port, const struct sip_msg* msg, SipLine** found)
{
    SipStack& stack = SipStack::instance();
    // The line whose own number it is, else one that takes it for a trunk (a DID), else
    // one that takes any.
    SipLine* line = nullptr;
    const QString user = text(msg->uri.user);
    for (int pass = 0; pass < 3 && !line; ++pass)
        for (SipLine* candidate : std::as_const(port->lines)) {
            const LineConfig& c = candidate->config;
            if ((pass == 0 && c.user == user) || (pass == 1 && c.accept.contains(user)) ||
                (pass == 2 && c.acceptAny))
                line = candidate;
        }
    if (found)
        *found = line;
    if (!line)
        return {404, "Not Found"};
    // A line with a registrar takes calls from its registrar or proxy (and what allow_from
    // adds): internet scanners ring open SIP ports all day.
    if (!line->admits(msg->src))
        return {403, "Forbidden"};
    // A server on its way out: another one behind the same proxy takes the call.
    if (stack.stopping())
        return {503, "Service Unavailable"};
    if (stack.events().count(line->config.name) == 0)
        return {480, "Temporarily Unavailable"};
    // Busy while a call is on the line, and while the last one is still being recorded
    // unless that ends within moments: a caller left ringing meanwhile would be lost to
    // the provider's no-answer timer.
    if (line->current)
        return {486, "Busy Here"};
    if (std::shared_ptr<SipCall> previous = line->previous.lock();
        previous && !previous->lineFreeSoon())
        return {486, "Busy Here"};
    // Past capacity a new call is refused at once, never left ringing to be lost.
    if (stack.callsNow() >= stack.limits().maxCalls)
        return {503, "Service Unavailable"};
    return {};
}

void refuse(SipPort* port, const struct sip_msg* msg, const Refusal& refusal)
{
    if (refusal.code == 403)
        logRequest(msg, QStringLiteral("call from a stranger refused"));
    if (refusal.code == 503)
        refuseForNow(port, msg);
    else
        reply(port, msg, refusal.code, refusal.reason);
}

// An INVITE to one of the port's lines: refused (too many from its address, unknown user,
// line not watched, busy, the server at capacity, no G.711 or another address family than
// the line's), or a new call that rings.
void onInvite(const struct sip_msg* msg, void* arg)
{
    auto* port = static_cast<SipPort*>(arg);
    SipStack& stack = SipStack::instance();
    // A flood from one address is turned away before anything is looked up for it.
    if (!stack.admitFrom(msg->src)) {
        refuseForNow(port, msg);
        return;
    }
    SipLine* line = nullptr;
    if (const Refusal refusal = refusalFor(port, msg, &line); refusal.code) {
        refuse(port, msg, refusal);
        return;
    }
    const QByteArray offer = messageBody(msg);
    // A fax machine's gateway may offer T.38 alone; the line takes it unless it carries
    // faxes as audio only (or never plain media).
    const bool t38Alone = !hasActiveAudio(offer) && t38StreamOf(offer).offered &&
                          line->config.faxTransport != LineConfig::FaxTransport::Audio &&
                          line->config.mediaEncryption != MediaEncryption::SrtpMandatory;
    const QByteArray audio = withoutT38(offer);
    if (!offer.isEmpty() && !t38Alone &&
        (chooseCodec(audio) == Codec::None ||
         offeredMedia(audio).family != sa_af(&line->localAddress) ||
         !chooseCrypto(audio, line->config.mediaEncryption))) {
        reply(port, msg, 488, "Not Acceptable Here");
        return;
    }
    const CallerId caller = callerIdOf(msg);
    auto call = std::make_shared<SipCall>(*line, stack.nextCallId(), caller.number, caller.name);
    line->current = call;
    if (Status s = call->accept(port->sessions, msg, offer); !s) {
        qCWarning(sipLog).noquote() << line->config.name << "cannot take a call:" << s.toString();
        line->current.reset();
        call->stopMedia();
        reply(port, msg, 500, "Server Internal Error");
    }
}

// What strangers send is logged, but never faster than a few lines a second; what is left
// out is counted, and the count said with the next line or a second after the flood.
struct RequestLog {
    LogThrottle throttle{10, 1000};
    struct tmr summary; // the loop's
};

RequestLog& requestLog()
{
    static RequestLog* log = [] {
        auto* made = new RequestLog;
        tmr_init(&made->summary);
        return made;
    }();
    return *log;
}

QString leftOutNote(qint64 leftOut)
{
    return QStringLiteral("[%1 more left out of this log]").arg(leftOut);
}

void onRequestLogSummary(void*)
{
    if (const qint64 leftOut = requestLog().throttle.takeLeftOut(); leftOut > 0)
        qCWarning(sipLog).noquote() << "requests from strangers:" << leftOutNote(leftOut);
}

void logRequest(const struct sip_msg* msg, const QString& what)
{
    RequestLog& log = requestLog();
    qint64 leftOut = 0;
    if (!log.throttle.allow(steadyNowNs() / 1000000, &leftOut)) {
        if (!tmr_isrunning(&log.summary))
            tmr_start(&log.summary, 1000, onRequestLogSummary, nullptr);
        return;
    }
    char source[64] = {};
    re_snprintf(source, sizeof source, "%J", &msg->src);
    // A stranger's text: cut short, and nothing in it that a terminal would act on.
    QString said = text(msg->met) + QLatin1Char(' ') + text(msg->ruri);
    if (said.size() > 200)
        said = said.left(200) + QStringLiteral("...");
    for (QChar& c : said)
        if (!c.isPrint())
            c = QLatin1Char('?');
    QString line = QStringLiteral("%1 from %2: %3").arg(what, QString::fromLatin1(source), said);
    if (leftOut > 0)
        line += QLatin1Char(' ') + leftOutNote(leftOut);
    qCWarning(sipLog).noquote() << line;
}

// A request that requires an extension: none is served here, so it is answered 420 with
// what it required (ACK and CANCEL are never refused so).
bool refuseRequiredExtensions(SipPort* port, const struct sip_msg* msg)
{
    if (pl_strcmp(&msg->met, "ACK") == 0 || pl_strcmp(&msg->met, "CANCEL") == 0)
        return false;
    const QByteArrayList required = requiredExtensions(msg);
    if (required.isEmpty())
        return false;
    // Option tags are tokens; anything else in them is not echoed.
    QByteArray unsupported;
    for (const QByteArray& tag : required) {
        bool token = tag.size() <= 64;
        for (char c : tag)
            token = token && (std::isalnum(uchar(c)) || QByteArrayView("-.!%*_+`'~").contains(c));
        if (token)
            unsupported += (unsupported.isEmpty() ? "" : ", ") + tag;
    }
    sip_treplyf(nullptr, nullptr, port->sip, msg, false, 420, "Bad Extension",
                "Unsupported: %s\r\nContent-Length: 0\r\n\r\n", unsupported.constData());
    return true;
}

// Every request, before anything else sees it: one without the headers every request
// carries is answered 400 (to its source, when it has no Via to say where) and goes no
// further, so that it can never ring or hold a line.
bool onAnyRequest(const struct sip_msg* msg, void* arg)
{
    auto* port = static_cast<SipPort*>(arg);
    const QString problem = malformation(msg);
    if (problem.isEmpty())
        return refuseRequiredExtensions(port, msg);
    logRequest(msg, QStringLiteral("malformed request (%1)").arg(problem));
    if (pl_strcmp(&msg->met, "ACK") == 0)
        return true; // an ACK is never answered
    struct sa destination = msg->src;
    if (pl_isset(&msg->via.sentby))
        sip_reply_addr(&destination, msg, true);
    const QByteArray response = badRequest(msg, problem);
    if (mbuf* mb = mbuf_alloc(size_t(response.size()))) {
        mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(response.constData()),
                       size_t(response.size()));
        mb->pos = 0;
        sip_send(port->sip, msg->sock, msg->tp, &destination, mb);
        mem_deref(mb);
    }
    return true;
}

constexpr const char* kAllowed = "INVITE, ACK, BYE, CANCEL, OPTIONS, UPDATE";

// Requests that are not part of a call: OPTIONS is answered, UPDATE within a call taken, other
// methods refused (405 for those SIP knows, 501 for the rest) and logged within bounds; ACK is left
// alone.
bool onOtherRequest(const struct sip_msg* msg, void* arg)
{
    auto* port = static_cast<SipPort*>(arg);
    if (pl_strcmp(&msg->met, "ACK") == 0)
        return false;
    if (pl_strcmp(&msg->met, "OPTIONS") == 0) {
        // For a user, what an INVITE would get now (a caller's proxy asks before it sends
        // one); for the server itself (a keep-alive, a monitor), 200.
        if (pl_isset(&msg->uri.user)) {
            if (const Refusal refusal = refusalFor(port, msg, nullptr); refusal.code) {
                refuse(port, msg, refusal);
                return true;
            }
        }
        sip_treplyf(nullptr, nullptr, port->sip, msg, false, 200, "OK",
                    "Allow: %s\r\nAccept: application/sdp\r\nContent-Length: 0\r\n\r\n", kAllowed);
        return true;
    }
    if (pl_strcmp(&msg->met, "UPDATE") == 0) {
        // A session refresh (RFC 4028), or a new offer, within a call of ours.
        for (SipLine* line : std::as_const(port->lines))
            if (line->current && line->current->inDialog(msg)) {
                line->current->takeUpdate(port->sip, msg);
                return true;
            }
        reply(port, msg, 481, "Call/Transaction Does Not Exist");
        return true;
    }
    logRequest(msg, QStringLiteral("unhandled request"));
    const bool known = knownMethod(QByteArray(msg->met.p, qsizetype(msg->met.l)));
    sip_treplyf(nullptr, nullptr, port->sip, msg, false, known ? 405 : 501,
                known ? "Method Not Allowed" : "Not Implemented",
                "Allow: %s\r\nContent-Length: 0\r\n\r\n", kAllowed);
    return true;
}

// A UDP port that another program holds (even one that lets others share it) is refused
// here rather than shared: calls to it would reach either program at random.
Status checkPortFree(const struct sa& address)
{
    const int fd = ::socket(sa_af(&address), SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return {};
    const int rc = ::bind(fd, &address.u.sa, address.len);
    const int error = errno;
    ::close(fd);
    if (rc == 0 || error != EADDRINUSE)
        return {};
    return Status(
        err::Fail,
        QStringLiteral("SIP port %1 is in use by another program").arg(sa_port(&address)));
}

Result<struct sa> localAddressOf(const LineConfig& c)
{
    struct sa address;
    if (!c.address.isEmpty()) {
        if (sa_set_str(&address, c.address.toUtf8().constData(), c.port) != 0)
            return Status(err::InvalidArg, QStringLiteral("Bad address %1").arg(c.address));
        return address;
    }
    if (net_default_source_addr_get(AF_INET, &address) != 0)
        sa_set_str(&address, "127.0.0.1", 0);
    sa_set_port(&address, c.port);
    return address;
}

// The host a line's TLS peer must name: its outbound proxy's, else its registrar's.
QString tlsHost(const LineConfig& c)
{
    const QString uri = c.outboundProxy.isEmpty() ? c.registrar : c.outboundProxy;
    QString host = uri.mid(uri.indexOf(QLatin1Char(':')) + 1);
    host = host.mid(host.indexOf(QLatin1Char('@')) + 1);
    host = host.left(host.indexOf(QLatin1Char(';')) < 0 ? host.size()
                                                        : host.indexOf(QLatin1Char(';')));
    if (host.startsWith(QLatin1Char('[')))
        return host.mid(1, host.indexOf(QLatin1Char(']')) - 1);
    return host.left(host.lastIndexOf(QLatin1Char(':')) < 0 ? host.size()
                                                            : host.lastIndexOf(QLatin1Char(':')));
}

// The port's sockets: UDP always; TCP or TLS on the same port number as well when its
// lines use them.
Status openPort(SipPort* port, dnsc* dns)
{
    const QByteArray software = QByteArrayLiteral("Orvane " ORVANE_VERSION);
    if (Status s = checkPortFree(port->localAddress); !s)
        return s;
    if (sip_alloc(&port->sip, dns, 32, 32, 32, software.constData(), nullptr, nullptr) != 0)
        return Status(err::OutOfMemory, QStringLiteral("Cannot start SIP"));
    const auto cannotUse = [port](const char* what, int rc) {
        return Status(err::Fail,
                      QStringLiteral("Cannot use SIP port %1 (%2): %3")
                          .arg(sa_port(&port->localAddress))
                          .arg(QLatin1String(what), QString::fromLocal8Bit(strerror(rc))));
    };
    if (int rc = sip_transp_add(port->sip, SIP_TRANSP_UDP, &port->localAddress); rc != 0)
        return cannotUse("UDP", rc);
    const SipLine* stream = nullptr;
    for (const SipLine* line : std::as_const(port->lines))
        if (line->config.transport != Transport::Udp)
            stream = line;
    if (stream && stream->config.transport == Transport::Tcp) {
        if (int rc = sip_transp_add(port->sip, SIP_TRANSP_TCP, &port->localAddress); rc != 0)
            return cannotUse("TCP", rc);
    } else if (stream) {
        Result<struct tls*> tls = makeTlsContext(stream->config, tlsHost(stream->config));
        if (!tls)
            return tls.status();
        port->tls = tls.value();
        if (int rc = sip_transp_add(port->sip, SIP_TRANSP_TLS, &port->localAddress, port->tls);
            rc != 0)
            return cannotUse("TLS", rc);
    }
    // The checks first: libre asks its request listeners in the order they came.
    if (sip_listen(&port->checks, port->sip, true, onAnyRequest, port) != 0 ||
        sipsess_listen(&port->sessions, port->sip, 32, onInvite, port) != 0 ||
        sip_listen(&port->others, port->sip, true, onOtherRequest, port) != 0)
        return Status(
            err::Fail,
            QStringLiteral("Cannot take calls on SIP port %1").arg(sa_port(&port->localAddress)));
    return {};
}

void registerLine(SipLine* line);

// A line behind NAT with a STUN server asks it first what its public address is; then it
// registers (with that address in its Contact until the registrar tells a better one).
void openLine(SipLine* line)
{
    const LineConfig& c = line->config;
    if (c.stunServer.isEmpty() || !c.publicAddress.isEmpty() || line->stun) {
        registerLine(line);
        return;
    }
    if (!c.registrar.isEmpty())
        SipStack::instance().registrationPending(c.name);
    const QString name = c.name;
    line->stun = std::make_unique<StunProbe>(
        c.stunServer, line->localAddress, [name](const Result<struct sa>& seen) {
            // Run later: the probe may still be being made.
            SipStack::instance().run([name, seen] {
                SipLine* l = SipStack::instance().line(name);
                if (!l)
                    return;
                if (!seen) {
                    qCWarning(sipLog).noquote() << name << ": STUN:" << seen.status().description();
                } else if (!sa_cmp(&seen.value(), &l->localAddress, SA_ADDR)) {
                    l->stunAddress = seen.value();
                    char text[64] = {};
                    re_snprintf(text, sizeof text, "%j", &l->stunAddress);
                    qCInfo(sipLog).noquote() << name << ": behind NAT at" << text;
                }
                registerLine(l);
            });
        });
}

void registerLine(SipLine* line)
{
    const LineConfig& c = line->config;
    if (c.registrar.isEmpty())
        return;
    SipStack::instance().registrationPending(c.name);
    if (!line->registration) {
        const QString name = c.name;
        line->registration = std::make_unique<SipRegistration>(
            line->port->sip, c, [name](bool granted, const QString& problem) {
                QString told = problem;
                // A peer whose certificate was refused: the reason is in the handshake.
                if (const QString tls = takeTlsRefusal(); !granted && !tls.isEmpty())
                    told = QStringLiteral("the registrar %1 cannot be trusted: %2")
                               .arg(SipStack::instance().line(name)
                                        ? SipStack::instance().line(name)->config.registrar
                                        : name,
                                    tls);
                SipStack::instance().registrationOutcome(name, granted, told);
            });
    }
    if (sa_isset(&line->stunAddress, SA_ADDR))
        line->registration->setStunAddress(line->stunAddress);
    line->registration->start();
}

void closeLine(SipLine* line)
{
    if (line->current) {
        line->current->stopMedia();
        line->current.reset();
    }
    line->registration.reset();
    line->stun.reset();
}

void closePort(SipPort* port)
{
    if (port->sessions)
        sipsess_close_all(port->sessions);
    port->sessions = static_cast<struct sipsess_sock*>(mem_deref(port->sessions));
    port->others = static_cast<struct sip_lsnr*>(mem_deref(port->others));
    port->checks = static_cast<struct sip_lsnr*>(mem_deref(port->checks));
    if (port->sip)
        sip_close(port->sip, true);
    port->sip = static_cast<struct sip*>(mem_deref(port->sip));
    port->tls = static_cast<struct tls*>(mem_deref(port->tls));
}

} // namespace

int lineCredentials(char** user, char** password, const char*, void* arg)
{
    auto* line = static_cast<SipLine*>(arg);
    const QByteArray u = line->config.authUser.toUtf8(), p = line->config.password.toUtf8();
    int rc = str_dup(user, u.constData());
    rc |= str_dup(password, p.constData());
    return rc;
}

SipLine* SipStack::line(const QString& name) const
{
    for (SipLine* l : m_lines)
        if (l->config.name == name && l->port && l->port->sip)
            return l;
    return nullptr;
}

SipStack& SipStack::instance()
{
    // Never destroyed: stop() ends the loop when the application ends.
    static SipStack* stack = new SipStack;
    return *stack;
}

bool SipStack::running() const
{
    QMutexLocker lock(&m_mutex);
    return m_started && m_startStatus.isOk();
}

bool SipStack::onLoopThread() const
{
    return std::this_thread::get_id() == m_loopThread;
}

Status SipStack::start(const LinesFile& file)
{
    // One start at a time; the loop takes m_mutex itself while it starts.
    QMutexLocker starting(&m_startMutex);
    {
        QMutexLocker lock(&m_mutex);
        if (m_started)
            return m_startStatus;
    }
    m_config = file.lines;
    m_limits = file.limits;
    std::promise<Status> started;
    std::future<Status> result = started.get_future();
    m_thread = std::thread([this, p = std::move(started)]() mutable { loop(std::move(p)); });
    const Status status = result.get();
    QMutexLocker lock(&m_mutex);
    m_started = true;
    m_startStatus = status;
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, app,
                         [] { SipStack::instance().refuseRingingCalls(); });
        qAddPostRoutine([] { SipStack::instance().stop(); });
    }
    return m_startStatus;
}

Status SipStack::lineStatus(const QString& name) const
{
    QMutexLocker lock(&m_mutex);
    return m_lineStatus.value(
        name, Status(err::InvalidArg, QStringLiteral("No SIP line \"%1\"").arg(name)));
}

Status SipStack::awaitRegistration(const QString& name, int timeoutMs)
{
    QMutexLocker lock(&m_mutex);
    if (m_registrations.value(name).kind == Registration::Refused) {
        // Whoever watches the line now asks again, rather than wait for libre's next try.
        m_registrations[name].kind = Registration::Pending;
        m_registrations[name].askedAtMs = QDateTime::currentMSecsSinceEpoch();
        lock.unlock();
        run([this, name] {
            if (SipLine* l = line(name))
                registerLine(l);
        });
        lock.relock();
    }
    const qint64 since =
        QDateTime::currentMSecsSinceEpoch() - m_registrations.value(name).askedAtMs;
    QDeadlineTimer deadline(std::clamp<qint64>(timeoutMs - since, 0, timeoutMs));
    while (m_registrations.value(name).kind == Registration::Pending) {
        if (!m_registrationChanged.wait(&m_mutex, deadline))
            break;
    }
    const Registration r = m_registrations.value(name);
    switch (r.kind) {
    case Registration::Pending:
        return Status(err::Fail,
                      QStringLiteral("the registrar %1 does not answer").arg(lineRegistrar(name)));
    case Registration::Refused:
        return Status(err::Fail, r.problem);
    default:
        return {};
    }
}

QString SipStack::lineRegistrar(const QString& name) const
{
    for (const LineConfig& c : m_config)
        if (c.name == name)
            return c.registrar;
    return QString();
}

void SipStack::registrationPending(const QString& name)
{
    QMutexLocker lock(&m_mutex);
    m_registrations[name].kind = Registration::Pending;
    m_registrations[name].askedAtMs = QDateTime::currentMSecsSinceEpoch();
}

void SipStack::registrationOutcome(const QString& name, bool granted, const QString& problem)
{
    Registration::Kind was;
    {
        QMutexLocker lock(&m_mutex);
        Registration& r = m_registrations[name];
        was = r.kind;
        r.kind = granted ? Registration::Granted : Registration::Refused;
        r.problem = problem;
        m_registrationChanged.wakeAll();
    }
    // Lines that watch already hear when their account stops working, and when it works
    // again; a registration renewed as before is no news.
    if (granted && was != Registration::Refused)
        return;
    TapiEvent event;
    event.kind = tapi::TE_ADDRESS;
    event.addressEvent = tapi::AE_STATE;
    event.addressState = granted ? tapi::AS_INSERVICE : tapi::AS_OUTOFSERVICE;
    event.reason = problem;
    m_events.raise(name, event);
    m_events.flush(name);
}

void SipStack::loop(std::promise<Status> started)
{
    m_loopThread = std::this_thread::get_id();
    m_mediaClock = new ::tmr;
    tmr_init(m_mediaClock);
    if (libre_init() != 0) {
        started.set_value(Status(err::Fail, QStringLiteral("Cannot start the SIP library")));
        return;
    }
    fd_setsize(kMaxDescriptors);
    startMediaLoops();
    if (mqueue_alloc(&m_queue, onWork, this) != 0) {
        libre_close();
        started.set_value(Status(err::Fail, QStringLiteral("Cannot start the SIP event loop")));
        return;
    }
    struct sa servers[4];
    uint32_t count = 4;
    char domain[256] = "";
    if (dns_srv_get(domain, sizeof(domain), servers, &count) == 0 && count > 0)
        dnsc_alloc(&m_dns, nullptr, servers, count);

    // Lines on the same address and port share one SIP socket: every line finds its port
    // first, so that each port opens knowing the transports its lines need.
    QHash<QString, Status> statuses;
    for (const LineConfig& config : std::as_const(m_config)) {
        auto* line = new SipLine;
        line->config = config;
        m_lines.append(line);
        Result<struct sa> address = localAddressOf(config);
        if (!address) {
            statuses.insert(config.name, address.status());
            continue;
        }
        line->localAddress = address.value();
        for (SipPort* port : std::as_const(m_ports))
            if (sa_cmp(&port->localAddress, &line->localAddress, SA_ALL))
                line->port = port;
        if (!line->port) {
            line->port = new SipPort;
            line->port->localAddress = line->localAddress;
            m_ports.append(line->port);
        }
        line->port->lines.append(line);
    }
    for (SipPort* port : std::as_const(m_ports))
        m_portStatus.insert(port, openPort(port, m_dns));
    int open = 0;
    for (SipLine* line : std::as_const(m_lines)) {
        if (!line->port)
            continue;
        const Status s = m_portStatus.value(line->port);
        if (s) {
            openLine(line);
            ++open;
        } else {
            qCWarning(sipLog).noquote() << line->config.name << ":" << s.toString();
        }
        statuses.insert(line->config.name, s);
    }
    {
        QMutexLocker lock(&m_mutex);
        m_lineStatus = statuses;
    }
    started.set_value(open > 0 || m_config.isEmpty()
                          ? Status()
                          : Status(err::Fail, QStringLiteral("No SIP line could be opened")));
    re_main(nullptr);

    m_queue = static_cast<struct mqueue*>(mem_deref(m_queue));
    tmr_cancel(m_mediaClock);
    tmr_cancel(&requestLog().summary);
    libre_close();
    delete std::exchange(m_mediaClock, nullptr);
}

void SipStack::refuseRingingCalls()
{
    m_stopping = true;
    // Before the lines go: a call let go unanswered as they do would hear 486 (busy).
    run([this] {
        for (SipLine* line : std::as_const(m_lines))
            if (const std::shared_ptr<SipCall> call = line->current; call && call->ringingHere())
                call->disconnect(0);
    });
}

void SipStack::stop()
{
    {
        QMutexLocker lock(&m_mutex);
        if (!m_thread.joinable())
            return;
    }
    run([this] {
        for (SipLine* line : std::as_const(m_lines)) {
            closeLine(line);
            delete line;
        }
        m_lines.clear();
        for (SipPort* port : std::as_const(m_ports)) {
            closePort(port);
            delete port;
        }
        m_ports.clear();
        m_portStatus.clear();
        tmr_cancel(m_mediaClock);
        // The media loops let go of their sockets first; their calls end here.
        for (const std::unique_ptr<MediaLoop>& loop : m_mediaLoops)
            loop->stop();
        m_mediaLoops.clear();
        for (const std::shared_ptr<SipCall>& call : std::as_const(m_elsewhere)) {
            call->mediaLoopGone();
            call->stopMedia();
        }
        m_elsewhere.clear();
        for (const std::shared_ptr<SipCall>& call : std::as_const(m_media))
            call->stopMedia();
        m_media.clear();
        m_dns = static_cast<struct dnsc*>(mem_deref(m_dns));
        re_cancel();
    });
    m_thread.join();
    QMutexLocker lock(&m_mutex);
    m_startStatus = Status(err::InvalidState, QStringLiteral("The SIP loop has stopped"));
}

void SipStack::run(std::function<void()> work)
{
    auto* job = new std::function<void()>(std::move(work));
    if (!m_queue || mqueue_push(m_queue, 0, job) != 0)
        delete job;
}

void SipStack::onWork(int, void* data, void*)
{
    auto* job = static_cast<std::function<void()>*>(data);
    (*job)();
    delete job;
}

bool SipStack::admitFrom(const ::sa& source)
{
    // A bucket of invite_rate tokens per address, refilled at invite_rate a second.
    const qint64 now = steadyNowNs();
    const double rate = m_limits.inviteRate;
    // The address alone: a sender may change ports at will.
    const QByteArray key =
        sa_af(&source) == AF_INET6
            ? QByteArray(reinterpret_cast<const char*>(&source.u.in6.sin6_addr), 16)
            : QByteArray(reinterpret_cast<const char*>(&source.u.in.sin_addr), 4);
    auto it = m_inviteBuckets.find(key);
    if (it == m_inviteBuckets.end()) {
        // Addresses not heard for a minute are forgotten, so that a flood from many
        // addresses cannot grow the table without end.
        if (m_inviteBuckets.size() >= kMaxInviteSources) {
            for (auto old = m_inviteBuckets.begin(); old != m_inviteBuckets.end();)
                old = now - old->lastNs > 60'000'000'000 ? m_inviteBuckets.erase(old) : ++old;
            if (m_inviteBuckets.size() >= kMaxInviteSources)
                return false;
        }
        it = m_inviteBuckets.insert(key, InviteBucket{rate, now});
    }
    InviteBucket& bucket = it.value();
    bucket.tokens = std::min(rate, bucket.tokens + double(now - bucket.lastNs) * rate / 1e9);
    bucket.lastNs = now;
    if (bucket.tokens < 1)
        return false;
    bucket.tokens -= 1;
    return true;
}

int SipStack::callsNow() const
{
    // Calls whose audio runs (also after they ended, while a recording fills) and calls that
    // still ring.
    int calls = int(m_media.size() + m_elsewhere.size());
    for (const SipLine* line : m_lines)
        if (line->current && line->current->waveDeviceId() == 0)
            ++calls;
    return calls;
}

void SipStack::startMediaLoops()
{
    const int count = m_limits.mediaThreads >= 0 ? m_limits.mediaThreads
                                                 : int(std::thread::hardware_concurrency());
    for (int i = 0; i < count; ++i) {
        auto loop = std::make_unique<MediaLoop>();
        if (Status s = loop->start(kMaxDescriptors); !s) {
            qCWarning(sipLog).noquote() << s.toString() << "; the SIP loop moves the audio";
            break;
        }
        m_mediaLoops.push_back(std::move(loop));
    }
}

void SipStack::mediaOver(const std::shared_ptr<SipCall>& call)
{
    if (m_elsewhere.remove(call.get()) == 0)
        return; // the server ended meanwhile
    call->mediaLoopGone();
    call->stopMedia();
}

void SipStack::keepMedia(const std::shared_ptr<SipCall>& call)
{
    if (!m_mediaLoops.empty() && call->mayMoveMedia()) {
        MediaLoop* loop = m_mediaLoops.front().get();
        for (const std::unique_ptr<MediaLoop>& other : m_mediaLoops)
            if (other->calls() < loop->calls())
                loop = other.get();
        m_elsewhere.insert(call.get(), call);
        call->handMediaTo(loop, [this](std::shared_ptr<SipCall> over) {
            run([this, over] { mediaOver(over); });
        });
        return;
    }
    m_media.append(call);
    if (m_media.size() == 1)
        tmr_start(m_mediaClock, kPacketMs, onMediaClock, this);
}

void SipStack::onMediaClock(void* arg)
{
    auto* stack = static_cast<SipStack*>(arg);
    const qint64 now = steadyNowNs();
    // Each device moves what is due by the clock, so a late tick loses nothing.
    QList<std::shared_ptr<SipCall>>& media = stack->m_media;
    for (qsizetype i = 0; i < media.size();) {
        const std::shared_ptr<SipCall> call = media.at(i);
        if (call->mediaTick(now))
            media.removeAt(i);
        else
            ++i;
    }
    if (!media.isEmpty())
        tmr_start(stack->m_mediaClock, kPacketMs, onMediaClock, stack);
}

} // namespace orvane::sip
