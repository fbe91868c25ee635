#pragma once

// A tolvex process of its own for a test, serving under `service` with the test's
// environment and what `environment` adds; killed at the end if it is still running.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include <sys/stat.h>

#include <csignal>

namespace orvane::test {

class ServerProcess {
public:
    // `wrapper`: a command that runs the server (ip netns exec NS), or none. `journal`: a
    // file that stands for the journal, as systemd connects a service's standard error to
    // it (named in JOURNAL_STREAM); empty: the test's own standard error.
    explicit ServerProcess(const QString& service,
                           const QProcessEnvironment& environment = QProcessEnvironment(),
                           const QStringList& wrapper = QStringList(),
                           const QString& journal = QString())
        : m_service(service)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(environment);
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        struct stat st {};
        if (!journal.isEmpty() && QFile(journal).open(QIODevice::WriteOnly) &&
            ::stat(QFile::encodeName(journal).constData(), &st) == 0) {
            env.insert(
                QStringLiteral("JOURNAL_STREAM"),
                QStringLiteral("%1:%2").arg(qulonglong(st.st_dev)).arg(qulonglong(st.st_ino)));
            m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
            m_process.setStandardErrorFile(journal, QIODevice::Append);
        }
        m_process.setProcessEnvironment(env);
        QStringList command =
            wrapper + QStringList{qEnvironmentVariable("ORVANE_TOLVEX"), "--service", service};
        m_process.start(command.first(), command.mid(1));
    }
    ~ServerProcess()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    bool onTheBus()
    {
        return QTest::qWaitFor(
            [&] {
                return m_process.state() == QProcess::Running &&
                       QDBusConnection::sessionBus().interface()->isServiceRegistered(m_service);
            },
            15000);
    }
    QString service() const { return m_service; }
    qint64 pid() const { return m_process.processId(); }
    bool signal(int number) const { return ::kill(pid_t(pid()), number) == 0; }
    // Whether it has ended, or ends within 10 s (QProcess alone answers false for a process
    // that ended before the call).
    bool waitForEnd()
    {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(10000);
    }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }

private:
    QString m_service;
    QProcess m_process;
};

} // namespace orvane::test
