#pragma once

// A real PostgreSQL server for tests (Debian's), made for the test alone: initdb into a
// temporary folder, the server listening on a Unix socket there and on no TCP port, no
// system service. It runs as the `postgres` system user (the server refuses root), trusts
// local connections, and is stopped at the end.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace orvane::test {

class Postgres {
public:
    ~Postgres();
    // Why it cannot run here (not installed, no postgres user), or empty.
    static QString unavailable();
    // Makes the server (once) and starts it; after stop(), starts it again on its data.
    bool start(QString* problem);
    // The URI of a database of its own, made for `name`: postgresql:///name?host=SOCKETDIR.
    QString uri(const QString& name, QString* problem);
    // Stops the server at once (as a machine that goes away would).
    void stop();

private:
    bool ready();
    bool runAsPostgres(const QString& program, const QStringList& arguments, QString* problem);
    QTemporaryDir m_dir;
    QProcess m_server;
    QString m_bin;
};

} // namespace orvane::test
