// A caller behind a real NAT: network namespaces made here hold a router that masquerades a
// private network (192.168.77.0/24) behind its public address, and a caller (sipp) on it.
// The line listens on the public side, which has no route to the private network: the
// caller's Contact and SDP name an address the line cannot reach. Its message must be
// recorded with its tone, it must hear the greeting (counted by the caller's own firewall),
// and the line's BYE must reach it through the NAT.

#include "Signals.h"
#include "SipCaller.h"
#include "TestServer.h"
#include "database/RecMessageTable.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

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

// Runs a command; its output, or why it failed.
bool run(const QStringList& command, QString* out = nullptr)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(command.first(), command.mid(1));
    const bool ok =
        p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (out)
        *out = command.join(u' ') + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAll());
    return ok;
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
        QFile conf(m_dir.filePath("lines.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("[Front desk]\nuri = sip:frontdesk@%1\nport = %2\n"
                                  "address = %1\nring_interval_ms = 200\n")
                       .arg(kPublicLine)
                       .arg(m_port)
                       .toUtf8());
        conf.close();
        qputenv("ORVANE_LINES_CONF", QFile::encodeName(conf.fileName()));
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
