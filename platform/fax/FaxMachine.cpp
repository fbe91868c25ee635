#include "platform/fax/FaxMachine.h"

#include "platform/FreeName.h"

#include "platform/fax/FaxOnCall.h"
#include "platform/fax/FaxOutcome.h"
#include "platform/fax/FaxStatus.h"
#include "platform/fax/TiffFax.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <csignal>

namespace orvane::faxstatus {

bool isFinal(const QString& status)
{
    static const char* const finals[] = {
        Busy,      Unavailable, NoAnswer,        BadAddress, NoDialTone, Disconnected, FatalError,
        Completed, NotAFaxCall, CallBlacklisted, Offline,    Aborting,   CallDelayed};
    for (const char* f : finals)
        if (status == QLatin1String(f))
            return true;
    return false;
}

} // namespace orvane::faxstatus

namespace orvane::fax {

Q_LOGGING_CATEGORY(faxLog, "orvane.fax")

namespace {

// What a call that never connected says about the far end.
const char* statusForCause(int cause)
{
    switch (cause) {
    case tapi::CEC_DISCONNECT_BUSY:
        return faxstatus::Busy;
    case tapi::CEC_DISCONNECT_NOANSWER:
        return faxstatus::NoAnswer;
    case tapi::CEC_DISCONNECT_BADADDRESS:
        return faxstatus::BadAddress;
    case tapi::CEC_DISCONNECT_BLOCKED:
        return faxstatus::CallBlacklisted;
    case tapi::CEC_DISCONNECT_REJECTED:
    case tapi::CEC_DISCONNECT_FAILED:
        return faxstatus::Unavailable;
    default:
        return faxstatus::Disconnected;
    }
}

const char* statusForOutcome(FaxProgress::Outcome outcome)
{
    switch (outcome) {
    case FaxProgress::Outcome::Completed:
        return faxstatus::Completed;
    case FaxProgress::Outcome::NotFax:
        return faxstatus::NotAFaxCall;
    case FaxProgress::Outcome::Dropped:
        return faxstatus::Disconnected;
    default:
        return faxstatus::FatalError;
    }
}

Result<QString> keepUnder(const QString& partPath, const QString& folder, const QString& suffix)
{
    return fileReceivedFax(partPath, folder, suffix);
}

// Part files a line server left in `folder` when it ended without finishing them (their
// process is gone): nothing will ever complete them. Pages that did arrive are kept as an
// incomplete fax; a part without a page is removed. Those of running processes stay.
void removeAbandonedParts(const QString& folder)
{
    static const QRegularExpression name(
        QStringLiteral("^\\.fax-(sent-)?(\\d+)(?:-\\d+)?\\.part$"));
    const QDir dir(folder);
    const QStringList parts =
        dir.entryList({QStringLiteral(".fax-*.part")}, QDir::Files | QDir::Hidden);
    for (const QString& part : parts) {
        const QRegularExpressionMatch m = name.match(part);
        const pid_t pid = pid_t(m.captured(2).toLongLong());
        if (!m.hasMatch() || pid <= 0 || ::kill(pid, 0) == 0 || errno != ESRCH)
            continue;
        const QString path = dir.filePath(part);
        // A copy of a sent fax is only a copy; a received one may be all there is.
        if (m.captured(1).isEmpty() && inspectTiff(path)) {
            if (Result<QString> kept = keepUnder(path, folder, QStringLiteral("-incomplete")))
                qCInfo(faxLog).noquote() << "kept the pages of" << path << "left behind by an "
                                         << "ended line server as" << kept.value();
            continue;
        }
        if (QFile::remove(path))
            qCInfo(faxLog).noquote() << "removed" << path << "left behind by an ended line server";
    }
}
} // namespace

FaxMachine::FaxMachine(std::unique_ptr<Telephony> telephony, QObject* parent)
    : QObject(parent)
    , m_telephony(telephony ? std::move(telephony) : createTelephony())
    , m_status(QString::fromLatin1(faxstatus::Idle))
{}

FaxMachine::~FaxMachine()
{
    // A fax that was arriving when its job was ended keeps the pages that came.
    keepPagesSoFar();
    hangUpAndRelease();
    // Conversions still running cannot be interrupted; their results are thrown away.
    for (auto* watcher : findChildren<QFutureWatcher<Result<PreparedDocument>>*>())
        watcher->waitForFinished();
    if (m_cookie != 0)
        m_telephony->unregisterNotifications(m_cookie);
    if (m_initialized)
        m_telephony->shutdown();
    if (!m_partPath.isEmpty())
        QFile::remove(m_partPath);
}

void FaxMachine::chooseLine(const QString& addressName)
{
    m_line = addressName;
}

QString FaxMachine::status() const
{
    if (!m_running || !m_session)
        return m_status;
    const FaxProgress p = m_session->progress();
    if (!p.negotiated)
        return m_status;
    if (m_mode == Mode::Send)
        return QString::fromLatin1(faxstatus::SendingPage)
            .arg(qMin(p.pagesDone + 1, qMax(m_pages, 1)))
            .arg(m_pages);
    return QString::fromLatin1(faxstatus::ReceivingPage)
        .arg(p.lastPageIn ? p.pagesDone : p.pagesDone + 1);
}

void FaxMachine::setStatus(const QString& status)
{
    m_status = status;
}

void FaxMachine::finish(const char* status, const QString& reason)
{
    if (!m_running)
        return;
    m_running = false;
    m_reason = reason;
    if (!reason.isEmpty())
        qCWarning(faxLog).noquote() << "fax on" << m_line << "ended" << status << "-" << reason;
    // A fax that was still arriving keeps the pages that came, as a dropped call would.
    keepPagesSoFar();
    hangUpAndRelease();
    // A document still being prepared belongs to this job only.
    m_prepare = nullptr;
    setStatus(QString::fromLatin1(status));
    emit finished(m_status);
}

void FaxMachine::keepPagesSoFar()
{
    if (m_partPath.isEmpty())
        return;
    const int pages = m_session ? m_session->progress().pagesDone : 0;
    if (m_session)
        m_session->stop(); // the engine writes no more into the part
    const QString part = std::exchange(m_partPath, QString());
    if (pages > 0 && inspectTiff(part, m_options.limits)) {
        if (Result<QString> kept = keepUnder(part, m_folder, QStringLiteral("-incomplete")))
            qCWarning(faxLog).noquote() << "the pages received so far were kept as" << kept.value();
        else // they stay in their part file, never removed for want of a name
            qCWarning(faxLog).noquote()
                << "the pages received are in" << part << ":" << kept.status().description();
        return;
    }
    QFile::remove(part);
}

Status FaxMachine::ensureLine()
{
    if (!m_initialized) {
        if (Status s = m_telephony->initialize(); !s)
            return s;
        m_telephony->setEventFilter(tapi::EVENT_FILTER_ALL);
        m_initialized = true;
    }
    if (m_cookie != 0 && m_boundLine == m_line)
        return {};
    if (m_cookie != 0) {
        m_telephony->unregisterNotifications(m_cookie);
        m_cookie = 0;
    }
    Result<QList<TelephonyAddress>> addresses = m_telephony->addresses();
    if (!addresses)
        return addresses.status();
    bool found = false;
    for (const TelephonyAddress& a : addresses.value())
        found = found || (a.name == m_line && a.audio);
    if (!found)
        return Status(err::NoDevice, QStringLiteral("No voice line is called \"%1\"").arg(m_line));
    Result<qint32> cookie = m_telephony->registerCallNotifications(
        m_line, true, true, tapi::TAPIMEDIATYPE_AUDIO, 0, this);
    if (!cookie)
        return cookie.status();
    m_cookie = cookie.value();
    m_boundLine = m_line;
    return {};
}

Status FaxMachine::send(const QString& number, const QString& document, const QString& folder)
{
    if (m_running)
        return Status(err::InvalidState, QStringLiteral("A fax job is already running"));
    m_mode = Mode::Send;
    m_running = true;
    m_reason.clear();
    m_number = number.trimmed();
    m_keepFolder = folder.trimmed();
    m_lastProgress = {};
    setStatus(QString::fromLatin1(faxstatus::Preparing));

    m_work =
        std::make_unique<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("orvane-fax-XXXXXX")));
    if (!m_work->isValid()) {
        finish(faxstatus::FatalError,
               QStringLiteral("No working folder for the document: %1").arg(m_work->errorString()));
        return {};
    }
    // Word-processor documents take seconds to convert: away from the line's thread.
    auto* watcher = new QFutureWatcher<Result<PreparedDocument>>(this);
    m_prepare = watcher;
    connect(watcher, &QFutureWatcherBase::finished, this,
            [this, watcher] { documentReady(watcher); });
    m_prepare->setFuture(
        QtConcurrent::run(prepareDocument, document, m_work->path(), localPaper()));
    return {};
}

void FaxMachine::documentReady(QFutureWatcher<Result<PreparedDocument>>* watcher)
{
    watcher->deleteLater();
    if (watcher != m_prepare)
        return; // the document of a job that was ended meanwhile
    m_prepare = nullptr;
    const Result<PreparedDocument> prepared = watcher->result();
    if (!m_running)
        return;
    if (!prepared) {
        finish(faxstatus::FatalError, prepared.status().description());
        return;
    }
    m_tiff = prepared->tiffPath;
    m_pages = prepared->pages;
    dial();
}

// A copy of the pages as sent, for the user's records, once they have gone out. The copy is
// made inside the folder first, so that taking its name never crosses file systems.
void FaxMachine::keepSentCopy()
{
    if (!QDir().mkpath(m_keepFolder)) {
        qCWarning(faxLog).noquote() << "The folder" << m_keepFolder << "cannot be created";
        return;
    }
    removeAbandonedParts(m_keepFolder);
    const QString part =
        QDir(m_keepFolder)
            .filePath(QStringLiteral(".fax-sent-%1.part").arg(QCoreApplication::applicationPid()));
    QFile::remove(part);
    Result<QString> kept =
        QFile::copy(m_tiff, part)
            ? keepUnder(part, m_keepFolder, QStringLiteral("-sent"))
            : Result<QString>(
                  Status(err::CannotCreate,
                         QStringLiteral("The pages cannot be copied into %1").arg(m_keepFolder)));
    QFile::remove(part);
    if (!kept)
        qCWarning(faxLog).noquote() << kept.status().description();
}

void FaxMachine::dial()
{
    if (Status s = ensureLine(); !s) {
        finish(s.code() == err::NoDevice ? faxstatus::Offline : faxstatus::NoDialTone,
               s.description());
        return;
    }
    setStatus(QString::fromLatin1(faxstatus::Dialing).arg(m_number));
    Result<std::shared_ptr<TelephonyCall>> call = m_telephony->createCall(m_line, m_number);
    if (!call) {
        finish(call.status().code() == err::InvalidState ? faxstatus::Unavailable
                                                         : faxstatus::NoDialTone,
               call.status().description());
        return;
    }
    m_call = call.value();
}

Status FaxMachine::receive(const QString& folder, int printFlag)
{
    if (m_running)
        return Status(err::InvalidState, QStringLiteral("A fax job is already running"));
    m_mode = Mode::Receive;
    m_running = true;
    m_reason.clear();
    m_folder = folder; // as given: the line logs the path under the same name
    m_printFlag = printFlag;
    m_receivedFile.clear();
    m_lastProgress = {};
    setStatus(QString::fromLatin1(faxstatus::Waiting));
    if (m_folder.trimmed().isEmpty() || !QDir().mkpath(m_folder) ||
        !QFileInfo(m_folder).isWritable()) {
        finish(faxstatus::FatalError,
               QStringLiteral("Received faxes cannot be saved in the folder \"%1\"").arg(m_folder));
        return {};
    }
    removeAbandonedParts(m_folder);
    if (Status s = ensureLine(); !s) {
        finish(s.code() == err::NoDevice ? faxstatus::Offline : faxstatus::NoDialTone,
               s.description());
        return {};
    }
    // A call that rang while the previous fax was being filed is taken now.
    if (m_call && m_call->state() == tapi::CS_OFFERING)
        answerOffered();
    return {};
}

void FaxMachine::answerOffered()
{
    setStatus(QString::fromLatin1(faxstatus::Answering));
    if (Status s = m_call->answer(); !s) {
        qCWarning(faxLog).noquote() << "cannot answer on" << m_line << s.toString();
        m_call.reset();
        setStatus(QString::fromLatin1(faxstatus::Waiting));
    }
}

void FaxMachine::end()
{
    if (m_running) {
        finish(faxstatus::Aborting, QStringLiteral("The job was ended before it was done"));
        return;
    }
    hangUpAndRelease();
    m_work.reset();
    m_mode = Mode::None;
}

void FaxMachine::tapiEvent(const TapiEvent& event)
{
    switch (event.kind) {
    case tapi::TE_CALLNOTIFICATION:
        // Only a receive job takes incoming calls; one at a time.
        if (m_mode != Mode::Receive || m_call || !event.call ||
            event.call->privilege() != tapi::CP_OWNER)
            return;
        m_call = event.call;
        if (m_running)
            answerOffered();
        return;
    case tapi::TE_CALLSTATE:
        if (event.call && m_call && event.call->id() == m_call->id())
            callStateChanged(event);
        return;
    default:
        return;
    }
}

void FaxMachine::callStateChanged(const TapiEvent& event)
{
    switch (event.callState) {
    case tapi::CS_CONNECTED:
        if (m_running && !m_session)
            startExchange();
        return;
    case tapi::CS_DISCONNECTED:
        if (m_session) {
            // The engine decides how the fax went; its end arrives as exchangeFinished().
            m_session->hangUp();
            return;
        }
        m_call.reset();
        if (!m_running)
            return;
        if (m_mode == Mode::Send)
            finish(statusForCause(event.cause),
                   QStringLiteral("The call to %1 did not connect").arg(m_number));
        else
            setStatus(QString::fromLatin1(faxstatus::Waiting)); // the caller gave up ringing
        return;
    default:
        return;
    }
}

void FaxMachine::startExchange()
{
    Result<std::unique_ptr<LineMedia>> media = m_telephony->createLineMedia();
    Result<qint32> id = media ? media.value()->waveDeviceId(m_call, tapi::LINE_MEDIA_WAVE_DEVICE)
                              : Result<qint32>(media.status());
    std::shared_ptr<WaveDevice> device = id ? WaveDeviceRegistry::find(id.value()) : nullptr;
    if (!device) {
        finish(faxstatus::FatalError,
               QStringLiteral("The call has no audio: %1").arg(id.status().description()));
        return;
    }
    QString file = m_tiff;
    if (m_mode == Mode::Receive) {
        m_partPath = QDir(m_folder).filePath(QStringLiteral(".fax-%1-%2.part")
                                                 .arg(QCoreApplication::applicationPid())
                                                 .arg(m_call->id()));
        QFile::remove(m_partPath);
        file = m_partPath;
    }
    setStatus(QString::fromLatin1(faxstatus::Connected));
    const auto role = m_mode == Mode::Send ? FaxEngine::Role::Send : FaxEngine::Role::Receive;
    QPointer<FaxMachine> self(this);
    Result<std::shared_ptr<FaxCallSession>> session =
        FaxCallSession::start(device, role, file, m_options, [self] {
            // On the audio thread: only hand the news over to ours.
            QMetaObject::invokeMethod(
                self.data(),
                [self] {
                    if (self)
                        self->exchangeFinished();
                },
                Qt::QueuedConnection);
        });
    if (!session) {
        finish(faxstatus::FatalError, session.status().description());
        return;
    }
    m_session = session.value();
}

void FaxMachine::exchangeFinished()
{
    if (!m_session || m_session->progress().outcome == FaxProgress::Outcome::Running)
        return;
    const FaxProgress progress = m_session->progress();
    m_lastProgress = progress;
    m_session->stop();
    if (m_mode == Mode::Receive) {
        keepReceivedFax(progress);
        return;
    }
    if (progress.outcome == FaxProgress::Outcome::Completed && !m_keepFolder.isEmpty())
        keepSentCopy();
    finish(statusForOutcome(progress.outcome), progress.reason);
}

void FaxMachine::keepReceivedFax(const FaxProgress& progress)
{
    const QString part = std::exchange(m_partPath, QString());
    if (progress.outcome != FaxProgress::Outcome::Completed) {
        // Pages that did arrive are kept, under a name that says the fax is incomplete.
        if (progress.pagesDone > 0 && inspectTiff(part, m_options.limits)) {
            Result<QString> kept = keepUnder(part, m_folder, QStringLiteral("-incomplete"));
            if (kept)
                qCWarning(faxLog).noquote() << "an incomplete fax was kept as" << kept.value();
            else // the pages stay in their part file, never removed for want of a name
                qCWarning(faxLog).noquote()
                    << "the pages received are in" << part << ":" << kept.status().description();
        } else {
            QFile::remove(part);
        }
        finish(statusForOutcome(progress.outcome), progress.reason);
        return;
    }
    // Checked before it is kept: a file that is not a sound fax is not filed.
    Result<TiffSummary> summary = inspectTiff(part, m_options.limits);
    if (!summary) {
        QFile::remove(part);
        finish(faxstatus::FatalError, QStringLiteral("The received fax is not usable: %1")
                                          .arg(summary.status().description()));
        return;
    }
    Result<QString> kept = keepUnder(part, m_folder, {});
    if (!kept) {
        // The fax is whole in its part file: it stays there, and the reason says so.
        finish(faxstatus::FatalError, QStringLiteral("The received fax is kept as %1: %2")
                                          .arg(part, kept.status().description()));
        return;
    }
    m_receivedFile = kept.value();
    if (m_printFlag == 1)
        print(QDir(m_folder).filePath(m_receivedFile));
    finish(faxstatus::Completed);
}

void FaxMachine::print(const QString& path)
{
    const QString lp = QStandardPaths::findExecutable(QStringLiteral("lp"));
    if (lp.isEmpty()) {
        printingFailed(path, QStringLiteral("lp is not installed (Debian package cups-client)"));
        return;
    }
    auto* process = new QProcess(this);
    process->setProcessChannelMode(QProcess::MergedChannels);
    connect(process, &QProcess::finished, process,
            [this, process, path](int code, QProcess::ExitStatus how) {
                if (how != QProcess::NormalExit || code != 0) {
                    const QString said = QString::fromLocal8Bit(process->readAll()).trimmed();
                    printingFailed(path, said.isEmpty() ? QStringLiteral("lp failed") : said);
                }
                process->deleteLater();
            });
    connect(process, &QProcess::errorOccurred, process,
            [this, process, path](QProcess::ProcessError e) {
                if (e == QProcess::FailedToStart) {
                    printingFailed(path, QStringLiteral("lp did not start"));
                    process->deleteLater();
                }
            });
    process->start(lp, {QStringLiteral("--"), path});
}

void FaxMachine::printingFailed(const QString& path, const QString& reason)
{
    qCWarning(faxLog).noquote() << "printing" << path << "failed:" << reason;
    emit printFailed(path, reason);
}

void FaxMachine::hangUpAndRelease()
{
    if (m_session) {
        m_session->stop();
        m_lastProgress = m_session->progress();
        m_session.reset();
    }
    if (m_call) {
        if (m_call->state() != tapi::CS_DISCONNECTED)
            m_call->disconnect(tapi::DC_NORMAL);
        m_call.reset();
    }
}

QString FaxMachine::outcome() const
{
    return outcomeText(m_lastProgress,
                       m_mode == Mode::Send ? FaxEngine::Role::Send : FaxEngine::Role::Receive);
}

QVariantMap FaxMachine::outcomeFacts() const
{
    return m_lastProgress.negotiated ? fax::outcomeFacts(m_lastProgress) : QVariantMap();
}

void FaxMachine::onPrintFailed(std::function<void(const QString&, const QString&)> handler)
{
    connect(this, &FaxMachine::printFailed, this, std::move(handler));
}

std::unique_ptr<Fax> createFax()
{
    return std::make_unique<FaxMachine>();
}

} // namespace orvane::fax
