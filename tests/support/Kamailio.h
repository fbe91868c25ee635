#pragma once

// A real SIP registrar and proxy for tests: kamailio (Debian's), started in the foreground
// with a configuration we write, on loopback: UDP and TCP on one port, TLS on the next,
// with a certificate signed by a CA the test makes. Or: the dispatcher in front of several
// line servers, as docs/kamailio/kamailio.cfg configures it. It challenges every REGISTER (one
// password for every user), keeps registrations in memory, answers 423 below a minimum
// lifetime, returns a Service-Route, routes calls to registered users (record-routing
// them; each INVITE logged with its Route), delivers calls for DIDs to the registered trunk user
// with the DID kept in the Request-URI, answers OPTIONS, and logs each REGISTER and OPTIONS it
// takes.

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace orvane::test {

// Certificates made with openssl for loopback (subjectAltName IP:127.0.0.1).
struct TestCertificates {
    QString ca;        // the CA's certificate
    QString server;    // kamailio's certificate
    QString serverKey; // and its key
    QString line;      // a line's certificate and key in one PEM
    QString otherCa;   // a CA that signed none of them
};
bool makeTestCertificates(const QString& dir, TestCertificates* out, QString* problem);

class Kamailio {
public:
    struct Options {
        QString password = QStringLiteral("s3cret");
        int minExpires = 0; // below it: 423 with Min-Expires
        QString didPrefix;  // calls for users starting with it go to `trunkUser`
        QString trunkUser;
        QString address = QStringLiteral("127.0.0.1"); // where it listens
    };

    ~Kamailio();
    // Why it cannot run here (not installed, not root), or empty.
    static QString unavailable();
    bool start(const Options& options, QString* problem);
    // Instead: the dispatcher configuration Orvane ships (docs/kamailio/kamailio.cfg), on a
    // UDP port of loopback, spreading calls over `servers` ("127.0.0.1:5070"...). A server
    // that does not answer an INVITE within `frTimerMs` is given up; failed servers are
    // probed every `pingSeconds`.
    bool startDispatcher(const QStringList& servers, QString* problem, int frTimerMs = 1000,
                         int pingSeconds = 1);
    quint16 port() const { return m_port; } // UDP and TCP
    quint16 tlsPort() const { return m_port + 1; }
    const TestCertificates& certificates() const { return m_certs; }
    // What it logged so far.
    QString log();
    // How many lines of its log contain `text`.
    int count(const QString& text);

private:
    bool run(const QStringList& arguments, QString* problem);
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_log;
    quint16 m_port = 0;
    TestCertificates m_certs;
};

} // namespace orvane::test
