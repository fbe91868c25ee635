#pragma once

// The user's hooks: for every recorded call the executable `on-message`, for every received
// fax `on-fax`, both in the hooks folder, run with what was logged in their environment.
// A hook runs after the row is written and beside everything else: the call, its file and
// its row never wait for it, and a hook that fails or hangs only costs itself. It runs
// directly (never through a shell), with stdin on /dev/null, in its own process group, in
// the hooks folder; after kTimeoutMs the group is killed. Its exit and the first
// kOutputLimit bytes of its output (stdout and stderr) go to the line server's log.
//
// Thread: the server's main thread.

#include "line_server/line/LoggedEvent.h"

#include <QHash>
#include <QObject>
#include <QQueue>
#include <QSet>
#include <QString>

class QProcess;
class QTimer;

namespace orvane {

class EventHooks : public QObject {
    Q_OBJECT

public:
    static constexpr int kTimeoutMs = 30 * 1000;
    static constexpr int kMaxRunning = 4;
    // Events waiting beyond this are logged as not run: a burst while hooks hang cannot
    // grow without bound.
    static constexpr int kMaxWaiting = 256;
    static constexpr int kOutputLimit = 4096;
    // How long stop() lets running hooks finish before it kills them.
    static constexpr int kStopGraceMs = 2000;

    // How a hook ended.
    enum End { Exited, Crashed, TimedOut, FailedToStart, Stopped };
    Q_ENUM(End)

    explicit EventHooks(QObject* parent = nullptr);
    ~EventHooks() override;

    // $ORVANE_HOOKS_DIR when set, else Orvane/ in the user's configuration folder
    // ($XDG_CONFIG_HOME/Orvane, ~/.config/Orvane).
    static QString defaultFolder();
    QString folder() const { return m_folder; }
    void setFolder(const QString& folder) { m_folder = folder; }
    // For tests: a shorter limit than kTimeoutMs.
    void setTimeout(int ms) { m_timeoutMs = ms; }

    // Runs the event's hook, now or once fewer than kMaxRunning run. Returns at once.
    void run(const LoggedEvent& event);
    // Lets running hooks finish for at most `graceMs`, then kills them; waiting events are
    // logged as not run.
    void stop(int graceMs = kStopGraceMs);

    int running() const { return int(m_running.size()); }
    int waiting() const { return int(m_waiting.size()); }

Q_SIGNALS:
    // A hook has ended and been logged: its name, the event's file, how it ended, its exit
    // code (for Exited) and the output kept.
    void ended(const QString& hook, const QString& file, orvane::EventHooks::End end, int exitCode,
               const QByteArray& output);

private:
    struct Pending {
        QString program;
        LoggedEvent event;
    };
    struct Run {
        QString hook;
        QString what; // for the log: the line and the file
        QString file;
        QTimer* timer = nullptr;
        QByteArray output;
        qint64 dropped = 0;
        bool timedOut = false;
        bool stopped = false;
    };
    void start(const Pending& pending);
    void collect(QProcess* process);
    void finish(QProcess* process, End end, int exitCode, const QString& error = {});
    void startWaiting();
    static void killGroup(QProcess* process);

    QString m_folder;
    int m_timeoutMs = kTimeoutMs;
    bool m_stopping = false;
    QHash<QProcess*, Run> m_running;
    QQueue<Pending> m_waiting;
    QSet<QString> m_warnedNotExecutable;
};

} // namespace orvane
