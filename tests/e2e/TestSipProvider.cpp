// SIP lines on a provider's real registrar and proxy (kamailio, started here): a line that
// registers over TLS through its outbound proxy, trusting the provider's CA and no other,
// takes a call the proxy brings it over TLS; a trunk line registers over UDP (asking again
// when the registrar finds its lifetime too brief), keeps its flow alive, and takes a call
// for one of its DIDs; a stranger who calls a registered line directly is refused.

#include "Kamailio.h"
#include "Signals.h"
#include "SipCaller.h"
#include "TestServer.h"
#include "database/RecMessageTable.h"

#include <QDir>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

namespace {
constexpr int kWaitMs = 30000;
} // namespace

class TestSipProvider : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    test::Kamailio m_kamailio;
    quint16 m_securePort = 0, m_trunkPort = 0, m_distrustfulPort = 0, m_tcpPort = 0;
    std::unique_ptr<test::TestServer> m_server;
    LineHandle m_secure, m_trunk, m_tcp;
    bool m_trunkBound = false;
    QString m_pcap;

    QList<recmessage::CallRow> rows() const
    {
        Database db;
        if (!db.OpenDatabase(m_dir.filePath("home")))
            return {};
        return recmessage::listDay(db, QDate::currentDate()).value();
    }

    bool bind(LineHandle& line, const QString& name, qint16 row)
    {
        line = m_server->newLine();
        if (!line.InitTAPI(name, m_server->gridExport(), row, m_dir.filePath("home")) ||
            line.getMessage().value() != QLatin1String("NOERROR"))
            return false;
        const QString greeting = m_dir.filePath("greeting.wav");
        return line.setRings(1) && line.setPlayType("FILE") && line.setPlayFile(greeting) &&
               line.setRecordTime(2) && line.setVoice(0) && line.setVolume(80);
    }

    // A call from sipp through kamailio to `user`; the row it leaves, or none.
    recmessage::CallRow callThroughProxy(const char* name, const QString& user)
    {
        const qsizetype before = rows().size();
        test::SipCallerScenario s;
        s.pcap = m_pcap;
        s.routed = true;
        const QString path = m_dir.filePath(QString::fromLatin1(name) + ".xml");
        if (!test::writeScenario(path, s))
            return {};
        const test::SipCallerRun run = test::runSipCaller(path, user, m_kamailio.port());
        if (run.exitCode != 0) {
            qWarning().noquote() << run.output << m_kamailio.log().right(3000);
            return {};
        }
        if (!QTest::qWaitFor([&] { return rows().size() == before + 1; }, kWaitMs))
            return {};
        return rows().last();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (const QString why = test::Kamailio::unavailable(); !why.isEmpty())
            QSKIP(qPrintable(why));
        test::Kamailio::Options options;
        options.minExpires = 120;
        options.didPrefix = QStringLiteral("555");
        options.trunkUser = QStringLiteral("trunk");
        QString problem;
        QVERIFY2(m_kamailio.start(options, &problem), qPrintable(problem));
        const test::TestCertificates& certs = m_kamailio.certificates();

        m_securePort = test::freeUdpPort();
        m_trunkPort = test::freeUdpPort();
        m_distrustfulPort = test::freeUdpPort();
        m_tcpPort = test::freeUdpPort();
        const QString common = QStringLiteral("registrar = sip:orvane.test\npassword = s3cret\n"
                                              "address = 127.0.0.1\nring_interval_ms = 200\n");
        QVERIFY(test::useLinesFile(
            m_dir.filePath("lines.conf"),
            (QStringLiteral("[Secure desk]\nuri = sips:frontdesk@orvane.test\n"
                            "outbound_proxy = sip:127.0.0.1:%1;transport=tls\n"
                            "tls_ca = %2\ntls_certificate = %3\nport = %4\n")
                 .arg(m_kamailio.tlsPort())
                 .arg(certs.ca, certs.line)
                 .arg(m_securePort) +
             common +
             QStringLiteral("[Trunk]\nuri = sip:trunk@orvane.test\n"
                            "outbound_proxy = sip:127.0.0.1:%1\naccept = 5550100, 5550101\n"
                            "expires = 60\nkeepalive_s = 1\nport = %2\n")
                 .arg(m_kamailio.port())
                 .arg(m_trunkPort) +
             common +
             QStringLiteral("[Distrustful]\nuri = sip:wary@orvane.test\ntransport = tls\n"
                            "outbound_proxy = sip:127.0.0.1:%1\ntls_ca = %2\nport = %3\n")
                 .arg(m_kamailio.tlsPort())
                 .arg(certs.otherCa)
                 .arg(m_distrustfulPort) +
             common +
             QStringLiteral("[TCP desk]\nuri = sip:tcpdesk@orvane.test\ntransport = tcp\n"
                            "outbound_proxy = sip:127.0.0.1:%1\nport = %2\n")
                 .arg(m_kamailio.port())
                 .arg(m_tcpPort) +
             common)));
        QVERIFY(QDir(m_dir.path()).mkpath("home"));
        QVERIFY(
            test::writePcmWav(m_dir.filePath("greeting.wav"), test::tone(600, 0.5, 8000), 8000));
        m_pcap = m_dir.filePath("caller.pcap");
        QVERIFY(test::writeRtpPcap(m_pcap, test::tone(1000, 5.0, 8000), false));
        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
    }

    void cleanupTestCase()
    {
        m_secure.reset();
        m_trunk.reset();
        m_tcp.reset();
        m_server.reset();
    }

    void aLineRegistersOverTlsThroughItsProxyAndTakesACall()
    {
        QVERIFY2(bind(m_secure, QStringLiteral("Secure desk"), 1), qPrintable(m_kamailio.log()));
        QTRY_VERIFY(m_kamailio.count(QStringLiteral("over tls for sips:frontdesk@orvane.test")) >=
                    1);
        const recmessage::CallRow row = callThroughProxy("secure", QStringLiteral("frontdesk"));
        QVERIFY(!row.incomingCallFile.isEmpty());
        const QVector<qint16> got = test::decodeMuLawFile(
            test::readFile(m_dir.filePath("home/Rec-Files/" + row.incomingCallFile)));
        QCOMPARE(got.size(), 2 * 8000);
        QVERIFY(test::tonePower(got.mid(1600), 1000, 8000) > 0.8);
    }

    void aLineRegistersOverTcpAndTakesACallOverIt()
    {
        QVERIFY2(bind(m_tcp, QStringLiteral("TCP desk"), 4), qPrintable(m_kamailio.log()));
        QTRY_VERIFY(m_kamailio.count(QStringLiteral("over tcp for sip:tcpdesk@orvane.test")) >= 1);
        // The Contact names our TCP listener, where the proxy brings the call.
        QVERIFY(m_kamailio.count(QStringLiteral(";transport=tcp>;expires=")) >= 1);
        const recmessage::CallRow row = callThroughProxy("tcp", QStringLiteral("tcpdesk"));
        QVERIFY(!row.incomingCallFile.isEmpty());
        QCOMPARE(row.details.line, QStringLiteral("TCP desk"));
    }

    void aProviderWhoseCertificateOurCasDidNotSignIsNotTrusted()
    {
        LineHandle line = m_server->newLine();
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        line.InitTAPI(QStringLiteral("Distrustful"), m_server->gridExport(), 3,
                      m_dir.filePath("home"));
        QCOMPARE(line.getMessage().value(), QStringLiteral("ERROR"));
        QTRY_VERIFY_WITH_TIMEOUT(!boxes.isEmpty(), 10000);
        const QString told = boxes.first().first().toString();
        QVERIFY2(told.contains("cannot be trusted") && told.contains("certificate"),
                 qPrintable(told));
        QCOMPARE(m_kamailio.count(QStringLiteral("for sip:wary@orvane.test")), 0);
    }

    void aTrunkRegistersKeepsItsFlowAndTakesItsDids()
    {
        // The registrar takes no lifetime below 120 s: the line asks again for that.
        QVERIFY2(bind(m_trunk, QStringLiteral("Trunk"), 2), qPrintable(m_kamailio.log()));
        m_trunkBound = true;
        // Keep-alives reach the proxy between renewals.
        const QString keepAlive =
            QStringLiteral("OPTIONS from 127.0.0.1:%1 over udp").arg(m_trunkPort);
        QVERIFY2(QTest::qWaitFor([&] { return m_kamailio.count(keepAlive) >= 2; }, 10000),
                 qPrintable(m_kamailio.log()
                                .split('\n')
                                .filter("ERROR")
                                .filter(QRegularExpression("^((?!tls).)*$"))
                                .join('\n')
                                .right(3000)));
        const recmessage::CallRow row = callThroughProxy("did", QStringLiteral("5550100"));
        QVERIFY(!row.incomingCallFile.isEmpty());
        QCOMPARE(row.details.line, QStringLiteral("Trunk"));
    }

    void callsTheLinePlacesGoThroughItsProxyAndServiceRoute()
    {
        if (!m_trunkBound)
            QSKIP("the trunk did not bind");
        const QString document = m_dir.filePath("page.txt");
        QFile page(document);
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.write("A page to a number nobody has.\n");
        page.close();
        LineHandle sender = m_server->newLine();
        QVERIFY(sender.FnSendFax(QStringLiteral("7771234"), document, QString(),
                                 QStringLiteral("Trunk"), &m_server->gridExport()));
        // The INVITE came to the outbound proxy with the registrar's Service-Route after it.
        const QString invite = QStringLiteral("for sip:7771234@orvane.test routed ");
        QTRY_VERIFY2(m_kamailio.count(invite) >= 1, qPrintable(m_kamailio.log().right(2000)));
        QString routed;
        for (const QString& line : m_kamailio.log().split(u'\n'))
            if (line.contains(invite))
                routed = line;
        QVERIFY2(routed.contains(QStringLiteral("<sip:127.0.0.1:%1;lr>").arg(m_kamailio.port())) &&
                     routed.contains(QStringLiteral("orvane-service@127.0.0.1")),
                 qPrintable(routed));
        sender.reset();
    }

    void aStrangerCallingARegisteredLineDirectlyIsRefused()
    {
        if (!m_trunkBound)
            QSKIP("the trunk did not bind");
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(2, 2),
                                  QStringLiteral("Waiting for Call .... "), kWaitMs);
        QVERIFY(m_server->settle());
        m_server->grid().clear();
        test::SipCallerScenario s;
        s.expectFinal = 403;
        const QString path = m_dir.filePath("stranger.xml");
        QVERIFY(test::writeScenario(path, s));
        // From another loopback address than the proxy's.
        const test::SipCallerRun run = test::runSipCaller(
            path, QStringLiteral("5550100"), m_trunkPort, 20000, QStringLiteral("127.0.0.2"));
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(m_server->settle());
        QVERIFY(m_server->grid().history(2, 2).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSipProvider)
#include "TestSipProvider.moc"
