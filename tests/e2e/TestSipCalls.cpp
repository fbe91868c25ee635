// A SIP line on loopback, called by a real SIP client (sipp): the line rings, answers in the
// caller's G.711 law, greets, records the RTP the caller sends, hangs up and logs the call;
// unknown users, offers without G.711 and calls cancelled while ringing are refused or
// ended as SIP says.

#include "Signals.h"
#include "SipCaller.h"
#include "TestServer.h"
#include "database/RecMessageTable.h"
#include "platform/telephony/sip/SipStack.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

namespace {
const QString kLine = QStringLiteral("Front desk");
const char* const kWaiting = "Waiting for Call .... ";
constexpr int kWaitMs = 30000;
} // namespace

class TestSipCalls : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    std::unique_ptr<test::TestServer> m_server;
    LineHandle m_line;
    QString m_muLawPcap, m_aLawPcap;

    QString scenario(const char* name, const test::SipCallerScenario& s)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name) + ".xml");
        return test::writeScenario(path, s) ? path : QString();
    }

    QStringList recordings() const
    {
        return QDir(m_dir.filePath("home/Rec-Files")).entryList(QDir::Files);
    }

    int logged() const
    {
        Database db;
        if (!db.OpenDatabase(m_dir.filePath("home")))
            return -1;
        return int(recmessage::listDay(db, QDate::currentDate()).value().size());
    }

    QStringList callTexts() const
    {
        QStringList texts = m_server->grid().history(1, 2);
        const qsizetype start = texts.lastIndexOf(QStringLiteral("Waiting for call ...."));
        return start < 0 ? texts : texts.mid(start + 1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_port = test::freeUdpPort();
        QVERIFY(m_port != 0);
        QFile conf(m_dir.filePath("lines.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(QStringLiteral("[%1]\nuri = sip:frontdesk@127.0.0.1\nport = %2\n"
                                  "address = 127.0.0.1\nring_interval_ms = 200\n")
                       .arg(kLine)
                       .arg(m_port)
                       .toUtf8());
        conf.close();
        qputenv("ORVANE_LINES_CONF", QFile::encodeName(conf.fileName()));
        QVERIFY(QDir(m_dir.path()).mkpath("home"));

        const QString greeting = m_dir.filePath("greeting.wav");
        QVERIFY(test::writePcmWav(greeting, test::tone(600, 0.5, 8000), 8000));
        m_muLawPcap = m_dir.filePath("caller-ulaw.pcap");
        m_aLawPcap = m_dir.filePath("caller-alaw.pcap");
        QVERIFY(test::writeRtpPcap(m_muLawPcap, test::tone(1000, 5.0, 8000), false));
        QVERIFY(test::writeRtpPcap(m_aLawPcap, test::tone(1000, 5.0, 8000), true));

        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
        m_line = m_server->newLine();
        QVERIFY(m_line.InitTAPI(kLine, m_server->gridExport(), 1, m_dir.filePath("home")));
        QCOMPARE(m_line.getMessage().value(), QStringLiteral("NOERROR"));
        QVERIFY(m_line.setRings(2));
        QVERIFY(m_line.setPlayType("FILE"));
        QVERIFY(m_line.setPlayFile(greeting));
        QVERIFY(m_line.setRecordTime(2));
        QVERIFY(m_line.setVoice(0));
        QVERIFY(m_line.setVolume(80));
    }

    void cleanupTestCase()
    {
        m_line.reset();
        m_server.reset();
    }

    void init() { m_server->grid().clear(); }

    void aCallersAudioIsRecordedAndLogged_data()
    {
        QTest::addColumn<QString>("formats");
        QTest::addColumn<QString>("rtpmaps");
        QTest::addColumn<bool>("alaw");
        QTest::newRow("mu-law") << "0 101"
                                << "a=rtpmap:0 PCMU/8000\na=rtpmap:101 telephone-event/8000"
                                << false;
        QTest::newRow("A-law only") << "8"
                                    << "a=rtpmap:8 PCMA/8000" << true;
    }

    void aCallersAudioIsRecordedAndLogged()
    {
        QFETCH(QString, formats);
        QFETCH(QString, rtpmaps);
        QFETCH(bool, alaw);
        const int before = logged();
        const QStringList filesBefore = recordings();
        test::SipCallerScenario s;
        s.sdpFormats = formats;
        s.rtpmaps = rtpmaps;
        s.pcap = alaw ? m_aLawPcap : m_muLawPcap;
        const test::SipCallerRun run = test::runSipCaller(scenario("call", s), "frontdesk", m_port);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));

        QTRY_VERIFY_WITH_TIMEOUT(logged() == before + 1, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2), QString(kWaiting), kWaitMs);
        const QStringList texts = callTexts();
        QVERIFY2(texts.size() == 5, qPrintable(texts.join(" | ")));
        QVERIFY(texts[0].startsWith("Incoming Call "));
        QCOMPARE(texts.mid(1), QStringList({"Call Connected ....", "Playing File .... ",
                                            "Recording File .... ", kWaiting}));
        QStringList files = recordings();
        for (const QString& f : filesBefore)
            files.removeAll(f);
        QCOMPARE(files.size(), 1);
        const QByteArray file = test::readFile(m_dir.filePath("home/Rec-Files/" + files.first()));
        QCOMPARE(file.size(), 44 + 2 * 8000);
        const double tone = test::tonePeak(test::decodeMuLawFile(file), 1000, 8000);
        QVERIFY2(tone > 0.8, qPrintable(QString::number(tone)));
    }

    void aCallToAnUnknownUserIsNotFound()
    {
        test::SipCallerScenario s;
        s.expectFinal = 404;
        const test::SipCallerRun run = test::runSipCaller(scenario("unknown", s), "nobody", m_port);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(m_server->grid().history(1, 2).isEmpty());
    }

    void anOfferWithoutG711IsNotAcceptable()
    {
        test::SipCallerScenario s;
        s.sdpFormats = QStringLiteral("18");
        s.rtpmaps = QStringLiteral("a=rtpmap:18 G729/8000");
        s.expectFinal = 488;
        const test::SipCallerRun run = test::runSipCaller(scenario("g729", s), "frontdesk", m_port);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(m_server->grid().history(1, 2).isEmpty());
    }

    void aCallCancelledWhileRingingEnds()
    {
        QVERIFY(m_line.setRings(50));
        const int before = logged();
        test::SipCallerScenario s;
        s.cancelAfterRinging = true;
        const test::SipCallerRun run =
            test::runSipCaller(scenario("cancel", s), "frontdesk", m_port);
        QVERIFY(m_line.setRings(2));
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2), QString(kWaiting), kWaitMs);
        const QStringList texts = callTexts();
        QCOMPARE(texts.size(), 2);
        QVERIFY(texts[0].startsWith("Incoming Call "));
        QCOMPARE(logged(), before);
    }
};

QTEST_GUILESS_MAIN(TestSipCalls)
#include "TestSipCalls.moc"
