// SIP lines with a registrar: a line registers with digest authentication when it starts
// and registers again before the registration runs out (the registrar is sipp, challenging
// the first REGISTER and granting 2 seconds). A registration refused, challenged in vain
// or never answered, and a SIP port another program holds, leave the line in error with
// the reason told; a registration refused later puts a running line out of service.

#include "SipCaller.h"
#include "TestServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace orvane;

namespace {

const char* const kRegistrar = R"(<?xml version="1.0" encoding="ISO-8859-1" ?>
<scenario name="registrar">
<recv request="REGISTER"/>
<send><![CDATA[
SIP/2.0 401 Unauthorized
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
WWW-Authenticate: Digest realm="orvane.test", nonce="5f3a9c1e", algorithm=MD5
Content-Length: 0
]]></send>
<recv request="REGISTER">
  <action><verifyauth assign_to="authorized" username="frontdesk" password="s3cret"/></action>
</recv>
<nop hide="true" test="authorized" next="granted"/>
<recv request="NOTHING" timeout="100"/>
<label id="granted"/>
<send><![CDATA[
SIP/2.0 200 OK
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Contact: <sip:frontdesk@127.0.0.1:LINEPORT>;expires=2
Expires: 2
Content-Length: 0
]]></send>
<recv request="REGISTER" timeout="15000"/>
<send><![CDATA[
SIP/2.0 401 Unauthorized
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
WWW-Authenticate: Digest realm="orvane.test", nonce="77aa01bc", algorithm=MD5
Content-Length: 0
]]></send>
<recv request="REGISTER">
  <action><verifyauth assign_to="again" username="frontdesk" password="s3cret"/></action>
</recv>
<nop hide="true" test="again" next="renewed"/>
<recv request="NOTHING" timeout="100"/>
<label id="renewed"/>
<send><![CDATA[
SIP/2.0 200 OK
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Contact: <sip:frontdesk@127.0.0.1:LINEPORT>;expires=600
Expires: 600
Content-Length: 0
]]></send>
</scenario>
)";

// A registrar of the test's own on UDP ports of loopback, on a thread of its own (the test's
// thread is blocked while a line binds). Per port: refuse every REGISTER (403), challenge
// every one (401, whatever the credentials), or grant each for 2 seconds until told to
// refuse from then on.
class MiniRegistrar {
public:
    enum class Answer { Forbid, ChallengeAlways, GrantUntilTold };

    ~MiniRegistrar()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        for (const Port& p : m_ports)
            ::close(p.fd);
    }

    quint16 add(Answer answer)
    {
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(a);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0 ||
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return 0;
        m_ports.append({fd, answer, 0});
        return ntohs(a.sin_port);
    }

    void start()
    {
        m_thread = std::thread([this] { serve(); });
    }

    void refuseFromNow() { m_refuse = true; }

private:
    struct Port {
        int fd;
        Answer answer;
        int seen;
    };

    void serve()
    {
        while (!m_stop) {
            QVector<pollfd> fds;
            for (const Port& p : m_ports)
                fds.append({p.fd, POLLIN, 0});
            if (::poll(fds.data(), nfds_t(fds.size()), 50) <= 0)
                continue;
            for (int i = 0; i < fds.size(); ++i)
                if (fds[i].revents & POLLIN)
                    answer(m_ports[i]);
        }
    }

    void answer(Port& port)
    {
        char buffer[8192];
        sockaddr_in from{};
        socklen_t len = sizeof(from);
        const ssize_t n =
            ::recvfrom(port.fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0 || !QByteArray(buffer, int(n)).startsWith("REGISTER"))
            return;
        QByteArray headers, contact;
        for (const QByteArray& line : QByteArray(buffer, int(n)).split('\n')) {
            const QByteArray l = line.trimmed();
            const QByteArray lower = l.toLower();
            if (lower.startsWith("via:") || lower.startsWith("from:") ||
                lower.startsWith("call-id:") || lower.startsWith("cseq:"))
                headers += l + "\r\n";
            else if (lower.startsWith("to:"))
                headers += l + ";tag=mini" + QByteArray::number(port.fd) + "\r\n";
            else if (lower.startsWith("contact:"))
                contact = "Contact: " + l.mid(l.indexOf('<'), l.indexOf('>') - l.indexOf('<') + 1);
        }
        QByteArray reply;
        const int seen = port.seen++;
        if (port.answer == Answer::GrantUntilTold && !m_refuse)
            reply = "SIP/2.0 200 OK\r\n" + headers + contact +
                    ";expires=2\r\nExpires: 2\r\nContent-Length: 0\r\n\r\n";
        else if (port.answer == Answer::ChallengeAlways)
            reply = "SIP/2.0 401 Unauthorized\r\n" + headers +
                    "WWW-Authenticate: Digest realm=\"orvane.test\", nonce=\"n" +
                    QByteArray::number(seen) + "\", algorithm=MD5\r\nContent-Length: 0\r\n\r\n";
        else
            reply = "SIP/2.0 403 Forbidden\r\n" + headers + "Content-Length: 0\r\n\r\n";
        ::sendto(port.fd, reply.constData(), size_t(reply.size()), 0,
                 reinterpret_cast<sockaddr*>(&from), len);
    }

    QList<Port> m_ports;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_refuse{false};
};

} // namespace

class TestSipRegistration : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    MiniRegistrar m_mini;
    quint16 m_registrarPort = 0, m_linePort = 0;
    int m_takenFd = -1;
    std::unique_ptr<test::TestServer> m_server;

    // Binds the line; returns what its first message said.
    QString bindFailing(const QString& name, qint16 row, LineHandle* line)
    {
        *line = m_server->newLine();
        QSignalSpy boxes(line->events(), &LineEvents::messageBox);
        line->InitTAPI(name, m_server->gridExport(), row, m_dir.path());
        if (line->getMessage().value() != QLatin1String("ERROR"))
            return QStringLiteral("(bound)");
        if (!QTest::qWaitFor([&] { return !boxes.isEmpty(); }, 10000))
            return QStringLiteral("(no message)");
        return boxes.first().first().toString();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_dir.setAutoRemove(qEnvironmentVariableIsEmpty("ORVANE_TEST_KEEP"));
        // The ports held for the whole test first (the mini registrar's, and one another
        // program holds, as a SIP program that lets others share it would); then ports that
        // are free, each its own: a port probed free and let go can come back as the next
        // one probed, or as the next one bound.
        const quint16 forbid = m_mini.add(MiniRegistrar::Answer::Forbid);
        const quint16 challenge = m_mini.add(MiniRegistrar::Answer::ChallengeAlways);
        const quint16 lapse = m_mini.add(MiniRegistrar::Answer::GrantUntilTold);
        QVERIFY(forbid && challenge && lapse);
        m_mini.start();
        m_takenFd = ::socket(AF_INET, SOCK_DGRAM, 0);
        const int yes = 1;
        ::setsockopt(m_takenFd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof(a);
        QCOMPARE(::bind(m_takenFd, reinterpret_cast<sockaddr*>(&a), sizeof(a)), 0);
        QCOMPARE(::getsockname(m_takenFd, reinterpret_cast<sockaddr*>(&a), &len), 0);
        const quint16 taken = ntohs(a.sin_port);
        QSet<quint16> used{forbid, challenge, lapse, taken};
        auto freePort = [&used] {
            quint16 port = 0;
            do
                port = test::freeUdpPort();
            while (used.contains(port));
            used.insert(port);
            return port;
        };
        m_registrarPort = freePort();
        m_linePort = freePort();
        const quint16 silent = freePort(); // nothing answers there

        auto line = [](const char* name, const char* user, quint16 registrar, quint16 port) {
            QString s = QStringLiteral("[%1]\nuri = sip:%2@127.0.0.1\naddress = 127.0.0.1\n"
                                       "port = %3\nexpires = 60\n")
                            .arg(QLatin1String(name), QLatin1String(user))
                            .arg(port);
            if (registrar)
                s += QStringLiteral("registrar = sip:127.0.0.1:%1\npassword = s3cret\n")
                         .arg(registrar);
            return s;
        };
        QVERIFY(test::useLinesFile(m_dir.filePath("lines.conf"),
                                   (line("Front desk", "frontdesk", m_registrarPort, m_linePort) +
                                    line("Refused", "refused", forbid, m_linePort) +
                                    line("Challenged", "challenged", challenge, m_linePort) +
                                    line("Unanswered", "unanswered", silent, m_linePort) +
                                    line("Lapsing", "lapsing", lapse, m_linePort) +
                                    line("Taken", "taken", 0, taken))));
        // The lines register when the first of them is bound.
        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
    }

    void cleanupTestCase()
    {
        m_server.reset();
        ::close(m_takenFd);
    }

    void aLineRegistersWithDigestAndRenewsBeforeItRunsOut()
    {
        const QString scenario = m_dir.filePath("registrar.xml");
        QFile f(scenario);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(kRegistrar).replace("LINEPORT", QByteArray::number(m_linePort)));
        f.close();
        QProcess registrar;
        registrar.setWorkingDirectory(m_dir.path());
        registrar.setProcessChannelMode(QProcess::MergedChannels);
        registrar.start("sipp",
                        {"-sf", scenario, "-i", "127.0.0.1", "-p", QString::number(m_registrarPort),
                         "-m", "1", "-nostdin", "-timeout", "30s", "-trace_err", "-trace_msg"});
        QVERIFY(registrar.waitForStarted());
        LineHandle line = m_server->newLine();
        QVERIFY(line.InitTAPI("Front desk", m_server->gridExport(), 1, m_dir.path()));
        QCOMPARE(line.getMessage().value(), QStringLiteral("NOERROR"));
        QVERIFY(registrar.waitForFinished(30000));
        QVERIFY2(registrar.exitCode() == 0, registrar.readAll().constData());
    }

    void aLineThatCannotRegisterSaysWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("reason");
        QTest::newRow("refused") << "Refused"
                                 << "refused the registration (403 Forbidden)";
        QTest::newRow("challenged in vain") << "Challenged"
                                            << "(401 Unauthorized)";
        QTest::newRow("no answer") << "Unanswered"
                                   << "does not answer";
        QTest::newRow("port in use") << "Taken"
                                     << "is in use by another program";
    }

    void aLineThatCannotRegisterSaysWhy()
    {
        QFETCH(QString, name);
        QFETCH(QString, reason);
        LineHandle line;
        const QString told = bindFailing(name, 2, &line);
        QVERIFY2(told.startsWith(name + " cannot take calls: ") && told.contains(reason),
                 qPrintable(told));
        QTRY_COMPARE(m_server->grid().cell(2, 2),
                     QStringLiteral("Error In Initializing Device .... "));
    }

    void aRegistrationRefusedLaterPutsTheLineOutOfService()
    {
        LineHandle line = m_server->newLine();
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        QVERIFY(line.InitTAPI("Lapsing", m_server->gridExport(), 3, m_dir.path()));
        QCOMPARE(line.getMessage().value(), QStringLiteral("NOERROR"));
        QTRY_COMPARE(m_server->grid().cell(3, 2), QStringLiteral("Waiting for call ...."));
        // The renewal, due within the 2 seconds granted, is refused.
        m_mini.refuseFromNow();
        QTRY_VERIFY_WITH_TIMEOUT(!boxes.isEmpty(), 15000);
        QVERIFY2(boxes.first().first().toString().contains("403"),
                 qPrintable(boxes.first().first().toString()));
        QCOMPARE(line.getMessage().value(), QStringLiteral("ERROR"));
        QTRY_COMPARE(m_server->grid().cell(3, 2),
                     QStringLiteral("Error In Initializing Device .... "));
    }
};

QTEST_GUILESS_MAIN(TestSipRegistration)
#include "TestSipRegistration.moc"
