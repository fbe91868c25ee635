#include "line_server/bus/EventHooks.h"

#include "line_server/line/LineLog.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace orvane {

namespace {

QString hookName(LoggedEvent::Kind kind)
{
    return kind == LoggedEvent::Kind::Message ? QStringLiteral("on-message")
                                              : QStringLiteral("on-fax");
}

QString describe(const LoggedEvent& event)
{
    return QStringLiteral("%1 (%2)").arg(QFileInfo(event.path).fileName(), event.line);
}

// Local time with its offset, so that a hook needs no time zone to read it; always as
// +hh:mm (Qt writes an offset of 0 as "Z").
QString isoTime(const QDateTime& time)
{
    if (!time.isValid())
        return {};
    const QDateTime local = time.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = qAbs(offset) / 60;
    return local.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QProcessEnvironment environmentFor(const LoggedEvent& event)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const bool message = event.kind == LoggedEvent::Kind::Message;
    env.insert(QStringLiteral("ORVANE_EVENT"),
               message ? QStringLiteral("message") : QStringLiteral("fax"));
    env.insert(QStringLiteral("ORVANE_LINE"), event.line);
    env.insert(QStringLiteral("ORVANE_CALLER"), event.callerNumber);
    env.insert(QStringLiteral("ORVANE_CALLER_NAME"), event.callerName);
    env.insert(QStringLiteral("ORVANE_KEYS"), event.keys);
    env.insert(QStringLiteral("ORVANE_TIME"), isoTime(event.time));
    env.insert(QStringLiteral("ORVANE_FILE"), event.path);
    // Only the count that belongs to the event, so that a stray one in the server's own
    // environment cannot pass for it; empty when unknown.
    const int count = message ? event.seconds : event.pages;
    const QString value = count >= 0 ? QString::number(count) : QString();
    env.insert(message ? QStringLiteral("ORVANE_SECONDS") : QStringLiteral("ORVANE_PAGES"), value);
    env.remove(message ? QStringLiteral("ORVANE_PAGES") : QStringLiteral("ORVANE_SECONDS"));
    return env;
}

// In the child, before exec: a group of its own, so that a timeout also ends whatever the
// hook started; its end with the server's; none of the server's descriptors (its sockets,
// the database) past exec. Only async-signal-safe calls here.
void childSetup()
{
    ::setpgid(0, 0);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
        for (int fd = 3; fd < 4096; ++fd) {
            const int flags = ::fcntl(fd, F_GETFD);
            if (flags >= 0)
                ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
        }
    }
}

// The hook's output as the log shows it: no control characters but line ends and tabs.
QString shownOutput(const QByteArray& output, qint64 dropped)
{
    QString text = QString::fromUtf8(output).trimmed();
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control && c != QLatin1Char('\n') &&
            c != QLatin1Char('\t'))
            c = QChar::ReplacementCharacter;
    if (dropped > 0)
        text += QStringLiteral("\n[%1 more bytes of output not kept]").arg(dropped);
    return text;
}

} // namespace

EventHooks::EventHooks(QObject* parent)
    : QObject(parent)
    , m_folder(defaultFolder())
{}

EventHooks::~EventHooks()
{
    stop();
}

QString EventHooks::defaultFolder()
{
    const QString overridden = qEnvironmentVariable("ORVANE_HOOKS_DIR");
    if (!overridden.isEmpty())
        return QDir(overridden).absolutePath();
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return config.isEmpty() ? QString() : QDir(config).filePath(QStringLiteral("Orvane"));
}

void EventHooks::run(const LoggedEvent& event)
{
    if (m_folder.isEmpty())
        return;
    const QString program = QDir(m_folder).filePath(hookName(event.kind));
    const QFileInfo hook(program);
    if (!hook.exists()) {
        qCDebug(lineLog).noquote() << "no hook" << program;
        return;
    }
    if (!hook.isFile() || !hook.isExecutable()) {
        // Once, not once a call: the user has seen it or will.
        if (!m_warnedNotExecutable.contains(program)) {
            m_warnedNotExecutable.insert(program);
            qCWarning(lineLog).noquote()
                << "the hook" << program << "is not an executable file: not run";
        }
        return;
    }
    m_warnedNotExecutable.remove(program);
    if (!m_stopping && m_running.size() < kMaxRunning) {
        start({program, event});
    } else if (!m_stopping && m_waiting.size() < kMaxWaiting) {
        m_waiting.enqueue({program, event});
    } else {
        qCWarning(lineLog).noquote()
            << "hook" << hookName(event.kind) << "not run for" << describe(event) << ":"
            << (m_stopping ? QStringLiteral("the line server ends")
                           : QStringLiteral("%1 hooks already wait").arg(m_waiting.size()));
    }
}

void EventHooks::start(const Pending& pending)
{
    auto* process = new QProcess(this);
    process->setProgram(pending.program);
    process->setWorkingDirectory(m_folder);
    process->setProcessEnvironment(environmentFor(pending.event));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setChildProcessModifier(childSetup);

    Run run;
    run.hook = hookName(pending.event.kind);
    run.what = describe(pending.event);
    run.file = pending.event.path;
    run.timer = new QTimer(process);
    run.timer->setSingleShot(true);
    run.timer->setInterval(m_timeoutMs);
    connect(run.timer, &QTimer::timeout, this, [this, process] {
        auto it = m_running.find(process);
        if (it == m_running.end())
            return;
        it->timedOut = true;
        killGroup(process);
    });
    connect(process, &QProcess::readyReadStandardOutput, this,
            [this, process] { collect(process); });
    connect(process, &QProcess::finished, this,
            [this, process](int exitCode, QProcess::ExitStatus status) {
                auto it = m_running.constFind(process);
                if (it == m_running.constEnd())
                    return;
                const End end = it->stopped                     ? Stopped
                                : it->timedOut                  ? TimedOut
                                : status == QProcess::CrashExit ? Crashed
                                                                : Exited;
                finish(process, end, exitCode);
            });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError error) {
        // A hook that started and then crashed still ends through finished().
        if (error == QProcess::FailedToStart)
            finish(process, FailedToStart, -1, process->errorString());
    });
    m_running.insert(process, run);
    run.timer->start();
    qCDebug(lineLog).noquote() << "hook" << run.hook << "started for" << run.what;
    process->start();
}

void EventHooks::collect(QProcess* process)
{
    auto it = m_running.find(process);
    if (it == m_running.end() || !process->isOpen())
        return;
    // Read all there is, keep the first kOutputLimit bytes: a chatty hook costs no memory.
    const QByteArray chunk = process->readAll();
    const qsizetype room = qMax<qsizetype>(0, kOutputLimit - it->output.size());
    const qsizetype kept = qMin(room, chunk.size());
    it->output += chunk.left(kept);
    it->dropped += chunk.size() - kept;
}

void EventHooks::finish(QProcess* process, End end, int exitCode, const QString& error)
{
    if (!m_running.contains(process))
        return;
    collect(process);
    const Run run = m_running.take(process);
    run.timer->stop();
    process->disconnect(this);
    process->deleteLater();

    QString how;
    switch (end) {
    case Exited:
        how = QStringLiteral("ended with exit code %1").arg(exitCode);
        break;
    case Crashed:
        how = QStringLiteral("crashed");
        break;
    case TimedOut:
        how = QStringLiteral("was killed after %1 s").arg(m_timeoutMs / 1000.0);
        break;
    case FailedToStart:
        how = QStringLiteral("could not be started: %1").arg(error);
        break;
    case Stopped:
        how = QStringLiteral("was killed: the line server ends");
        break;
    }
    QString text = QStringLiteral("hook %1 for %2 %3").arg(run.hook, run.what, how);
    const QString output = shownOutput(run.output, run.dropped);
    if (!output.isEmpty())
        text += QStringLiteral("; its output:\n") + output;
    if (end == Exited && exitCode == 0)
        qCInfo(lineLog).noquote() << text;
    else
        qCWarning(lineLog).noquote() << text;

    Q_EMIT ended(run.hook, run.file, end, end == Exited ? exitCode : -1, run.output);
    startWaiting();
}

void EventHooks::startWaiting()
{
    while (!m_stopping && m_running.size() < kMaxRunning && !m_waiting.isEmpty())
        start(m_waiting.dequeue());
}

void EventHooks::killGroup(QProcess* process)
{
    // The group is the hook's own (childSetup), its id the hook's pid; the hook is not yet
    // reaped, so neither id can be another's.
    const qint64 pid = process->processId();
    if (pid > 0)
        ::kill(-pid_t(pid), SIGKILL);
    process->kill();
}

void EventHooks::stop(int graceMs)
{
    m_stopping = true;
    while (!m_waiting.isEmpty()) {
        const Pending pending = m_waiting.dequeue();
        qCWarning(lineLog).noquote() << "hook" << hookName(pending.event.kind) << "not run for"
                                     << describe(pending.event) << ": the line server ends";
    }
    const QDeadlineTimer grace(graceMs);
    for (QProcess* process : m_running.keys())
        if (m_running.contains(process))
            process->waitForFinished(int(qMax<qint64>(0, grace.remainingTime())));
    for (QProcess* process : m_running.keys()) {
        m_running[process].stopped = true;
        killGroup(process);
        if (!process->waitForFinished(1000))
            finish(process, Stopped, -1);
    }
    m_stopping = false;
}

} // namespace orvane
