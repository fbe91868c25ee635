// A line server past what it takes on: a new call beyond max_calls, and INVITEs from one
// address beyond invite_rate, are refused at once with 503 and Retry-After, never left to
// ring; a call in its capacity goes through. The server here takes one call at a time and
// two INVITEs a second from one address.

#include "Signals.h"
#include "SipCaller.h"
#include "TestServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace orvane;

namespace {

// An INVITE from a socket of its own on `from` (an address of loopback), and the final
// response it gets, its headers included.
QByteArray inviteAndAnswer(const char* from, const QString& user, quint16 port, int n)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, from, &local.sin_addr);
    socklen_t len = sizeof(local);
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len) != 0)
        return "cannot bind";
    const QByteArray via = QByteArray(from) + ':' + QByteArray::number(ntohs(local.sin_port));
    const QByteArray sdp = "v=0\r\no=- 1 1 IN IP4 " + QByteArray(from) + "\r\ns=-\r\nc=IN IP4 " +
                           QByteArray(from) + "\r\nt=0 0\r\nm=audio 7000 RTP/AVP 0\r\n";
    const QByteArray invite = "INVITE sip:" + user.toUtf8() +
                              "@127.0.0.1 SIP/2.0\r\n"
                              "Via: SIP/2.0/UDP " +
                              via + ";branch=z9hG4bKcap" + QByteArray::number(n) +
                              "\r\nFrom: <sip:tester@" + QByteArray(from) + ">;tag=t" +
                              QByteArray::number(n) + "\r\nTo: <sip:" + user.toUtf8() +
                              "@127.0.0.1>\r\nCall-ID: cap" + QByteArray::number(n) +
                              "@test\r\nCSeq: 1 INVITE\r\nContact: <sip:tester@" + via +
                              ">\r\nMax-Forwards: 70\r\nContent-Type: application/sdp\r\n"
                              "Content-Length: " +
                              QByteArray::number(sdp.size()) + "\r\n\r\n" + sdp;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(port);
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    ::sendto(fd, invite.constData(), size_t(invite.size()), 0, reinterpret_cast<sockaddr*>(&server),
             sizeof(server));
    QByteArray final;
    for (int waited = 0; final.isEmpty() && waited < 10000; waited += 100) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buffer[4096];
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        const QByteArray response(buffer, int(qMax<ssize_t>(got, 0)));
        // 1xx are on the way; the first final response is the answer.
        if (response.startsWith("SIP/2.0 ") && response.mid(8, 1) != "1")
            final = response;
    }
    ::close(fd);
    return final.isEmpty() ? QByteArray("no answer") : final;
}

} // namespace

class TestSipCapacity : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    std::unique_ptr<test::TestServer> m_server;
    LineHandle m_one, m_two;

    LineHandle bind(const QString& name, qint16 row)
    {
        LineHandle line = m_server->newLine();
        line.InitTAPI(name, m_server->gridExport(), row, m_dir.filePath("home"));
        line.setRings(1);
        line.setPlayType("FILE");
        line.setPlayFile(m_dir.filePath("greeting.wav"));
        line.setRecordTime(3);
        if (line.getMessage().value() != QLatin1String("NOERROR"))
            qFatal("cannot bind %s", qPrintable(name));
        return line;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_port = test::freeUdpPort();
        QVERIFY(test::useLinesFile(m_dir.filePath("lines.conf"),
                                   QStringLiteral("max_calls = 1\ninvite_rate = 2\n\n"
                                                  "[One]\nuri = sip:one@127.0.0.1\nport = %1\n"
                                                  "address = 127.0.0.1\nring_interval_ms = 200\n\n"
                                                  "[Two]\nuri = sip:two@127.0.0.1\nport = %1\n"
                                                  "address = 127.0.0.1\nring_interval_ms = 200\n")
                                       .arg(m_port)));
        QVERIFY(QDir(m_dir.path()).mkpath("home"));
        QVERIFY(
            test::writePcmWav(m_dir.filePath("greeting.wav"), test::tone(600, 0.3, 8000), 8000));
        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
        m_one = bind("One", 1);
        m_two = bind("Two", 2);
    }

    void cleanupTestCase()
    {
        m_one.reset();
        m_two.reset();
        m_server.reset();
    }

    void aCallPastCapacityIsRefusedAtOnce()
    {
        // A call on line One, from sipp; while it runs the server is full.
        test::SipCallerScenario s;
        const QString scenario = m_dir.filePath("call.xml");
        QVERIFY(test::writeScenario(scenario, s));
        test::SipCallerRun first;
        // Joined on every way out of the test, a failed check included: a thread left
        // joinable would end the whole program, and the tests after this one with it.
        std::jthread caller([&] { first = test::runSipCaller(scenario, "one", m_port); });
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2),
                                  QStringLiteral("Recording File .... "), 20000);

        // A call to the other line, which is free: the server is not.
        const QByteArray refused = inviteAndAnswer("127.0.0.2", "two", m_port, 1);
        QVERIFY2(refused.startsWith("SIP/2.0 503 "), refused.constData());
        QVERIFY2(refused.contains("Retry-After: 5"), refused.constData());
        QVERIFY(m_server->grid().history(2, 2).filter("Incoming Call").isEmpty());

        caller.join();
        QVERIFY2(first.exitCode == 0, qPrintable(first.output));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2),
                                  QStringLiteral("Waiting for Call .... "), 20000);
        // With the first one over, a call goes through again.
        const test::SipCallerRun again = test::runSipCaller(scenario, "two", m_port);
        QVERIFY2(again.exitCode == 0, qPrintable(again.output));
    }

    void invitesFromOneAddressPastTheRateAreRefused()
    {
        // Three at once from one address (to a user that does not exist, which costs
        // nothing else): two within the rate, the third turned away.
        QList<QByteArray> answers;
        for (int n = 0; n < 3; ++n)
            answers << inviteAndAnswer("127.0.0.4", "nobody", m_port, 10 + n);
        QVERIFY2(answers[0].startsWith("SIP/2.0 404 "), answers[0].constData());
        QVERIFY2(answers[1].startsWith("SIP/2.0 404 "), answers[1].constData());
        QVERIFY2(answers[2].startsWith("SIP/2.0 503 "), answers[2].constData());
        // Another address has a rate of its own.
        QVERIFY(inviteAndAnswer("127.0.0.5", "nobody", m_port, 20).startsWith("SIP/2.0 404 "));
    }
};

QTEST_GUILESS_MAIN(TestSipCapacity)
#include "TestSipCapacity.moc"
