#include "Postgres.h"

#include "Command.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace orvane::test {

namespace {

QString postgresBin()
{
    const QStringList versions =
        QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& v : versions)
        if (QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/postgres").arg(v)))
            return QStringLiteral("/usr/lib/postgresql/%1/bin").arg(v);
    return {};
}

} // namespace

QString Postgres::unavailable()
{
    if (postgresBin().isEmpty())
        return QStringLiteral("PostgreSQL is not installed (scripts/install-deps installs it)");
    if (!getpwnam("postgres"))
        return QStringLiteral("there is no postgres user to run the server as");
    if (geteuid() != 0)
        return QStringLiteral("the server is started as the postgres user, which needs root");
    return {};
}

Postgres::~Postgres()
{
    stop();
}

bool Postgres::runAsPostgres(const QString& program, const QStringList& arguments, QString* problem)
{
    CommandOptions options;
    options.timeoutMs = 60000;
    return runCommand(QStringLiteral("runuser"),
                      QStringList{QStringLiteral("-u"), QStringLiteral("postgres"),
                                  QStringLiteral("--"), m_bin + u'/' + program} +
                          arguments,
                      problem, options);
}

bool Postgres::start(QString* problem)
{
    m_bin = postgresBin();
    if (!m_dir.isValid()) {
        *problem = QStringLiteral("no temporary folder");
        return false;
    }
    // The postgres user owns the folder (the server insists on its own data folder).
    const struct passwd* pg = getpwnam("postgres");
    if (!pg || chown(QFile::encodeName(m_dir.path()).constData(), pg->pw_uid, pg->pw_gid) != 0) {
        *problem = QStringLiteral("the folder cannot be given to the postgres user");
        return false;
    }
    const QString data = m_dir.filePath(QStringLiteral("data"));
    // Started again after stop(): the same data.
    if (!QFile::exists(data + QStringLiteral("/PG_VERSION")) &&
        !runAsPostgres(QStringLiteral("initdb"),
                       {QStringLiteral("-D"), data, QStringLiteral("-A"), QStringLiteral("trust"),
                        QStringLiteral("-U"), QStringLiteral("orvane"), QStringLiteral("-E"),
                        QStringLiteral("UTF8")},
                       problem))
        return false;
    m_server.setProcessChannelMode(QProcess::MergedChannels);
    m_server.start(QStringLiteral("runuser"),
                   {QStringLiteral("-u"), QStringLiteral("postgres"), QStringLiteral("--"),
                    m_bin + QStringLiteral("/postgres"), QStringLiteral("-D"), data,
                    QStringLiteral("-k"), m_dir.path(), QStringLiteral("-c"),
                    QStringLiteral("listen_addresses="), QStringLiteral("-c"),
                    QStringLiteral("fsync=off")});
    const QString socket = m_dir.filePath(QStringLiteral(".s.PGSQL.5432"));
    if (!QTest::qWaitFor([&] { return QFile::exists(socket); }, 30000)) {
        *problem =
            QStringLiteral("postgres did not start: ") + QString::fromLocal8Bit(m_server.readAll());
        return false;
    }
    // The socket is there a moment before the server takes connections.
    if (!ready()) {
        *problem = QStringLiteral("postgres does not take connections: ") +
                   QString::fromLocal8Bit(m_server.readAll());
        return false;
    }
    return true;
}

bool Postgres::ready()
{
    return QTest::qWaitFor(
        [&] {
            QString ignored;
            return runAsPostgres(QStringLiteral("pg_isready"),
                                 {QStringLiteral("-h"), m_dir.path(), QStringLiteral("-U"),
                                  QStringLiteral("orvane"), QStringLiteral("-d"),
                                  QStringLiteral("postgres")},
                                 &ignored);
        },
        30000);
}

QString Postgres::uri(const QString& name, QString* problem)
{
    if (!runAsPostgres(QStringLiteral("createdb"),
                       {QStringLiteral("-h"), m_dir.path(), QStringLiteral("-U"),
                        QStringLiteral("orvane"), name},
                       problem))
        return {};
    return QStringLiteral("postgresql://orvane@/%1?host=%2").arg(name, m_dir.path());
}

void Postgres::stop()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(15000)) {
        m_server.kill();
        m_server.waitForFinished(5000);
    }
}

} // namespace orvane::test
