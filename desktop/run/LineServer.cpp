#include "desktop/run/LineServer.h"

#include "desktop/common/Messages.h"
#include "desktop/run/LineMessages.h"

#include <QCoreApplication>
#include <QDBusServiceWatcher>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <sys/prctl.h>

namespace orvane {

namespace {
constexpr int kStartWaitMs = 5000;
// A server left running for its standing lines: its QProcess is kept, never destroyed.
QProcess* g_leftRunning = nullptr;
} // namespace

LineServer::LineServer(QObject* parent)
    : QObject(parent)
    , m_watcher(new QDBusServiceWatcher(m_client.service(), m_client.bus(),
                                        QDBusServiceWatcher::WatchForRegistration |
                                            QDBusServiceWatcher::WatchForUnregistration,
                                        this))
    , m_messages(new LineMessages(m_client.bus(), m_client.service(), this))
    , m_process(new QProcess)
{
    connect(m_watcher, &QDBusServiceWatcher::serviceUnregistered, this, &LineServer::lost);
    connect(m_watcher, &QDBusServiceWatcher::serviceRegistered, this, &LineServer::appeared);
    m_process->setProcessChannelMode(QProcess::ForwardedChannels);
    // Should this program die without a word, the server it started is told (SIGUSR1) and
    // ends too, releasing its lines on the way, instead of lingering without a client;
    // unless it has standing lines, which it goes on answering.
    m_process->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGUSR1); });
}

LineServer::~LineServer()
{
    if (m_process->state() != QProcess::NotRunning && hasStandingLines()) {
        // Its standing lines go on answering: the process is left to run (its QProcess is
        // kept, not destroyed, which would end it).
        g_leftRunning = m_process;
        return;
    }
    // A server this program started ends with it; it releases its lines on the way.
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate();
        if (!m_process->waitForFinished(30000))
            m_process->kill();
    }
    delete m_process;
}

bool LineServer::hasStandingLines() const
{
    const Result<QList<QVariantMap>> lines = m_client.lineStatus();
    return lines && std::any_of(lines->cbegin(), lines->cend(), [](const QVariantMap& line) {
               return line.value(QStringLiteral("standing")).toBool();
           });
}

Result<LineHandle> LineServer::createLine()
{
    Result<LineHandle> line = m_client.createLine();
    if (line)
        m_messages->watch(line->path());
    return line;
}

QString LineServer::program()
{
    const QString configured = qEnvironmentVariable("ORVANE_TOLVEX");
    if (!configured.isEmpty())
        return configured;
    const QDir here(QCoreApplication::applicationDirPath());
    // Beside this program in the build tree; in libexec/orvane once installed.
    const QString beside = here.filePath(QStringLiteral("tolvex"));
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QDir::cleanPath(here.filePath(QStringLiteral(ORVANE_BIN_TO_TOLVEX "/tolvex")));
}

void LineServer::start()
{
    if (running() || m_process->state() != QProcess::NotRunning)
        return;
    m_process->start(program(), {QStringLiteral("--service"), m_client.service()});
}

void LineServer::launch()
{
    start();
    QTimer::singleShot(kStartWaitMs, this, [this] {
        if (running() || m_toldNotStarted)
            return;
        m_toldNotStarted = true;
        Messages::inform(tr("The line server (%1) did not start. Lines cannot be "
                            "answered until it runs.")
                             .arg(program()),
                         tr("Answering Machine"));
    });
}

bool LineServer::ensureRunning(int waitMs)
{
    if (running())
        return true;
    start();
    QDeadlineTimer deadline(waitMs);
    while (!running() && !deadline.hasExpired()) {
        if (m_process->state() == QProcess::NotRunning && !running())
            return false; // it ended without taking its name
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
    }
    return running();
}

} // namespace orvane
