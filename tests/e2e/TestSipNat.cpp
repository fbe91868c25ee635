// A caller behind a real NAT: network namespaces made here hold a router that masquerades a
// private network (192.168.77.0/24) behind its public address, and a caller (sipp) on it.
// The line listens on the public side, which has no route to the private network: the
// caller's Contact and SDP name an address the line cannot reach. Its message must be
// recorded with its tone, it must hear the greeting (counted by the caller's own firewall),
// and the line's BYE must reach it through the NAT.

#include "Command.h"
#include "Kamailio.h"
#include "RecordingGrid.h"
#include "ServerProcess.h"
#include "Signals.h"
#include "SipCaller.h"
#include "TestServer.h"
#include "database/RecMessageTable.h"
#include "line_server/client/StatusGridExport.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <unistd.h>

using namespace orvane;

namespace {

constexpr int kWaitMs = 30000;
const QString kPublicLine = QStringLiteral("203.0.113.1");
const QString kRouterPublic = QStringLiteral("203.0.113.2");
const QString kRouterPrivate = QStringLiteral("192.168.77.1");
const QString kCaller = QStringLiteral("192.168.77.2");
constexpr quint16 kCallerSip = 5070;
constexpr quint16 kCallerMedia = 6000;

// A registrar that grants one REGISTER, and only if its Contact names the NAT's public
// address (sipp fails otherwise).
const char* const kPublicContactRegistrar = R"(<?xml version="1.0" encoding="ISO-8859-1" ?>
<scenario name="registrar">
<recv request="REGISTER">
  <action><ereg regexp="203\.0\.113\.2:5080" search_in="hdr" header="Contact:" check_it="true"
    assign_to="contact"/></action>
</recv>
<Reference variables="contact"/>
<send><![CDATA[
SIP/2.0 200 OK
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
[last_Contact:]
Expires: 600
Content-Length: 0
]]></send>
</scenario>
)";

// Runs a command; `out`: what it said, and why it failed.
bool run(const QStringList& command, QString* out = nullptr)
{
    test::CommandOptions options;
    options.timeoutMs = 10000;
    options.output = out;
    return test::runCommand(command.first(), command.mid(1), out, options);
}

} // namespace

class TestSipNat : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_router, m_caller, m_publicLink, m_privateLink;
    bool m_made = false;
    quint16 m_port = 0;
    std::unique_ptr<test::TestServer> m_server;
    LineHandle m_line;

    bool inRouter(const QString& command, QString* out = nullptr)
    {
        return run(QStringList{"ip", "netns", "exec", m_router} + command.split(u' '), out);
    }
    bool inCaller(const QString& command, QString* out = nullptr)
    {
        return run(QStringList{"ip", "netns", "exec", m_caller} + command.split(u' '), out);
    }

    // The NAT: root <-> router (public), router <-> caller (private).
    QString makeNetwork()
    {
        const QString id = QString::number(getpid() % 100000);
        m_router = QStringLiteral("orv-router-") + id;
        m_caller = QStringLiteral("orv-caller-") + id;
        m_publicLink = QStringLiteral("orvp") + id;
        m_privateLink = QStringLiteral("orvq") + id;
        QString out;
        const QList<QStringList> steps = {
            {"ip", "netns", "add", m_router},
            {"ip", "netns", "add", m_caller},
            {"ip", "link", "add", m_publicLink, "type", "veth", "peer", "name", "pub0", "netns",
             m_router},
            {"ip", "addr", "add", kPublicLine + "/24", "dev", m_publicLink},
            {"ip", "link", "set", m_publicLink, "up"},
            {"ip", "-n", m_router, "link", "add", m_privateLink, "type", "veth", "peer", "name",
             "priv0", "netns", m_caller},
            {"ip", "-n", m_router, "addr", "add", kRouterPublic + "/24", "dev", "pub0"},
            {"ip", "-n", m_router, "addr", "add", kRouterPrivate + "/24", "dev", m_privateLink},
            {"ip", "-n", m_router, "link", "set", "pub0", "up"},
            {"ip", "-n", m_router, "link", "set", m_privateLink, "up"},
            {"ip", "-n", m_router, "link", "set", "lo", "up"},
            {"ip", "-n", m_caller, "addr", "add", kCaller + "/24", "dev", "priv0"},
            {"ip", "-n", m_caller, "link", "set", "priv0", "up"},
            {"ip", "-n", m_caller, "link", "set", "lo", "up"},
            {"ip", "-n", m_caller, "route", "add", "default", "via", kRouterPrivate},
            {"ip", "netns", "exec", m_router, "sysctl", "-q", "-w", "net.ipv4.ip_forward=1"},
        };
        for (const QStringList& step : steps) {
            if (!run(step, &out))
                return out;
            m_made = true;
        }
        // The router masquerades the private network; the caller counts what reaches its
        // media port from the line.
        if (!inRouter("nft add table ip nat", &out) ||
            !inRouter("nft add chain ip nat post { type nat hook postrouting priority 100 ; }",
                      &out) ||
            !inRouter("nft add rule ip nat post oifname pub0 masquerade", &out) ||
            !inCaller("nft add table inet count", &out) ||
            !inCaller("nft add chain inet count in { type filter hook input priority 0 ; }",
                      &out) ||
            !inCaller(QStringLiteral("nft add rule inet count in ip saddr %1 udp dport %2 counter")
                          .arg(kPublicLine)
                          .arg(kCallerMedia),
                      &out))
            return out;
        return {};
    }

    // A line server of its own behind the NAT (in the caller's namespace), serving the one
    // line of `lines` (a lines.conf), bound there with its home in `name`.
    struct LineBehind {
        std::unique_ptr<test::ServerProcess> server;
        test::RecordingGrid grid;
        std::unique_ptr<StatusGridExport> exported;
        std::optional<LineHandle> line;
    };
    QString bindBehindNat(LineBehind& behind, const QString& name, const QString& lines)
    {
        const QString conf = m_dir.filePath(name + QStringLiteral(".conf"));
        if (!test::writeFile(conf, lines.toUtf8()))
            return QStringLiteral("cannot write %1").arg(conf);
        QProcessEnvironment env;
        env.insert("ORVANE_LINES_CONF", conf);
        behind.server = std::make_unique<test::ServerProcess>(
            QStringLiteral("org.orvane.Tolvex.%1%2").arg(name).arg(getpid()), env,
            QStringList{"ip", "netns", "exec", m_caller});
        if (!behind.server->onTheBus())
            return QStringLiteral("the line server behind the NAT did not start");
        behind.exported =
            std::make_unique<StatusGridExport>(behind.grid, QDBusConnection::sessionBus());
        TolvexClient client(QDBusConnection::sessionBus(), behind.server->service());
        Result<LineHandle> line = client.createLine();
        if (!line)
            return line.status().toString();
        behind.line = line.value();
        QDir(m_dir.path()).mkpath(name);
        behind.line->InitTAPI(name, *behind.exported, 1, m_dir.filePath(name));
        const QString message = behind.line->getMessage().value();
        return message == QLatin1String("NOERROR") ? QString() : message;
    }

    // Packets from the line that reached the caller's media port.
    int heardByCaller()
    {
        QString out;
        if (!inCaller("nft list chain inet count in", &out))
            return -1;
        static const QRegularExpression packets(QStringLiteral("counter packets (\\d+)"));
        const QRegularExpressionMatch m = packets.match(out);
        return m.hasMatch() ? m.captured(1).toInt() : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (::geteuid() != 0)
            QSKIP("network namespaces need root");
        if (!run({"nft", "--version"}))
            QSKIP("nftables is not installed (scripts/install-deps installs it)");
        if (const QString refused = makeNetwork(); !refused.isEmpty())
            QSKIP(qPrintable(QStringLiteral("this machine refuses the NAT: ") + refused));

        m_port = test::freeUdpPort();
        QVERIFY(
            test::useLinesFile(m_dir.filePath("lines.conf"),
                               QStringLiteral("[Front desk]\nuri = sip:frontdesk@%1\nport = %2\n"
                                              "address = %1\nring_interval_ms = 200\n")
                                   .arg(kPublicLine)
                                   .arg(m_port)));
        QVERIFY(QDir(m_dir.path()).mkpath("home"));
        QVERIFY(
            test::writePcmWav(m_dir.filePath("greeting.wav"), test::tone(600, 1.0, 8000), 8000));
        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
        m_line = m_server->newLine();
        QVERIFY(m_line.InitTAPI("Front desk", m_server->gridExport(), 1, m_dir.filePath("home")));
        QCOMPARE(m_line.getMessage().value(), QStringLiteral("NOERROR"));
        QVERIFY(m_line.setRings(1));
        QVERIFY(m_line.setPlayType("FILE"));
        QVERIFY(m_line.setPlayFile(m_dir.filePath("greeting.wav")));
        QVERIFY(m_line.setRecordTime(2));
    }

    void cleanupTestCase()
    {
        m_line.reset();
        m_server.reset();
        if (m_made) {
            // The links go with their namespaces.
            run({"ip", "netns", "del", m_caller});
            run({"ip", "netns", "del", m_router});
        }
    }

    void aLineBehindNatLearnsItsPublicAddressFromStun()
    {
        // coturn answers STUN on the public side; the line server runs behind the NAT and
        // registers at a registrar that says nothing of our address: only STUN can have
        // told the line what to put in its Contact.
        if (!run({"turnserver", "--version"}))
            QSKIP("coturn is not installed (scripts/install-deps installs it)");
        QProcess stun;
        stun.setProcessChannelMode(QProcess::MergedChannels);
        stun.start("turnserver",
                   {"-n", "--stun-only", "--listening-ip", kPublicLine, "--listening-port", "3478",
                    "--no-cli", "--no-tls", "--no-dtls", "--log-file", "stdout", "--userdb",
                    m_dir.filePath("turndb"), "--pidfile", m_dir.filePath("turn.pid")});
        QVERIFY(stun.waitForStarted());
        auto stopStun = qScopeGuard([&] {
            stun.terminate();
            if (!stun.waitForFinished(5000))
                stun.kill();
        });
        const QString scenario = m_dir.filePath("registrar.xml");
        QVERIFY(test::writeFile(scenario, kPublicContactRegistrar));
        QProcess registrar;
        registrar.setProcessChannelMode(QProcess::MergedChannels);
        registrar.setWorkingDirectory(m_dir.path());
        registrar.start("sipp", {"-sf", scenario, "-i", kPublicLine, "-p", "5090", "-m", "1",
                                 "-nostdin", "-timeout", "30s", "-trace_err"});
        QVERIFY(registrar.waitForStarted());

        LineBehind behind;
        const QString bound =
            bindBehindNat(behind, QStringLiteral("Behind"),
                          QStringLiteral("[Behind]\nuri = sip:natdesk@%1\nregistrar = sip:%1:5090\n"
                                         "address = %2\nport = 5080\nstun_server = %1:3478\n"
                                         "keepalive_s = 0\n")
                              .arg(kPublicLine, kCaller));
        QVERIFY2(bound.isEmpty(), qPrintable(bound));
        QVERIFY(registrar.waitForFinished(30000));
        QVERIFY2(registrar.exitCode() == 0, registrar.readAll().constData());
    }

    void aLineBehindNatLearnsItsPublicAddressFromItsRegistrar()
    {
        // kamailio on the public side says in its answer's Via where the REGISTER came from
        // (received, rport): the line registers again with that address as its Contact.
        if (const QString why = test::Kamailio::unavailable(); !why.isEmpty())
            QSKIP(qPrintable(why));
        test::Kamailio kamailio;
        test::Kamailio::Options options;
        options.address = kPublicLine;
        QString problem;
        QVERIFY2(kamailio.start(options, &problem), qPrintable(problem));
        LineBehind behind;
        const QString bound =
            bindBehindNat(behind, QStringLiteral("Learning"),
                          QStringLiteral("[Learning]\nuri = sip:learner@orvane.test\n"
                                         "registrar = sip:%1:%2\npassword = s3cret\n"
                                         "address = %3\nport = 5082\nkeepalive_s = 0\n")
                              .arg(kPublicLine)
                              .arg(kamailio.port())
                              .arg(kCaller));
        QVERIFY2(bound.isEmpty(), qPrintable(bound));
        // First with its own address, then with the router's.
        QTRY_VERIFY2(
            kamailio.count(QStringLiteral("contact <sip:learner@%1:").arg(kRouterPublic)) >= 1,
            qPrintable(kamailio.log().right(2000)));
        QVERIFY(kamailio.count(QStringLiteral("contact <sip:learner@%1:5082>").arg(kCaller)) >= 1);
    }

    void aCallerBehindNatIsRecordedHearsTheGreetingAndIsHungUpOn()
    {
        const QString pcap = m_dir.filePath("caller.pcap");
        QVERIFY(test::writeRtpPcap(pcap, test::tone(1000, 5.0, 8000), false));
        test::SipCallerScenario s;
        s.pcap = pcap; // its Contact and SDP name its own, private, address
        const QString scenario = m_dir.filePath("nat.xml");
        QVERIFY(test::writeScenario(scenario, s));
        test::SipCallerPlace place;
        place.netns = m_caller;
        place.localIp = kCaller;
        place.remoteIp = kPublicLine;
        place.sipPort = kCallerSip;
        place.mediaPort = kCallerMedia;
        // sipp waits for the line's BYE: it fails unless the BYE finds it through the NAT.
        const test::SipCallerRun call =
            test::runSipCaller(scenario, QStringLiteral("frontdesk"), m_port, 30000, place);
        QVERIFY2(call.exitCode == 0, qPrintable(call.output));

        Database db;
        QVERIFY(db.OpenDatabase(m_dir.filePath("home")));
        QList<recmessage::CallRow> rows;
        QTRY_VERIFY_WITH_TIMEOUT(
            !(rows = recmessage::listDay(db, QDate::currentDate()).value()).isEmpty(), kWaitMs);
        const QVector<qint16> got = test::decodeMuLawFile(
            test::readFile(m_dir.filePath("home/Rec-Files/" + rows.last().incomingCallFile)));
        QCOMPARE(got.size(), 2 * 8000);
        const double tone = test::tonePower(got.mid(1600), 1000, 8000);
        QVERIFY2(tone > 0.8, qPrintable(QString::number(tone)));
        // The greeting (a second) and the recording's silence (two): 150 packets went to the
        // caller's real port, through the NAT.
        const int heard = heardByCaller();
        QVERIFY2(heard >= 140, qPrintable(QString::number(heard)));
    }
};

QTEST_GUILESS_MAIN(TestSipNat)
#include "TestSipNat.moc"
