#include "platform/fax/FaxEngine.h"

#include "platform/audio/G711.h"

#include <QFile>

#include <cstring>

#include <spandsp.h>

namespace orvane::fax {

namespace {

// Phase E codes that mean the other side went away during the exchange.
bool isDisconnect(int code)
{
    switch (code) {
    case T30_ERR_CALLDROPPED:
    case T30_ERR_TX_GOTDCN:
    case T30_ERR_TX_BADPG:
    case T30_ERR_RX_NOCARRIER:
    case T30_ERR_RX_DCNWHY:
    case T30_ERR_RX_DCNDATA:
    case T30_ERR_RX_DCNFAX:
    case T30_ERR_RX_DCNPHD:
    case T30_ERR_RX_DCNRRD:
    case T30_ERR_RX_DCNNORTN:
        return true;
    default:
        return false;
    }
}

constexpr qsizetype kMaxStep = 1024;

} // namespace

struct FaxEngine::Session {
    fax_state_t* fax = nullptr;
    t38_terminal_state_t* t38 = nullptr;
    t30_state_t* t30 = nullptr;
    QByteArray file; // spandsp keeps the pointer
    qint16 in[kMaxStep];
    qint16 out[kMaxStep];

    ~Session()
    {
        if (fax)
            fax_free(fax);
        if (t38)
            t38_terminal_free(t38);
    }
};

// Called from inside fax_rx/fax_tx or t30_terminate, with the engine's lock held.
struct FaxEngine::Handlers {
    static int phaseB(t30_state_t*, void* user, int);
    static int phaseD(t30_state_t*, void* user, int);
    static void phaseE(t30_state_t*, void* user, int result);
};

int FaxEngine::Handlers::phaseB(t30_state_t*, void* user, int)
{
    auto* self = static_cast<FaxEngine*>(user);
    self->m_progress.negotiated = true;
    self->takeStatisticsLocked();
    return T30_ERR_OK;
}

int FaxEngine::Handlers::phaseD(t30_state_t*, void* user, int result)
{
    auto* self = static_cast<FaxEngine*>(user);
    const int before = self->m_progress.pagesDone;
    self->takeStatisticsLocked();
    // For a receiver the result is the post-page command: end of procedure, or more to come.
    // It counts only for a page that came in: one refused as too damaged is still awaited,
    // whatever the sender said of it.
    if (self->m_progress.pagesDone > before)
        self->m_progress.lastPageIn =
            self->m_role == Role::Receive && (result == T30_EOP || result == T30_PRI_EOP);
    self->checkLimitsLocked();
    return T30_ERR_OK;
}

void FaxEngine::Handlers::phaseE(t30_state_t*, void* user, int result)
{
    auto* self = static_cast<FaxEngine*>(user);
    if (self->m_progress.outcome != FaxProgress::Outcome::Running)
        return;
    self->takeStatisticsLocked();
    const QString reason = QString::fromLatin1(t30_completion_code_to_str(result));
    if (result == T30_ERR_OK)
        self->finishLocked(FaxProgress::Outcome::Completed, {});
    else if (!self->m_progress.negotiated)
        self->finishLocked(FaxProgress::Outcome::NotFax, reason);
    else if (isDisconnect(result))
        self->finishLocked(FaxProgress::Outcome::Dropped, reason);
    else
        self->finishLocked(FaxProgress::Outcome::Failed, reason);
}

void FaxEngine::takeStatisticsLocked()
{
    t30_stats_t stats;
    t30_get_transfer_statistics(m_session->t30, &stats);
    m_progress.bitRate = stats.bit_rate;
    m_progress.pagesDone = m_role == Role::Send ? stats.pages_tx : stats.pages_rx;
    m_progress.ecm = stats.error_correcting_mode != 0;
    m_progress.ecmRetries = stats.error_correcting_mode_retries;
}

FaxEngine::FaxEngine(Role role, const QString& file, const FaxOptions& options,
                     std::function<void()> finished)
    : m_role(role)
    , m_options(options)
    , m_finished(std::move(finished))
    , m_session(std::make_unique<Session>())
{
    Session& s = *m_session;
    s.file = QFile::encodeName(file);
    s.fax = fax_init(nullptr, role == Role::Send ? 1 : 0);
    if (!s.fax) {
        m_progress.outcome = FaxProgress::Outcome::Failed;
        m_progress.reason = QStringLiteral("The fax modem could not be started");
        m_notify = true; // told at the first step of audio
        return;
    }
    fax_set_transmit_on_idle(s.fax, 1);
    s.t30 = fax_get_t30_state(s.fax);
    setUpT30(options);
}

FaxEngine::FaxEngine(Role role, const QString& file, const FaxOptions& options,
                     std::function<void()> finished, IfpSink sendIfp)
    : m_role(role)
    , m_options(options)
    , m_finished(std::move(finished))
    , m_sendIfp(std::move(sendIfp))
    , m_session(std::make_unique<Session>())
{
    m_progress.t38 = true;
    Session& s = *m_session;
    s.file = QFile::encodeName(file);
    s.t38 = t38_terminal_init(
        nullptr, role == Role::Send ? 1 : 0,
        [](t38_core_state_t*, void* user, const uint8_t* buf, int len, int count) {
            auto* self = static_cast<FaxEngine*>(user);
            self->m_sendIfp(QByteArray(reinterpret_cast<const char*>(buf), len), count);
            return 0;
        },
        this);
    if (!s.t38) {
        m_progress.outcome = FaxProgress::Outcome::Failed;
        m_progress.reason = QStringLiteral("The T.38 fax terminal could not be started");
        m_notify = true;
        return;
    }
    // Training is not carried (transferredTCF is the rate management of UDP).
    t38_set_data_rate_management_method(t38_terminal_get_t38_core_state(s.t38), 2);
    s.t30 = t38_terminal_get_t30_state(s.t38);
    setUpT30(options);
}

void FaxEngine::setUpT30(const FaxOptions& options)
{
    Session& s = *m_session;
    const Role role = m_role;
    t30_set_tx_ident(s.t30, options.ident.left(20).toLatin1().constData());
    if (role == Role::Send)
        t30_set_tx_file(s.t30, s.file.constData(), -1, -1);
    else
        t30_set_rx_file(s.t30, s.file.constData(), -1);
    t30_set_supported_modems(s.t30, T30_SUPPORT_V27TER | T30_SUPPORT_V29 |
                                        (options.v17 ? T30_SUPPORT_V17 : 0));
    t30_set_supported_compressions(s.t30, T30_SUPPORT_T4_1D_COMPRESSION |
                                              T30_SUPPORT_T4_2D_COMPRESSION |
                                              (options.ecm ? T30_SUPPORT_T6_COMPRESSION : 0));
    t30_set_ecm_capability(s.t30, options.ecm ? 1 : 0);
    t30_set_phase_b_handler(s.t30, &Handlers::phaseB, this);
    t30_set_phase_d_handler(s.t30, &Handlers::phaseD, this);
    t30_set_phase_e_handler(s.t30, &Handlers::phaseE, this);
}

FaxEngine::~FaxEngine() = default;

void FaxEngine::exchange(const quint8* in, quint8* out, qsizetype count)
{
    bool notify = false;
    {
        QMutexLocker lock(&m_mutex);
        Session& s = *m_session;
        qsizetype done = 0;
        while (done < count) {
            const qsizetype n = qMin(count - done, kMaxStep);
            if (m_progress.outcome != FaxProgress::Outcome::Running || !s.fax) {
                std::memset(out + done, g711::ULAW_SILENCE, size_t(n));
                done += n;
                continue;
            }
            g711::decodeUlaw(in + done, s.in, n);
            fax_rx(s.fax, s.in, int(n));
            const int made = fax_tx(s.fax, s.out, int(n));
            if (made < n)
                std::memset(s.out + made, 0, size_t(n - made) * sizeof(qint16));
            g711::encodeUlaw(s.out, out + done, n);
            advanceLocked(n);
            done += n;
        }
        notify = std::exchange(m_notify, false);
    }
    if (notify && m_finished)
        m_finished();
}

void FaxEngine::advanceLocked(qsizetype n)
{
    m_progress.samples += n;
    // A page that grows too long is caught while it arrives: once a second is enough.
    if (m_role == Role::Receive && m_progress.negotiated &&
        (m_progress.samples - n) / 8000 != m_progress.samples / 8000)
        checkLimitsLocked();
    if (m_progress.outcome == FaxProgress::Outcome::Running && !m_progress.negotiated &&
        m_progress.samples > qint64(m_options.negotiateSeconds) * 8000) {
        finishLocked(FaxProgress::Outcome::NotFax,
                     QStringLiteral("No fax answer in %1 seconds").arg(m_options.negotiateSeconds));
        t30_terminate(m_session->t30);
    }
    if (m_progress.outcome == FaxProgress::Outcome::Running &&
        m_progress.samples > qint64(m_options.maxMinutes) * 60 * 8000) {
        finishLocked(
            FaxProgress::Outcome::Failed,
            QStringLiteral("The fax took longer than %1 minutes").arg(m_options.maxMinutes));
        t30_terminate(m_session->t30); // closes the received file before anyone reads it
    }
}

void FaxEngine::step(qsizetype samples)
{
    bool notify = false;
    {
        QMutexLocker lock(&m_mutex);
        Session& s = *m_session;
        if (s.t38 && m_progress.outcome == FaxProgress::Outcome::Running) {
            t38_terminal_send_timeout(s.t38, int(samples));
            advanceLocked(samples);
        }
        notify = std::exchange(m_notify, false);
    }
    if (notify && m_finished)
        m_finished();
}

void FaxEngine::takeIfp(quint16 sequence, const QByteArray& ifp)
{
    bool notify = false;
    {
        QMutexLocker lock(&m_mutex);
        Session& s = *m_session;
        if (s.t38 && m_progress.outcome == FaxProgress::Outcome::Running)
            t38_core_rx_ifp_packet(t38_terminal_get_t38_core_state(s.t38),
                                   reinterpret_cast<const uint8_t*>(ifp.constData()),
                                   int(ifp.size()), sequence);
        notify = std::exchange(m_notify, false);
    }
    if (notify && m_finished)
        m_finished();
}

FaxProgress FaxEngine::progress() const
{
    QMutexLocker lock(&m_mutex);
    return m_progress;
}

void FaxEngine::hangUp()
{
    bool notify = false;
    {
        QMutexLocker lock(&m_mutex);
        if (m_progress.outcome == FaxProgress::Outcome::Running) {
            if (m_session->t30)
                t30_terminate(m_session->t30); // may finish the session through phase E
            if (m_progress.outcome == FaxProgress::Outcome::Running)
                finishLocked(m_progress.negotiated ? FaxProgress::Outcome::Dropped
                                                   : FaxProgress::Outcome::NotFax,
                             QStringLiteral("The call ended"));
        }
        notify = std::exchange(m_notify, false);
    }
    if (notify && m_finished)
        m_finished();
}

void FaxEngine::finishLocked(FaxProgress::Outcome outcome, const QString& reason)
{
    if (m_progress.outcome != FaxProgress::Outcome::Running)
        return;
    m_progress.outcome = outcome;
    m_progress.reason = reason;
    m_notify = true;
}

// A received fax is bounded while it arrives: pages, page width and page length.
void FaxEngine::checkLimitsLocked()
{
    if (m_role != Role::Receive || m_progress.outcome != FaxProgress::Outcome::Running)
        return;
    t30_stats_t stats;
    t30_get_transfer_statistics(m_session->t30, &stats);
    const TiffLimits& limits = m_options.limits;
    QString reason;
    if (stats.pages_rx > limits.maxPages)
        reason = QStringLiteral("The fax has more than %1 pages").arg(limits.maxPages);
    else if (stats.length > limits.maxHeight)
        reason = QStringLiteral("A page is longer than %1 rows").arg(limits.maxHeight);
    else if (stats.width > 0 && stats.width > 4864) // the widest fax page: A3 at superfine
        reason = QStringLiteral("A page is %1 pixels wide").arg(stats.width);
    if (reason.isEmpty())
        return;
    finishLocked(FaxProgress::Outcome::Failed, reason);
    t30_terminate(m_session->t30);
}

} // namespace orvane::fax
