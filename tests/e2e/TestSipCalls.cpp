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
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

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

    // The line every case calls: answers at the second ring, greets, records two seconds.
    LineHandle answeringLine()
    {
        LineHandle line = m_server->newLine();
        if (!line.InitTAPI(kLine, m_server->gridExport(), 1, m_dir.filePath("home")) ||
            !line.setRings(2) || !line.setPlayType("FILE") ||
            !line.setPlayFile(m_dir.filePath("greeting.wav")) || !line.setRecordTime(2) ||
            !line.setVoice(0) || !line.setVolume(80))
            qFatal("cannot set up %s", qPrintable(kLine));
        return line;
    }

    // A caller who speaks, once the line has answered it (its 200 OK in) and before it
    // acknowledges, which it does `ackAfterMs` later; none when that moment does not come.
    std::unique_ptr<QProcess> answeredNotAcknowledged(const char* name, int ackAfterMs)
    {
        test::SipCallerScenario s;
        s.pcap = m_muLawPcap;
        s.answeredMark = m_dir.filePath(QString::fromLatin1(name) + ".answered");
        s.ackAfterMs = ackAfterMs;
        std::unique_ptr<QProcess> caller =
            test::startSipCaller(scenario(name, s), "frontdesk", m_port, kWaitMs);
        if (!QTest::qWaitFor([&] { return QFile::exists(s.answeredMark); }, kWaitMs))
            caller.reset();
        return caller;
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
        QVERIFY(test::useLinesFile(m_dir.filePath("lines.conf"),
                                   QStringLiteral("[%1]\nuri = sip:frontdesk@127.0.0.1\nport = %2\n"
                                                  "address = 127.0.0.1\nring_interval_ms = 200\n")
                                       .arg(kLine)
                                       .arg(m_port)));
        QVERIFY(QDir(m_dir.path()).mkpath("home"));

        const QString greeting = m_dir.filePath("greeting.wav");
        QVERIFY(test::writePcmWav(greeting, test::tone(600, 0.5, 8000), 8000));
        m_muLawPcap = m_dir.filePath("caller-ulaw.pcap");
        m_aLawPcap = m_dir.filePath("caller-alaw.pcap");
        QVERIFY(test::writeRtpPcap(m_muLawPcap, test::tone(1000, 5.0, 8000), false));
        QVERIFY(test::writeRtpPcap(m_aLawPcap, test::tone(1000, 5.0, 8000), true));

        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
        m_line = answeringLine();
        QCOMPARE(m_line.getMessage().value(), QStringLiteral("NOERROR"));
    }

    void cleanupTestCase()
    {
        m_line.reset();
        m_server.reset();
    }

    void init()
    {
        QVERIFY(m_server->settle()); // nothing of an earlier case arrives late
        m_server->grid().clear();
    }

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

    void theCallerIsKeptWithTheCall_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("headers");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        QTest::newRow("asserted by the proxy")
            << "\"Unchecked\" <sip:5550199@[local_ip]:[local_port]>"
            << "P-Asserted-Identity: \"Ann O'Neil\" <sip:5550100@pbx.example.org>\n"
            << "5550100"
            << "Ann O'Neil";
        QTest::newRow("from only") << "\"Bob\" <sip:5550101@[local_ip]:[local_port]>"
                                   << ""
                                   << "5550101"
                                   << "Bob";
        QTest::newRow("withheld")
            << "\"Anonymous\" <sip:anonymous@anonymous.invalid>"
            << "P-Asserted-Identity: <sip:5550102@pbx.example.org>\nPrivacy: id\n"
            << "Withheld"
            << "";
    }

    void theCallerIsKeptWithTheCall()
    {
        QFETCH(QString, from);
        QFETCH(QString, headers);
        QFETCH(QString, number);
        QFETCH(QString, name);
        const int before = logged();
        const QStringList filesBefore = recordings();
        test::SipCallerScenario s;
        s.from = from;
        s.inviteHeaders = headers;
        s.pcap = m_muLawPcap;
        const test::SipCallerRun run =
            test::runSipCaller(scenario("caller", s), "frontdesk", m_port);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QTRY_VERIFY_WITH_TIMEOUT(logged() == before + 1, kWaitMs);
        QStringList files = recordings();
        for (const QString& f : filesBefore)
            files.removeAll(f);
        QCOMPARE(files.size(), 1);
        Database db;
        QVERIFY(db.OpenDatabase(m_dir.filePath("home")));
        const recmessage::CallDetails details = recmessage::detailsOf(db, files.first()).value();
        QCOMPARE(details.callerNumber, number);
        QCOMPARE(details.callerName, name);
        QCOMPARE(details.line, kLine);
        QCOMPARE(details.seconds, 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2), QString(kWaiting), kWaitMs);
    }

    void theNextCallerWhileTheLastIsRecordedGetsACallOfTheirOwn()
    {
        // The first caller hangs up during a long recording; the second calls at once,
        // while the line still records the first.
        QVERIFY(m_line.setRecordTime(4));
        auto restore = qScopeGuard([&] { m_line.setRecordTime(2); });
        const int before = logged();
        const QStringList filesBefore = recordings();
        const QString firstPcap = m_dir.filePath("first-caller.pcap");
        QVERIFY(test::writeRtpPcap(firstPcap, test::tone(700, 5.0, 8000), false));
        test::SipCallerScenario first;
        first.pcap = firstPcap;
        first.hangUpAfterMs = 1500;
        const QDateTime placedA = QDateTime::currentDateTime();
        test::SipCallerRun a = test::runSipCaller(scenario("first", first), "frontdesk", m_port);
        QVERIFY2(a.exitCode == 0, qPrintable(a.output));
        QVERIFY(m_server->settle());
        QCOMPARE(m_server->grid().cell(1, 2), QStringLiteral("Recording File .... "));

        test::SipCallerScenario second;
        second.pcap = m_muLawPcap;
        const QDateTime placedB = QDateTime::currentDateTime();
        test::SipCallerRun b = test::runSipCaller(scenario("second", second), "frontdesk", m_port);
        QVERIFY2(b.exitCode == 0, qPrintable(b.output)); // answered, recorded, hung up on
        QTRY_VERIFY_WITH_TIMEOUT(logged() == before + 2, kWaitMs);

        QStringList files = recordings();
        for (const QString& f : filesBefore)
            files.removeAll(f);
        QCOMPARE(files.size(), 2);
        int firsts = 0, seconds = 0;
        for (const QString& f : files) {
            const QVector<qint16> got =
                test::decodeMuLawFile(test::readFile(m_dir.filePath("home/Rec-Files/" + f)));
            QCOMPARE(got.size(), 4 * 8000);
            if (test::tonePeak(got, 700, 8000) > 0.8)
                ++firsts;
            // The second caller's own voice, the whole recording long, not silence.
            if (test::tonePower(got.mid(8000), 1000, 8000) > 0.8)
                ++seconds;
        }
        QCOMPARE(firsts, 1);
        QCOMPARE(seconds, 1);
        // Each row at its own call's time.
        Database db;
        QVERIFY(db.OpenDatabase(m_dir.filePath("home")));
        QList<recmessage::CallRow> rows = recmessage::listDay(db, QDate::currentDate()).value();
        QVERIFY(rows.size() >= 2);
        const QDateTime rowA = rows[rows.size() - 2].incomingCall;
        const QDateTime rowB = rows.last().incomingCall;
        QVERIFY2(qAbs(rowA.secsTo(placedA)) <= 1, qPrintable(rowA.toString(Qt::ISODate)));
        QVERIFY2(qAbs(rowB.secsTo(placedB)) <= 1, qPrintable(rowB.toString(Qt::ISODate)));
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

    void malformedMessagesAreAnsweredOrIgnoredAndCallsGoOn()
    {
        // The line rings but never answers here; a message that starts a call is cancelled.
        QVERIFY(m_line.setRings(50));
        const int before = logged();
        int tag = 100;
        auto invite = [&tag](const QByteArray& extraHeaders, const QByteArray& body,
                             const QByteArray& length = QByteArray()) {
            ++tag;
            return "INVITE sip:frontdesk@127.0.0.1 SIP/2.0\r\n"
                   "Via: SIP/2.0/UDP 127.0.0.1:5999;branch=z9hG4bK" +
                   QByteArray::number(tag) +
                   "\r\nFrom: <sip:bad@127.0.0.1>;tag=1\r\nTo: <sip:frontdesk@127.0.0.1>\r\n"
                   "Call-ID: " +
                   QByteArray::number(tag) +
                   "@test\r\nCSeq: 1 INVITE\r\nContact: <sip:bad@127.0.0.1:5999>\r\n"
                   "Max-Forwards: 70\r\nContent-Type: application/sdp\r\n" +
                   extraHeaders + "Content-Length: " +
                   (length.isEmpty() ? QByteArray::number(body.size()) : length) + "\r\n\r\n" +
                   body;
        };
        const QByteArray noMedia = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nt=0 0\r\n";
        const QByteArray badAddress = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\n"
                                      "c=IN IP4 999.999.1.1\r\nt=0 0\r\nm=audio 6000 RTP/AVP 0\r\n";
        const QByteArray goodOffer = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\n"
                                     "c=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio 6000 RTP/AVP 0\r\n";
        const QByteArray badPort =
            "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\n"
            "t=0 0\r\nm=audio 99999999 RTP/AVP 0\r\n";
        const QList<QPair<const char*, QByteArray>> messages{
            {"binary junk", QByteArray::fromHex("000102fffe20676172626167650d0a")},
            {"empty", QByteArray()},
            {"no start line", "HELLO WORLD\r\n\r\n"},
            {"bad version", "INVITE sip:frontdesk@127.0.0.1 SIP/9.9\r\n\r\n"},
            {"headers missing", "INVITE sip:frontdesk@127.0.0.1 SIP/2.0\r\n\r\n"},
            {"length beyond the body", invite("", "v=0\r\n", "99999")},
            {"negative length", invite("", "", "-5")},
            {"huge header", invite("X-Huge: " + QByteArray(60000, 'a') + "\r\n", noMedia)},
            {"bad CSeq", invite("", noMedia).replace("CSeq: 1 INVITE", "CSeq: one INVITE")},
            {"SDP without media", invite("", noMedia)},
            {"SDP with a bad address", invite("", badAddress)},
            {"SDP with a bad port", invite("", badPort)},
            {"SDP that is not SDP", invite("", QByteArray(300, 'x'))},
            {"a stray response",
             "SIP/2.0 200 OK\r\nVia: SIP/2.0/UDP 127.0.0.1:5999;branch=z9hG4bKx\r\n"
             "Call-ID: nothing\r\nCSeq: 1 INVITE\r\nContent-Length: 0\r\n\r\n"},
            {"no Via", invite("", noMedia)
                           .replace("Via: SIP/2.0/UDP 127.0.0.1:5999;branch=z9hG4bK" +
                                        QByteArray::number(tag) + "\r\n",
                                    "")},
            {"no Call-ID",
             invite("", noMedia).replace("Call-ID: " + QByteArray::number(tag) + "@test\r\n", "")},
            {"no From", invite("", noMedia).replace("From: <sip:bad@127.0.0.1>;tag=1\r\n", "")},
            {"CSeq of another method",
             invite("", noMedia).replace("CSeq: 1 INVITE", "CSeq: 1 BYE")},
            // Over UDP, what follows the length is not part of the message.
            {"padding after the body",
             invite("", goodOffer + "\r\n\r\n", QByteArray::number(goodOffer.size()))},
        };
        // What each must get: the SIP library drops what it cannot read at all; a request
        // without what every request carries is refused as such; an offer that cannot be
        // used is not acceptable. None of them rings the line.
        const QMap<QString, QStringList> expected{
            {"binary junk", {}},
            {"empty", {}},
            {"no start line", {}},
            {"bad version", {}},
            {"headers missing", {}},
            {"length beyond the body", {"SIP/2.0 400 Bad Request"}},
            {"negative length", {"SIP/2.0 400 Bad Request"}},
            {"huge header", {}},
            {"bad CSeq", {}},
            {"SDP without media", {"SIP/2.0 488 Not Acceptable Here"}},
            {"SDP with a bad address", {"SIP/2.0 488 Not Acceptable Here"}},
            {"SDP with a bad port", {"SIP/2.0 488 Not Acceptable Here"}},
            {"SDP that is not SDP", {"SIP/2.0 488 Not Acceptable Here"}},
            {"a stray response", {}},
            {"no Via", {"SIP/2.0 400 Bad Request"}},
            {"no Call-ID", {"SIP/2.0 400 Bad Request"}},
            {"no From", {"SIP/2.0 400 Bad Request"}},
            {"CSeq of another method", {"SIP/2.0 400 Bad Request"}},
            {"padding after the body", {"SIP/2.0 180 Ringing"}},
        };
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        sockaddr_in me{};
        me.sin_family = AF_INET;
        me.sin_port = htons(5999);
        me.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof(me)) == 0);
        auto send = [&](const QByteArray& bytes) {
            ::sendto(fd, bytes.constData(), size_t(bytes.size()), 0,
                     reinterpret_cast<sockaddr*>(&to), sizeof(to));
        };
        auto responses = [&](int waitMs) {
            QList<QByteArray> got;
            pollfd p{fd, POLLIN, 0};
            while (::poll(&p, 1, waitMs) > 0) {
                char buffer[65536];
                const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
                if (n <= 0)
                    break;
                got.append(QByteArray(buffer, n));
            }
            return got;
        };
        auto header = [](const QByteArray& message, const QByteArray& name) {
            for (const QByteArray& line : message.split('\n'))
                if (line.startsWith(name + ":"))
                    return line.trimmed();
            return QByteArray();
        };

        // A message that starts a call (the SIP library reads some broken ones as good
        // INVITEs) is cancelled, whichever INVITE the ringing answers. The 487 that answers
        // the cancel is the cancel's, whenever it comes (a busy machine may send it late).
        QSet<QByteArray> cancelled;
        auto cancelRinging = [&](const QList<QByteArray>& got) {
            for (const QByteArray& ringing : got) {
                if (!ringing.startsWith("SIP/2.0 180"))
                    continue;
                const QByteArray callId = header(ringing, "Call-ID").mid(9).trimmed();
                cancelled.insert(callId);
                const QByteArray common =
                    "Via: SIP/2.0/UDP 127.0.0.1:5999;branch=z9hG4bK" +
                    callId.left(callId.indexOf('@')) +
                    "\r\nFrom: <sip:bad@127.0.0.1>;tag=1\r\nCall-ID: " + callId + "\r\n";
                send("CANCEL sip:frontdesk@127.0.0.1 SIP/2.0\r\n" + common +
                     "To: <sip:frontdesk@127.0.0.1>\r\nCSeq: 1 CANCEL\r\nMax-Forwards: 70\r\n"
                     "Content-Length: 0\r\n\r\n");
                for (const QByteArray& r : responses(500))
                    if (r.startsWith("SIP/2.0 487"))
                        send("ACK sip:frontdesk@127.0.0.1 SIP/2.0\r\n" + common + header(r, "To") +
                             "\r\nCSeq: 1 ACK\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n");
                QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2), QString(kWaiting), kWaitMs);
            }
        };

        // Responses are told apart by their Call-ID, whenever they come.
        QHash<QByteArray, QString> nameOfCall;
        QMap<QString, QStringList> answers;
        // One without a Call-ID answers the message just sent.
        auto note = [&](const QList<QByteArray>& got, const QString& sent) {
            for (const QByteArray& r : got) {
                const QByteArray callId = header(r, "Call-ID").mid(9).trimmed();
                if (r.startsWith("SIP/2.0 487") && cancelled.contains(callId))
                    continue;
                const QString name =
                    callId.isEmpty() ? sent
                                     : nameOfCall.value(callId, QStringLiteral("(unknown call)"));
                const QString status = QString::fromLatin1(r.left(r.indexOf('\r')));
                if (!answers[name].contains(status))
                    answers[name].append(status);
            }
        };
        for (const auto& [name, bytes] : messages) {
            const QByteArray callId = header(bytes, "Call-ID").mid(9).trimmed();
            if (!callId.isEmpty())
                nameOfCall.insert(callId, QString::fromLatin1(name));
            answers[QString::fromLatin1(name)];
            send(bytes);
            const QList<QByteArray> got = responses(300);
            note(got, QString::fromLatin1(name));
            cancelRinging(got);
        }
        const QList<QByteArray> late = responses(1000);
        note(late, QStringLiteral("(unknown call)"));
        cancelRinging(late);
        ::close(fd);
        QStringList report;
        for (auto it = answers.cbegin(); it != answers.cend(); ++it)
            report << it.key() + ": " +
                          (it->isEmpty() ? QStringLiteral("(nothing)") : it->join(", "));
        qInfo().noquote() << "malformed input:\n  " + report.join("\n  ");
        QCOMPARE(answers.keys(), expected.keys());
        for (auto it = expected.cbegin(); it != expected.cend(); ++it)
            QVERIFY2(answers.value(it.key()) == it.value(),
                     qPrintable(it.key() + ": " + answers.value(it.key()).join(", ")));
        // Only the well-formed offer rang the line.
        const QStringList history = m_server->grid().history(1, 2);
        QCOMPARE(std::count_if(history.cbegin(), history.cend(),
                               [](const QString& t) { return t.startsWith("Incoming Call"); }),
                 1);
        QCOMPARE(logged(), before);

        // And the line still takes calls.
        QVERIFY(m_line.setRings(2));
        test::SipCallerScenario s;
        s.pcap = m_muLawPcap;
        const test::SipCallerRun run =
            test::runSipCaller(scenario("after", s), "frontdesk", m_port);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QTRY_VERIFY_WITH_TIMEOUT(logged() == before + 1, kWaitMs);
    }

    // Requests this server does not serve are refused one by one, and a flood of them
    // writes a few log lines a second, each saying how many it stands for.
    void aFloodOfUnservedRequestsIsRefusedAndLoggedWithinBounds()
    {
        static QAtomicInt logLines; // lines written
        static QAtomicInt logged;   // requests a line was written for
        static QAtomicInt leftOut;  // requests the lines say were left out
        logLines = 0;
        logged = 0;
        leftOut = 0;
        static QtMessageHandler previous = nullptr;
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& message) {
                if (!message.contains("unhandled request from") &&
                    !message.contains("more left out of this log")) {
                    previous(type, context, message);
                    return;
                }
                logLines.fetchAndAddRelaxed(1);
                if (message.contains("unhandled request from"))
                    logged.fetchAndAddRelaxed(1);
                const qsizetype at = message.indexOf("[");
                if (at >= 0)
                    leftOut.fetchAndAddRelaxed(message.mid(at + 1).section(' ', 0, 0).toInt());
            });
        auto restore = qScopeGuard([] { qInstallMessageHandler(previous); });

        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        QVERIFY(fd >= 0);
        auto closeSocket = qScopeGuard([fd] { ::close(fd); });
        sockaddr_in me{};
        me.sin_family = AF_INET;
        me.sin_port = htons(5997);
        me.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QVERIFY(::bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof(me)) == 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(m_port);
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        constexpr int kRequests = 2000;
        int refused = 0;
        QElapsedTimer flood;
        flood.start();
        for (int i = 0; i < kRequests; ++i) {
            const QByteArray request =
                "REGISTER sip:127.0.0.1 SIP/2.0\r\nVia: SIP/2.0/UDP "
                "127.0.0.1:5997;branch=z9hG4bKf" +
                QByteArray::number(i) +
                "\r\nFrom: <sip:f@127.0.0.1>;tag=1\r\nTo: <sip:f@127.0.0.1>\r\nCall-ID: flood" +
                QByteArray::number(i) +
                "\r\nCSeq: 1 REGISTER\r\nMax-Forwards: 70\r\nContent-Length: 0\r\n\r\n";
            ::sendto(fd, request.constData(), size_t(request.size()), 0,
                     reinterpret_cast<sockaddr*>(&to), sizeof(to));
            // One at a time, so that no answer is lost to a full socket buffer.
            pollfd p{fd, POLLIN, 0};
            QVERIFY(::poll(&p, 1, 5000) > 0);
            char buffer[4096];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 0 && QByteArray(buffer, n).startsWith("SIP/2.0 405 Method Not Allowed"))
                ++refused;
        }
        QCOMPARE(refused, kRequests);
        // Every request is accounted for, the last ones by the count a second later.
        QTRY_COMPARE_WITH_TIMEOUT(logged.loadRelaxed() + leftOut.loadRelaxed(), kRequests, 5000);
        qInfo("%d unserved requests, %d log lines", kRequests, logLines.loadRelaxed());
        // Ten lines a second at most, whatever the rate of the flood, and the counts.
        const qint64 seconds = flood.elapsed() / 1000 + 2;
        QVERIFY2(logLines.loadRelaxed() <= 10 * seconds + seconds,
                 qPrintable(QStringLiteral("%1 lines in %2 s").arg(logLines).arg(seconds)));
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
        QVERIFY2(texts.size() == 2, qPrintable(texts.join(" | ")));
        QVERIFY(texts[0].startsWith("Incoming Call "));
        QCOMPARE(logged(), before);
    }

    void aCallAnsweredAsItsLineEndsIsListed()
    {
        // The line ends (its server stopping) after its 200 OK and before the caller's ACK:
        // it never greets the caller, but it hangs up and lists the call all the same.
        const int before = logged();
        const QStringList filesBefore = recordings();
        const std::unique_ptr<QProcess> caller = answeredNotAcknowledged("ack-after-the-end", 1500);
        QVERIFY(caller);
        m_line.reset();
        QTRY_COMPARE_WITH_TIMEOUT(logged(), before + 1, kWaitMs);
        const QStringList files = recordings();
        QCOMPARE(files.size(), filesBefore.size() + 1);
        const test::SipCallerRun run = test::finishSipCaller(*caller, kWaitMs);
        m_line = answeringLine();
        QVERIFY2(run.exitCode == 0, qPrintable(run.output)); // its ACK taken, then a BYE
    }

    // Last: the stack stays in its ending state.
    void aCallAnsweredAsTheServerBeginsToEndIsKept()
    {
        // The 200 OK is out, its ACK not yet in (the call still counts as offered) when the
        // server begins to end: the call is answered, so it is not refused and not hung up,
        // but greeted, recorded and logged like any other.
        const int before = logged();
        const std::unique_ptr<QProcess> caller = answeredNotAcknowledged("slow-ack", 3000);
        QVERIFY(caller);
        sip::SipStack::instance().refuseRingingCalls();
        const test::SipCallerRun run = test::finishSipCaller(*caller, kWaitMs);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output)); // greeted, recorded, hung up on
        QTRY_COMPARE_WITH_TIMEOUT(logged(), before + 1, kWaitMs);
    }
};

QTEST_GUILESS_MAIN(TestSipCalls)
#include "TestSipCalls.moc"
