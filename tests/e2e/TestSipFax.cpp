// Faxes over real SIP on loopback: one SIP line of ours calls another (INVITE, 200 OK, ACK,
// G.711 RTP both ways, BYE) and a page goes through in real time; calls that a SIP peer
// (sipp) refuses end with the status its response means.

#include "SipCaller.h"
#include "TestServer.h"
#include "database/RecMessageTable.h"
#include "database/RecieveFaxTable.h"
#include "platform/fax/FaxMachine.h"
#include "platform/fax/TiffFax.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;
using namespace orvane::fax;

namespace {

// A peer that answers every INVITE with one final response.
const char* const kRefuser = R"(<?xml version="1.0" encoding="ISO-8859-1" ?>
<scenario name="refuse">
<recv request="INVITE"/>
<send><![CDATA[
SIP/2.0 CODE REASON
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Content-Length: 0
]]></send>
<recv request="ACK"/>
</scenario>
)";

// A peer that rings and never answers: it expects the caller to give up with CANCEL.
const char* const kRinger = R"(<?xml version="1.0" encoding="ISO-8859-1" ?>
<scenario name="ring">
<recv request="INVITE"/>
<send><![CDATA[
SIP/2.0 180 Ringing
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Content-Length: 0
]]></send>
<recv request="CANCEL"/>
<send><![CDATA[
SIP/2.0 200 OK
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
[last_CSeq:]
Content-Length: 0
]]></send>
<send><![CDATA[
SIP/2.0 487 Request Terminated
[last_Via:]
[last_From:]
[last_To:];tag=[pid]SIPpTag01[call_number]
[last_Call-ID:]
CSeq: [cseq] INVITE
Content-Length: 0
]]></send>
<recv request="ACK"/>
</scenario>
)";

} // namespace

class TestSipFax : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    quint16 m_peerPort = 0;
    quint16 m_inPort = 0;

    QString document()
    {
        const QString path = m_dir.filePath(QStringLiteral("page.txt"));
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write("A fax over SIP.\nOne short page.\n");
        return path;
    }

private Q_SLOTS:
    void initTestCase()
    {
        const quint16 out = test::freeUdpPort(), in = test::freeUdpPort(),
                      toPeer = test::freeUdpPort(), t38Out = test::freeUdpPort(),
                      audioOut = test::freeUdpPort();
        m_peerPort = test::freeUdpPort();
        m_inPort = in;
        // "Fax Out" belongs to the domain where "Fax In" listens, so its numbers go there.
        QVERIFY(test::useLinesFile(
            m_dir.filePath(QStringLiteral("lines.conf")),
            QStringLiteral("[Fax Out]\nuri = sip:2001@127.0.0.1:%1\nport = %2\n"
                           "address = 127.0.0.1\n\n"
                           "[Fax In]\nuri = sip:2002@127.0.0.1:%1\nport = %1\n"
                           "address = 127.0.0.1\n\n"
                           "[To Peer]\nuri = sip:2003@127.0.0.1:%3\nport = %4\n"
                           "address = 127.0.0.1\n\n"
                           "[Answering]\nuri = sip:2004@127.0.0.1:%1\nport = %1\n"
                           "address = 127.0.0.1\nring_interval_ms = 500\n"
                           "detect_fax = yes\n\n"
                           "[T38 Out]\nuri = sip:2005@127.0.0.1:%1\nport = %5\n"
                           "address = 127.0.0.1\nfax_transport = t38\n\n"
                           "[T38 In]\nuri = sip:2006@127.0.0.1:%1\nport = %1\n"
                           "address = 127.0.0.1\nfax_transport = t38\n\n"
                           "[Audio Out]\nuri = sip:2007@127.0.0.1:%1\nport = %6\n"
                           "address = 127.0.0.1\nfax_transport = audio\n")
                .arg(in)
                .arg(out)
                .arg(m_peerPort)
                .arg(toPeer)
                .arg(t38Out)
                .arg(audioOut)));
    }

    void aPageGoesFromLineToLine()
    {
        const QString folder = m_dir.filePath(QStringLiteral("in"));
        FaxMachine receiver;
        receiver.chooseLine(QStringLiteral("Fax In"));
        QVERIFY(receiver.receive(folder, 2));
        QCOMPARE(receiver.status(), QStringLiteral("Waiting for fax call ...."));
        FaxMachine sender;
        sender.chooseLine(QStringLiteral("Fax Out"));
        QSignalSpy sent(&sender, &FaxMachine::finished);
        QSignalSpy received(&receiver, &FaxMachine::finished);
        QVERIFY(sender.send(QStringLiteral("2002"), document(), QString()));
        QTRY_VERIFY_WITH_TIMEOUT(sent.count() == 1 && received.count() == 1, 120000);
        QCOMPARE(sender.status(), QStringLiteral("Completed"));
        QCOMPARE(receiver.status(), QStringLiteral("Completed"));
        Result<TiffSummary> fax = inspectTiff(QDir(folder).filePath(receiver.receivedFile()));
        QVERIFY2(fax, qPrintable(fax.status().toString()));
        QCOMPARE(fax->pages, 1);
        QCOMPARE(fax->widths.first(), 1728);
        // The receiving line asked for T.38 as its session started, and the sending one
        // took the switch (its own session may have started after it).
        QVERIFY(sender.lastProgress().t38);
        QVERIFY(receiver.lastProgress().t38 && receiver.lastProgress().switched);
    }

    // How the fax goes between two lines, by what each line's fax_transport says: T.38 from
    // the INVITE on, when the caller offers it beside the audio and the line called prefers
    // it; audio, when the caller refuses the receiving line's switch (488).
    void theLinesAgreeOnHowTheFaxGoes_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("t38");
        QTest::newRow("T.38 offered at once") << "T38 Out"
                                              << "T38 In"
                                              << "2006" << true;
        QTest::newRow("T.38 refused") << "Audio Out"
                                      << "Fax In"
                                      << "2002" << false;
    }
    void theLinesAgreeOnHowTheFaxGoes()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, number);
        QFETCH(bool, t38);
        const QString folder = m_dir.filePath(QStringLiteral("agreed-") + number);
        FaxMachine receiver;
        receiver.chooseLine(to);
        QVERIFY(receiver.receive(folder, 2));
        FaxMachine sender;
        sender.chooseLine(from);
        QSignalSpy sent(&sender, &FaxMachine::finished);
        QSignalSpy received(&receiver, &FaxMachine::finished);
        QVERIFY(sender.send(number, document(), QString()));
        QTRY_VERIFY_WITH_TIMEOUT(sent.count() == 1 && received.count() == 1, 120000);
        QCOMPARE(sender.status(), QStringLiteral("Completed"));
        QCOMPARE(receiver.status(), QStringLiteral("Completed"));
        QCOMPARE(inspectTiff(QDir(folder).filePath(receiver.receivedFile()))->pages, 1);
        for (const FaxProgress& side : {sender.lastProgress(), receiver.lastProgress()}) {
            QCOMPARE(side.t38, t38);
            QVERIFY(!side.switched); // one transport from the answer to the end
            QVERIFY(side.ecm);
        }
    }

    void aFaxMachineCallingAnAnsweringLineIsReceivedAsAFax()
    {
        // The answering line greets; the caller's calling tone is heard, and its page is
        // received as a fax instead of recorded as noise.
        test::TestServer server;
        QVERIFY(server.isRunning());
        const QString home = m_dir.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(home));
        LineHandle line = server.newLine();
        QVERIFY(line.InitTAPI(QStringLiteral("Answering"), server.gridExport(), 1, home));
        QCOMPARE(line.getMessage().value(), QStringLiteral("NOERROR"));
        QVERIFY(line.setRings(1));
        QVERIFY(line.setPlayType(QStringLiteral("MESS")));
        QVERIFY(line.setPlayMessage(QStringLiteral("Please leave a message after the tone.")));
        QVERIFY(line.setRecordTime(10));
        FaxMachine sender;
        sender.chooseLine(QStringLiteral("Fax Out"));
        QSignalSpy sent(&sender, &FaxMachine::finished);
        QVERIFY(sender.send(QStringLiteral("2004"), document(), QString()));
        QTRY_COMPARE_WITH_TIMEOUT(sent.count(), 1, 120000);
        QCOMPARE(sender.status(), QStringLiteral("Completed"));
        const auto listed = [&] {
            Database db;
            return db.OpenDatabase(home) ? recievefax::listAll(db, home).value() : QStringList();
        };
        QTRY_COMPARE_WITH_TIMEOUT(listed().size(), 1, 30000);
        Result<TiffSummary> fax = inspectTiff(listed().first());
        QVERIFY2(fax, qPrintable(fax.status().toString()));
        QCOMPARE(fax->pages, 1);
        Database db;
        QVERIFY(db.OpenDatabase(home));
        QVERIFY(recmessage::listDay(db, QDate::currentDate())->isEmpty());
        line.reset();
    }

    void aFarEndThatNeverAnswersTheSwitchKeepsTheFaxOnAudio()
    {
        // A caller that takes the receiving line's re-INVITE for T.38 and never answers
        // it, not even with 100 Trying: after a few seconds the line gives up asking, and
        // the fax session goes on as audio until its own timers end it (this caller sends
        // no fax), with our BYE, in the call as it was.
        FaxMachine receiver;
        receiver.chooseLine(QStringLiteral("Fax In"));
        QSignalSpy ended(&receiver, &FaxMachine::finished);
        QVERIFY(receiver.receive(m_dir.filePath(QStringLiteral("unanswered")), 2));
        test::SipCallerScenario s;
        s.afterAnswer = QStringLiteral("<recv request=\"INVITE\"/>\n");
        const QString path = m_dir.filePath(QStringLiteral("unanswered.xml"));
        QVERIFY(test::writeScenario(path, s));
        const test::SipCallerRun run = test::runSipCaller(path, QStringLiteral("2002"), m_inPort);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QTRY_COMPARE(ended.count(), 1);
        QCOMPARE(receiver.status(), QStringLiteral("Not a Fax Call"));
        QVERIFY(!receiver.lastProgress().t38);
        QVERIFY(receiver.lastLineSamples() > 10 * 8000); // well beyond the 6 s of asking
    }

    void aRefusedCallEndsWithWhatTheRefusalMeans_data()
    {
        QTest::addColumn<QString>("response");
        QTest::addColumn<QString>("status");
        QTest::newRow("486") << "486 Busy Here"
                             << "Busy";
        QTest::newRow("600") << "600 Busy Everywhere"
                             << "Busy";
        QTest::newRow("404") << "404 Not Found"
                             << "Bad Address";
        QTest::newRow("480") << "480 Temporarily Unavailable"
                             << "No Answer";
        QTest::newRow("603") << "603 Decline"
                             << "Call Blacklisted";
        QTest::newRow("503") << "503 Service Unavailable"
                             << "Unavailable";
    }
    void aRefusedCallEndsWithWhatTheRefusalMeans()
    {
        QFETCH(QString, response);
        QFETCH(QString, status);
        const QString path = m_dir.filePath(QStringLiteral("refuse.xml"));
        QFile scenario(path);
        QVERIFY(scenario.open(QIODevice::WriteOnly | QIODevice::Truncate));
        const QStringList parts = response.split(u' ');
        scenario.write(QByteArray(kRefuser)
                           .replace("CODE", parts.first().toLatin1())
                           .replace("REASON", parts.mid(1).join(u' ').toLatin1()));
        scenario.close();
        QProcess peer;
        peer.setProcessChannelMode(QProcess::MergedChannels);
        peer.start(QStringLiteral("sipp"),
                   {"-sf", path, "-i", "127.0.0.1", "-p", QString::number(m_peerPort), "-m", "1",
                    "-nostdin", "-timeout", "30s"});
        QVERIFY(peer.waitForStarted());

        FaxMachine sender;
        sender.chooseLine(QStringLiteral("To Peer"));
        QSignalSpy ended(&sender, &FaxMachine::finished);
        // sipp needs a moment to open its socket; the INVITE is retransmitted meanwhile.
        QVERIFY(sender.send(QStringLiteral("(2003) 555"), document(), QString()));
        QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 30000);
        QCOMPARE(sender.status(), status);
        // The peer keeps the ended call a while for retransmissions; it is not needed now.
        peer.kill();
        peer.waitForFinished();
    }

    void endingASendWhileItRingsCancelsTheCall()
    {
        const QString path = m_dir.filePath(QStringLiteral("ring.xml"));
        QFile scenario(path);
        QVERIFY(scenario.open(QIODevice::WriteOnly | QIODevice::Truncate));
        scenario.write(kRinger);
        scenario.close();
        QProcess peer;
        peer.setProcessChannelMode(QProcess::MergedChannels);
        peer.start(QStringLiteral("sipp"),
                   {"-sf", path, "-i", "127.0.0.1", "-p", QString::number(m_peerPort), "-m", "1",
                    "-nostdin", "-timeout", "30s"});
        QVERIFY(peer.waitForStarted());

        FaxMachine sender;
        sender.chooseLine(QStringLiteral("To Peer"));
        QVERIFY(sender.send(QStringLiteral("2003"), document(), QString()));
        QTRY_COMPARE_WITH_TIMEOUT(sender.status(), QStringLiteral("Dialing 2003 ...."), 10000);
        sender.end();
        QCOMPARE(sender.status(), QStringLiteral("Aborting"));
        // The peer saw the CANCEL and the call through to its ACK, as its scenario wants.
        QString seen;
        const QRegularExpression done(QStringLiteral("CANCEL\\s+1\\s.*ACK\\s+1\\s"),
                                      QRegularExpression::DotMatchesEverythingOption);
        QTRY_VERIFY_WITH_TIMEOUT(
            (seen += QString::fromLocal8Bit(peer.readAll()), seen.contains(done)), 20000);
        peer.kill();
        peer.waitForFinished();
    }

    void aNumberThatIsNoNumberIsABadAddress_data()
    {
        QTest::addColumn<QString>("number");
        QTest::newRow("words") << "call me";
        // Nothing may break out of the INVITE's request line or its headers.
        QTest::newRow("line break") << "sip:2002@127.0.0.1\r\nX-Injected: 1";
        QTest::newRow("blank in an address") << "2002@127.0.0.1 x";
        QTest::newRow("angle bracket") << "2002@127.0.0.1>";
    }
    void aNumberThatIsNoNumberIsABadAddress()
    {
        QFETCH(QString, number);
        FaxMachine sender;
        sender.chooseLine(QStringLiteral("Fax Out"));
        QVERIFY(sender.send(number, document(), QString()));
        QTRY_COMPARE(sender.status(), QStringLiteral("Bad Address"));
    }
};

QTEST_MAIN(TestSipFax)
#include "TestSipFax.moc"
