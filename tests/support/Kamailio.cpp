#include "Kamailio.h"

#include "Command.h"

#include "Signals.h"
#include "SipCaller.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::test {

namespace {

const char* const kModules = "/usr/lib/x86_64-linux-gnu/kamailio/modules/";

bool run(const QString& program, const QStringList& args, const QString& dir, QString* problem)
{
    CommandOptions options;
    options.workingDirectory = dir;
    return runCommand(program, args, problem, options);
}

// A key and a certificate for `name`, signed by the CA in `dir` (ca.pem, ca.key).
bool signedCertificate(const QString& dir, const QString& name, QString* problem)
{
    const QString ext = dir + QStringLiteral("/san.ext");
    return writeFile(ext, "subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n") &&
           run(QStringLiteral("openssl"),
               {"req", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key", "-out",
                name + ".csr", "-subj", "/CN=127.0.0.1"},
               dir, problem) &&
           run(QStringLiteral("openssl"),
               {"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-days", "2", "-out", name + ".pem", "-extfile", ext},
               dir, problem);
}

// Whether a socket of `type` can bind 127.0.0.1:`port` now, or (`connect`) reaches a
// listener there.
bool loopbackPort(int type, quint16 port, bool connect,
                  const QString& at = QStringLiteral("127.0.0.1"))
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, at.toLatin1().constData(), &a.sin_addr);
    a.sin_port = htons(port);
    const auto* address = reinterpret_cast<sockaddr*>(&a);
    const bool ok = fd >= 0 && (connect ? ::connect(fd, address, sizeof a) == 0
                                        : ::bind(fd, address, sizeof a) == 0);
    if (fd >= 0)
        ::close(fd);
    return ok;
}

} // namespace

bool makeTestCertificates(const QString& dir, TestCertificates* out, QString* problem)
{
    const auto ca = [&](const QString& name) {
        return run(QStringLiteral("openssl"),
                   {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", name + ".key",
                    "-out", name + ".pem", "-days", "2", "-subj", "/CN=Orvane test " + name},
                   dir, problem);
    };
    if (!ca(QStringLiteral("other-ca")) || !ca(QStringLiteral("ca")) ||
        !signedCertificate(dir, QStringLiteral("server"), problem) ||
        !signedCertificate(dir, QStringLiteral("line"), problem))
        return false;
    QFile cert(dir + QStringLiteral("/line.pem")), key(dir + QStringLiteral("/line.key"));
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly) ||
        !writeFile(dir + QStringLiteral("/line-both.pem"), cert.readAll() + key.readAll()))
        return false;
    out->ca = dir + QStringLiteral("/ca.pem");
    out->otherCa = dir + QStringLiteral("/other-ca.pem");
    out->server = dir + QStringLiteral("/server.pem");
    out->serverKey = dir + QStringLiteral("/server.key");
    out->line = dir + QStringLiteral("/line-both.pem");
    return true;
}

Kamailio::~Kamailio()
{
    if (m_process.state() != QProcess::NotRunning) {
        // kamailio stops its children itself on SIGTERM.
        ::kill(pid_t(m_process.processId()), SIGTERM);
        if (!m_process.waitForFinished(10000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString Kamailio::unavailable()
{
    if (!QFileInfo::exists(QStringLiteral("/usr/sbin/kamailio")))
        return QStringLiteral("kamailio is not installed (scripts/install-deps installs it)");
    if (!QFileInfo::exists(QString::fromLatin1(kModules) + QStringLiteral("tls.so")))
        return QStringLiteral("kamailio-tls-modules is not installed");
    if (::geteuid() != 0)
        return QStringLiteral("kamailio runs here as root only");
    return {};
}

bool Kamailio::start(const Options& o, QString* problem)
{
    if (!makeTestCertificates(m_dir.path(), &m_certs, problem))
        return false;
    // A port whose next one is free too (TLS listens there), on UDP and TCP.
    for (int attempt = 0; attempt < 50 && m_port == 0; ++attempt) {
        const quint16 p = freeUdpPort();
        if (p > 0 && p < 65000 && loopbackPort(SOCK_STREAM, p, false) &&
            loopbackPort(SOCK_STREAM, quint16(p + 1), false))
            m_port = p;
    }
    const QString tlsConf = m_dir.filePath(QStringLiteral("tls.cfg"));
    writeFile(tlsConf, QStringLiteral("[server:default]\nmethod = TLSv1.2+\n"
                                      "certificate = %1\nprivate_key = %2\nca_list = %3\n"
                                      "verify_certificate = no\nrequire_certificate = no\n\n"
                                      "[client:default]\nmethod = TLSv1.2+\n"
                                      "verify_certificate = no\nrequire_certificate = no\n")
                           .arg(m_certs.server, m_certs.serverKey, m_certs.ca)
                           .toUtf8());
    const QString did =
        o.didPrefix.isEmpty()
            ? QString()
            : QStringLiteral("    if ($rU =~ \"^%1\") {\n"
                             "        $var(did) = $rU;\n"
                             "        if (!lookup(\"location\", \"sip:%2@orvane.test\")) {\n"
                             "            sl_send_reply(\"480\", \"Trunk Not Registered\"); exit;\n"
                             "        }\n"
                             "        $rU = $var(did);\n"
                             "        t_relay(); exit;\n"
                             "    }\n")
                  .arg(o.didPrefix, o.trunkUser);
    const QString cfg =
        QStringLiteral(
            "#!KAMAILIO\n"
            "debug=2\nlog_stderror=yes\nchildren=2\ntcp_children=2\n"
            "listen=udp:%8:%1\nlisten=tcp:%8:%1\nlisten=tls:%8:%2\n"
            "enable_tls=yes\nalias=\"orvane.test\"\nauto_aliases=no\n"
            "mpath=\"%3\"\n"
            "loadmodule \"tls.so\"\nloadmodule \"tm.so\"\nloadmodule \"sl.so\"\n"
            "loadmodule \"rr.so\"\nloadmodule \"pv.so\"\nloadmodule \"maxfwd.so\"\n"
            "loadmodule \"usrloc.so\"\nloadmodule \"registrar.so\"\n"
            "loadmodule \"textops.so\"\nloadmodule \"siputils.so\"\nloadmodule \"auth.so\"\n"
            "loadmodule \"kex.so\"\nloadmodule \"xlog.so\"\n"
            "modparam(\"tls\", \"config\", \"%4\")\n"
            "modparam(\"usrloc\", \"db_mode\", 0)\n"
            "modparam(\"registrar\", \"min_expires\", %5)\n"
            "modparam(\"registrar\", \"min_expires_mode\", 1)\n"
            "modparam(\"rr\", \"enable_double_rr\", 1)\n"
            "request_route {\n"
            "    if (!mf_process_maxfwd_header(\"10\")) { sl_send_reply(\"483\", \"Too Many "
            "Hops\"); exit; }\n"
            "    if (has_totag()) {\n"
            "        if (loose_route()) { t_relay(); exit; }\n"
            "        if (is_method(\"ACK\")) { if (t_check_trans()) t_relay(); exit; }\n"
            "        sl_send_reply(\"404\", \"Not Here\"); exit;\n"
            "    }\n"
            "    if (is_method(\"CANCEL\")) { if (t_check_trans()) t_relay(); exit; }\n"
            "    if (is_method(\"INVITE\")) xlog(\"L_NOTICE\", \"INVITE from $si:$sp for $ru "
            "routed $(hdr(Route)[*])\\n\");\n"
            "    loose_route();\n"
            "    if (is_method(\"REGISTER\")) {\n"
            "        xlog(\"L_NOTICE\", \"REGISTER from $si:$sp over $pr for $tu contact "
            "$ct\\n\");\n"
            "        if (!pv_www_authenticate(\"$td\", \"%6\", \"0\")) {\n"
            "            www_challenge(\"$td\", \"0\"); exit;\n"
            "        }\n"
            "        append_to_reply(\"Service-Route: "
            "<sip:orvane-service@%8:%1;lr>\\r\\n\");\n"
            "        save(\"location\");\n"
            "        exit;\n"
            "    }\n"
            "    if (is_method(\"OPTIONS\") && uri == myself && $rU == $null) {\n"
            "        xlog(\"L_NOTICE\", \"OPTIONS from $si:$sp over $pr\\n\");\n"
            "        sl_send_reply(\"200\", \"OK\"); exit;\n"
            "    }\n"
            "    record_route();\n"
            "%7"
            "    if (!lookup(\"location\")) { sl_send_reply(\"404\", \"Not Found\"); exit; }\n"
            "    t_relay();\n"
            "}\n")
            .arg(m_port)
            .arg(m_port + 1)
            .arg(QString::fromLatin1(kModules), tlsConf)
            .arg(o.minExpires)
            .arg(o.password, did, o.address);
    const QString cfgPath = m_dir.filePath(QStringLiteral("kamailio.cfg"));
    if (!writeFile(cfgPath, cfg.toUtf8())) {
        *problem = QStringLiteral("cannot write %1").arg(cfgPath);
        return false;
    }
    if (!run({"-f", cfgPath}, problem))
        return false;
    // Ready once its TLS port takes connections.
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (loopbackPort(SOCK_STREAM, tlsPort(), true, o.address))
            return true;
        if (m_process.state() == QProcess::NotRunning)
            break;
        QTest::qWait(100);
    }
    *problem = QStringLiteral("kamailio did not come up: ") + log();
    return false;
}

bool Kamailio::startDispatcher(const QStringList& servers, QString* problem, int frTimerMs,
                               int pingSeconds)
{
    m_port = freeUdpPort();
    QString list;
    for (const QString& server : servers)
        list += QStringLiteral("1 sip:%1\n").arg(server);
    const QString listPath = m_dir.filePath(QStringLiteral("dispatcher.list"));
    if (!writeFile(listPath, list.toUtf8())) {
        *problem = QStringLiteral("cannot write %1").arg(listPath);
        return false;
    }
    if (!run({"-f", QStringLiteral(ORVANE_DISPATCHER_CFG), "-A",
              QStringLiteral("LISTEN=udp:127.0.0.1:%1").arg(m_port), "-A",
              QStringLiteral("DISPATCHER_LIST=\"%1\"").arg(listPath), "-A",
              QStringLiteral("FR_TIMER_MS=%1").arg(frTimerMs), "-A",
              QStringLiteral("PING_INTERVAL=%1").arg(pingSeconds)},
             problem))
        return false;
    // Ready once its UDP port is taken (requests wait in the socket until a child reads).
    QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (!loopbackPort(SOCK_DGRAM, m_port, false))
            return true;
        if (m_process.state() == QProcess::NotRunning)
            break;
        QTest::qWait(50);
    }
    *problem = QStringLiteral("kamailio did not come up: ") + log();
    return false;
}

bool Kamailio::run(const QStringList& arguments, QString* problem)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setWorkingDirectory(m_dir.path());
    m_process.start(QStringLiteral("/usr/sbin/kamailio"),
                    arguments + QStringList{"-DD", "-E", "-n", "1", "-m", "64", "-M", "8", "-Y",
                                            m_dir.path(), "-P",
                                            m_dir.filePath(QStringLiteral("kamailio.pid"))});
    if (!m_process.waitForStarted(10000)) {
        *problem = QStringLiteral("kamailio did not start");
        return false;
    }
    return true;
}

QString Kamailio::log()
{
    m_log += QString::fromLocal8Bit(m_process.readAll());
    return m_log;
}

int Kamailio::count(const QString& text)
{
    int n = 0;
    for (const QString& line : log().split(QLatin1Char('\n')))
        if (line.contains(text))
            ++n;
    return n;
}

} // namespace orvane::test
