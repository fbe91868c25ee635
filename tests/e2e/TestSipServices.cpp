// What a provider's side and a caller behind NAT expect of a SIP line, call by call on
// loopback with sipp as the far end: extensions we do not serve are refused, OPTIONS
// answers what an INVITE would get, session refreshes never end a recording, a held call
// is answered recvonly, a line that records for a while yet is busy at once (or free at the
// hang-up with stop_on_hangup), and a caller whose Contact and SDP name an address nobody
// can reach is recorded and hung up on where its packets come from.

#include "Baresip.h"
#include "Signals.h"
#include "SipCaller.h"
#include "TestServer.h"
#include "database/RecMessageTable.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

namespace {
const QString kFront = QStringLiteral("Front desk");
const QString kQuick = QStringLiteral("Quick desk");
const QString kSecret = QStringLiteral("Secret desk");
const QString kSix = QStringLiteral("IPv6 desk");
constexpr int kWaitMs = 30000;
} // namespace

class TestSipServices : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    quint16 m_port = 0;
    std::unique_ptr<test::TestServer> m_server;
    LineHandle m_front, m_quick, m_secret, m_six;
    QString m_pcap;

    QString scenario(const char* name, const test::SipCallerScenario& s)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name) + ".xml");
        return test::writeScenario(path, s) ? path : QString();
    }

    QString rawScenario(const char* name, const QString& steps)
    {
        const QString path = m_dir.filePath(QString::fromLatin1(name) + ".xml");
        return test::writeFile(path, ("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n"
                                      "<scenario name=\"" +
                                      QString::fromLatin1(name) + "\">\n" + steps + "</scenario>\n")
                                         .toUtf8())
                   ? path
                   : QString();
    }

    QList<recmessage::CallRow> rows() const
    {
        Database db;
        if (!db.OpenDatabase(m_dir.filePath("home")))
            return {};
        return recmessage::listDay(db, QDate::currentDate()).value();
    }

    QVector<qint16> recordingOf(const recmessage::CallRow& row) const
    {
        return test::decodeMuLawFile(
            test::readFile(m_dir.filePath("home/Rec-Files/" + row.incomingCallFile)));
    }

    // How much of the caller's 1 kHz tone a two-second recording holds once the jitter
    // buffer has started; -1 when it is not two seconds long.
    double callersTone(const recmessage::CallRow& row) const
    {
        const QVector<qint16> got = recordingOf(row);
        return got.size() == 2 * 8000 ? test::tonePower(got.mid(1600), 1000, 8000) : -1;
    }

    // Runs one call and waits until the line has logged it.
    recmessage::CallRow recordedCall(const char* name, const test::SipCallerScenario& s,
                                     const QString& user = QStringLiteral("frontdesk"))
    {
        const qsizetype before = rows().size();
        const test::SipCallerRun run = test::runSipCaller(scenario(name, s), user, m_port);
        if (run.exitCode != 0) {
            qWarning().noquote() << run.output;
            return {};
        }
        if (!QTest::qWaitFor([&] { return rows().size() == before + 1; }, kWaitMs))
            return {};
        return rows().last();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_port = test::freeUdpPort();
        QVERIFY(m_port != 0);
        QVERIFY(test::useLinesFile(m_dir.filePath("lines.conf"),
                                   QStringLiteral("[%1]\nuri = sip:frontdesk@127.0.0.1\nport = %3\n"
                                                  "address = 127.0.0.1\nring_interval_ms = 200\n"
                                                  "dtmf_skip_greeting = #\n"
                                                  "[%2]\nuri = sip:quickdesk@127.0.0.1\nport = %3\n"
                                                  "address = 127.0.0.1\nring_interval_ms = 200\n"
                                                  "stop_on_hangup = yes\n"
                                                  "[%4]\nuri = sip:secret@127.0.0.1\nport = %3\n"
                                                  "address = 127.0.0.1\nring_interval_ms = 200\n"
                                                  "media_encryption = srtp_mandatory\n"
                                                  "[%5]\nuri = sip:sixdesk@[::1]\nport = %3\n"
                                                  "address = ::1\nring_interval_ms = 200\n")
                                       .arg(kFront, kQuick)
                                       .arg(m_port)
                                       .arg(kSecret, kSix)));
        QVERIFY(QDir(m_dir.path()).mkpath("home"));

        const QString greeting = m_dir.filePath("greeting.wav");
        QVERIFY(test::writePcmWav(greeting, test::tone(600, 0.5, 8000), 8000));
        m_pcap = m_dir.filePath("caller.pcap");
        QVERIFY(test::writeRtpPcap(m_pcap, test::tone(1000, 5.0, 8000), false));

        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
        const QList<std::pair<LineHandle*, QString>> lines{
            {&m_front, kFront}, {&m_quick, kQuick}, {&m_secret, kSecret}, {&m_six, kSix}};
        for (int row = 1; row <= 4; ++row) {
            LineHandle* line = lines[row - 1].first;
            *line = m_server->newLine();
            QVERIFY(line->InitTAPI(lines[row - 1].second, m_server->gridExport(), row,
                                   m_dir.filePath("home")));
            QCOMPARE(line->getMessage().value(), QStringLiteral("NOERROR"));
            QVERIFY(line->setRings(2));
            QVERIFY(line->setPlayType("FILE"));
            QVERIFY(line->setPlayFile(greeting));
            QVERIFY(line->setRecordTime(2));
            QVERIFY(line->setVoice(0));
            QVERIFY(line->setVolume(80));
        }
    }

    void cleanupTestCase()
    {
        m_front.reset();
        m_quick.reset();
        m_secret.reset();
        m_six.reset();
        m_server.reset();
    }

    void init() { QVERIFY(m_server->settle()); }

    void whatTheLineCannotDoIsRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("headers");
        QTest::addColumn<QString>("connection");
        QTest::addColumn<int>("expected");
        // No SIP extension is served: a caller that requires one learns so (420), rather
        // than a call that breaks later.
        QTest::newRow("Require: 100rel") << "Require: 100rel\nSupported: 100rel\n"
                                         << "" << 420;
        QTest::newRow("Require: anything") << "Require: foo, timer\n"
                                           << "" << 420;
        // The line's address is IPv4: audio offered only at an IPv6 address could never
        // flow, and would be logged as a silent message.
        QTest::newRow("IPv6 audio only") << ""
                                         << "IN IP6 ::1" << 488;
    }

    void whatTheLineCannotDoIsRefusedAtOnce()
    {
        QFETCH(QString, headers);
        QFETCH(QString, connection);
        QFETCH(int, expected);
        m_server->grid().clear();
        const qsizetype before = rows().size();
        test::SipCallerScenario s;
        s.inviteHeaders = headers;
        if (!connection.isEmpty())
            s.connection = connection;
        s.expectFinal = expected;
        const test::SipCallerRun run =
            test::runSipCaller(scenario("refused", s), "frontdesk", m_port);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(m_server->settle());
        QVERIFY(m_server->grid().history(1, 2).isEmpty()); // it never rang
        QCOMPARE(rows().size(), before);
    }

    void optionsAnswersWhatAnInviteWouldGet_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<int>("expected");
        QTest::newRow("the line, free") << "frontdesk" << 200;
        QTest::newRow("nobody") << "nobody" << 404;
        // A keep-alive or monitor asks the server itself.
        QTest::newRow("the server") << "" << 200;
    }

    void optionsAnswersWhatAnInviteWouldGet()
    {
        QFETCH(QString, user);
        QFETCH(int, expected);
        const QString target = user.isEmpty() ? QStringLiteral("[remote_ip]:[remote_port]")
                                              : user + QStringLiteral("@[remote_ip]:[remote_port]");
        const QString steps =
            QStringLiteral("<send retrans=\"500\"><![CDATA[\n"
                           "OPTIONS sip:%1 SIP/2.0\n"
                           "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n"
                           "From: <sip:probe@[local_ip]:[local_port]>;tag=[pid]probe\n"
                           "To: <sip:%1>\nCall-ID: [call_id]\nCSeq: 1 OPTIONS\n"
                           "Max-Forwards: 70\nContent-Length: 0\n]]></send>\n"
                           "<recv response=\"%2\"/>\n")
                .arg(target)
                .arg(expected);
        const test::SipCallerRun run = test::runSipCaller(
            rawScenario("options", steps), user.isEmpty() ? QStringLiteral("x") : user, m_port);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    }

    void refreshesAndHoldNeverEndARecording()
    {
        // During the recording the caller's provider refreshes the session by UPDATE and by
        // a re-INVITE without SDP (RFC 4028), and holds the call for a moment: each is
        // answered 200, the hold with recvonly, and the recording runs its whole length.
        test::SipCallerScenario s;
        s.pcap = m_pcap;
        const QString recvonly = QStringLiteral(
            "<recv response=\"200\"><action><ereg regexp=\"a=recvonly\" search_in=\"body\" "
            "check_it=\"true\" assign_to=\"held\"/></action></recv>\n"
            "<Reference variables=\"held\"/>\n");
        QString hold = test::withinCall("INVITE", 4, "", test::callerSdp("sendonly"), 200);
        hold.replace(QStringLiteral("<recv response=\"200\"/>\n"), recvonly);
        s.afterAnswer =
            QStringLiteral("<pause milliseconds=\"700\"/>\n") +
            test::withinCall("UPDATE", 2, "Session-Expires: 90;refresher=uac\n", "", 200) +
            test::withinCall("INVITE", 3, "Session-Expires: 90;refresher=uac\n", "", 200,
                             test::callerSdp()) +
            hold + test::withinCall("INVITE", 5, "", test::callerSdp(), 200);
        const recmessage::CallRow row = recordedCall("refresh", s);
        QVERIFY(!row.incomingCallFile.isEmpty());
        const double tone = callersTone(row);
        QVERIFY2(tone > 0.8, qPrintable(QString::number(tone)));
    }

    void aCallerSkipsTheGreetingWithItsKeyAndTheKeysAreKept()
    {
        // A greeting of six seconds; the caller presses # at once, and 1 while recorded.
        const QString longGreeting = m_dir.filePath("long-greeting.wav");
        QVERIFY(test::writePcmWav(longGreeting, test::tone(600, 6.0, 8000), 8000));
        QVERIFY(m_front.setPlayFile(longGreeting));
        auto restore = qScopeGuard([&] { m_front.setPlayFile(m_dir.filePath("greeting.wav")); });
        const QString pcap = m_dir.filePath("keys.pcap");
        QVERIFY(test::writeRtpPcapWithKeys(pcap, test::tone(1000, 5.0, 8000),
                                           {{'#', 300}, {'1', 1500}}));
        test::SipCallerScenario s;
        s.pcap = pcap;
        QElapsedTimer took;
        took.start();
        const recmessage::CallRow row = recordedCall("keys", s);
        QVERIFY(!row.incomingCallFile.isEmpty());
        // Greeted for six seconds and recorded for two, it would have taken eight.
        QVERIFY2(took.elapsed() < 5000, qPrintable(QString::number(took.elapsed())));
        QCOMPARE(row.details.keys, QStringLiteral("#1"));
        QVERIFY(test::tonePeak(recordingOf(row), 1000, 8000) > 0.8);
    }

    void keysSentAsSipInfoAreKeptToo()
    {
        test::SipCallerScenario s;
        s.pcap = m_pcap;
        s.afterAnswer = QStringLiteral("<pause milliseconds=\"700\"/>\n") +
                        test::withinCall("INFO", 2, "", "Signal=5\nDuration=160\n", 200, QString(),
                                         "application/dtmf-relay") +
                        test::withinCall("INFO", 3, "", "*", 200, QString(), "application/dtmf") +
                        test::withinCall("INFO", 4, "", "<media_control/>", 415, QString(),
                                         "application/media_control+xml");
        const recmessage::CallRow row = recordedCall("info", s);
        QVERIFY(!row.incomingCallFile.isEmpty());
        QCOMPARE(row.details.keys, QStringLiteral("5*"));
        // Without a skip key pressed the greeting plays as always: the recording is whole.
        QCOMPARE(recordingOf(row).size(), 2 * 8000);
    }

    void aLineRecordingForAWhileYetIsBusyAtOnce()
    {
        // The first caller hangs up early in a long recording: the line goes on recording
        // as it must, and the next caller hears busy at once instead of ringing until the
        // provider gives up on it.
        QVERIFY(m_front.setRecordTime(8));
        auto restore = qScopeGuard([&] { m_front.setRecordTime(2); });
        const qsizetype before = rows().size();
        test::SipCallerScenario first;
        first.pcap = m_pcap;
        first.hangUpAfterMs = 800;
        const test::SipCallerRun a =
            test::runSipCaller(scenario("first", first), "frontdesk", m_port);
        QVERIFY2(a.exitCode == 0, qPrintable(a.output));

        test::SipCallerScenario second;
        second.expectFinal = 486;
        QElapsedTimer refused;
        refused.start();
        const test::SipCallerRun b =
            test::runSipCaller(scenario("second", second), "frontdesk", m_port);
        QVERIFY2(b.exitCode == 0, qPrintable(b.output));
        QVERIFY2(refused.elapsed() < 3000, qPrintable(QString::number(refused.elapsed())));
        // The first caller's message is whole.
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), before + 1, kWaitMs);
        QCOMPARE(recordingOf(rows().last()).size(), 8 * 8000);
    }

    void stopOnHangupFreesTheLineAtTheHangup()
    {
        QVERIFY(m_quick.setRecordTime(8));
        auto restore = qScopeGuard([&] { m_quick.setRecordTime(2); });
        test::SipCallerScenario first;
        first.pcap = m_pcap;
        first.hangUpAfterMs = 1500;
        QElapsedTimer took;
        took.start();
        const recmessage::CallRow row = recordedCall("early", first, QStringLiteral("quickdesk"));
        QVERIFY(!row.incomingCallFile.isEmpty());
        QVERIFY2(took.elapsed() < 6000, qPrintable(QString::number(took.elapsed())));
        // The message ends at the hang-up: the caller's voice, not seconds of silence.
        const QVector<qint16> got = recordingOf(row);
        QVERIFY2(got.size() > 4000 && got.size() < 3 * 8000,
                 qPrintable(QString::number(got.size())));
        QVERIFY(test::tonePeak(got, 1000, 8000) > 0.8);

        // And the next caller is answered.
        test::SipCallerScenario next;
        next.pcap = m_pcap;
        next.hangUpAfterMs = 1000;
        QVERIFY(
            !recordedCall("next", next, QStringLiteral("quickdesk")).incomingCallFile.isEmpty());
    }

    void aLineOnAnIpv6AddressTakesCallsOverIpv6()
    {
        const qsizetype before = rows().size();
        test::SipCallerScenario s;
        s.pcap = m_pcap;
        test::SipCallerPlace place;
        place.localIp = QStringLiteral("::1");
        place.remoteIp = QStringLiteral("[::1]");
        const test::SipCallerRun run =
            test::runSipCaller(scenario("six", s), QStringLiteral("sixdesk"), m_port, 30000, place);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QTRY_COMPARE_WITH_TIMEOUT(rows().size(), before + 1, kWaitMs);
        QCOMPARE(rows().last().details.line, kSix);
        // The caller's audio came over IPv6.
        const QVector<qint16> got = recordingOf(rows().last());
        QCOMPARE(got.size(), 2 * 8000);
        QVERIFY2(test::tonePower(got.mid(1600), 1000, 8000) > 0.8,
                 qPrintable(QString::number(test::tonePower(got.mid(1600), 1000, 8000))));
    }

    void aLineThatMustEncryptRefusesAPlainCall()
    {
        test::SipCallerScenario s;
        s.expectFinal = 488;
        const test::SipCallerRun run = test::runSipCaller(scenario("plain", s), "secret", m_port);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
    }

    void anSrtpCallIsRecordedWhileTheWireCarriesNoPlainAudio()
    {
        if (const QString why = test::Baresip::unavailable() + test::LoopbackCapture::unavailable();
            !why.isEmpty())
            QSKIP(qPrintable(why));
        // Every packet to or from our RTP ports, as the wire has it.
        test::LoopbackCapture capture;
        QString problem;
        QVERIFY2(capture.start(m_dir.filePath("srtp.pcap"), 16384, 32766, &problem),
                 qPrintable(problem));
        const qsizetype before = rows().size();
        test::Baresip phone;
        QVERIFY2(phone.dial(QStringLiteral("sip:secret@127.0.0.1:%1").arg(m_port), 1000,
                            QStringLiteral(";mediaenc=srtp-mand"), &problem),
                 qPrintable(problem));
        QVERIFY2(QTest::qWaitFor([&] { return rows().size() == before + 1; }, kWaitMs),
                 qPrintable(phone.output().right(1500)));
        phone.stop();
        QList<QByteArray> wire;
        for (const test::LoopbackCapture::Datagram& d : capture.stop())
            wire.append(d.payload);

        // The caller's tone, decrypted, is the recording.
        const QVector<qint16> got = recordingOf(rows().last());
        QCOMPARE(got.size(), 2 * 8000);
        const double heard = test::tonePower(got.mid(1600), 1000, 8000);
        QVERIFY2(heard > 0.8, qPrintable(QString::number(heard)));
        // The wire carried both ways, and neither the caller's tone nor our greeting in it.
        QVERIFY2(wire.size() > 100, qPrintable(QString::number(wire.size())));
        QByteArray payloads;
        for (const QByteArray& packet : wire)
            payloads += packet.mid(12);
        const QVector<qint16> plain = test::decodeMuLawFile(QByteArray(44, '\0') + payloads);
        QVERIFY(test::tonePower(plain, 1000, 8000) < 0.05);
        QVERIFY(test::tonePower(plain, 600, 8000) < 0.05);
    }

    void reportsGoBothWays()
    {
        if (const QString why = test::Baresip::unavailable() + test::LoopbackCapture::unavailable();
            !why.isEmpty())
            QSKIP(qPrintable(why));
        // A call long enough for reports (every five seconds or so).
        QVERIFY(m_front.setRecordTime(9));
        auto restore = qScopeGuard([&] { m_front.setRecordTime(2); });
        static QStringList heard;
        heard.clear();
        // The call's media figures are a detail, said at debug level.
        QLoggingCategory::setFilterRules(QStringLiteral("orvane.sip.debug=true"));
        auto quiet = qScopeGuard([] { QLoggingCategory::setFilterRules(QString()); });
        static QtMessageHandler earlier = nullptr;
        earlier = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext& context, const QString& text) {
                if (text.contains(QLatin1String("media of call")))
                    heard.append(text);
                earlier(type, context, text);
            });
        auto uninstall = qScopeGuard([] { qInstallMessageHandler(earlier); });
        test::LoopbackCapture capture;
        QString problem;
        QVERIFY2(capture.start(m_dir.filePath("rtcp.pcap"), 16384, test::Baresip::kLastMediaPort,
                               &problem),
                 qPrintable(problem));
        const qsizetype before = rows().size();
        test::Baresip phone;
        QVERIFY2(phone.dial(QStringLiteral("sip:frontdesk@127.0.0.1:%1").arg(m_port), 1000,
                            QString(), &problem),
                 qPrintable(problem));
        QVERIFY(QTest::qWaitFor([&] { return rows().size() == before + 1; }, kWaitMs));
        phone.stop();
        // Ours: sender reports (200) or receiver reports (201) sent to the phone's RTCP port.
        int ours = 0;
        for (const test::LoopbackCapture::Datagram& d : capture.stop()) {
            const bool report = d.payload.size() >= 8 && (quint8(d.payload[0]) >> 6) == 2 &&
                                (quint8(d.payload[1]) == 200 || quint8(d.payload[1]) == 201);
            if (report && d.to >= test::Baresip::kFirstMediaPort &&
                d.to <= test::Baresip::kLastMediaPort)
                ++ours;
        }
        QVERIFY2(ours >= 1, qPrintable(QString::number(ours)));
        // Theirs reached the call.
        QTRY_VERIFY(!heard.isEmpty());
        static const QRegularExpression received(QStringLiteral("(\\d+) RTCP reports received"));
        const QRegularExpressionMatch m = received.match(heard.last());
        QVERIFY2(m.hasMatch() && m.captured(1).toInt() >= 1, qPrintable(heard.last()));
    }

    void aCallerBehindNatIsRecordedAndHungUpOnWhereItsPacketsComeFrom()
    {
        // Its Contact and SDP name a private address we cannot reach; its requests and RTP
        // come from loopback. The line takes the RTP from where it comes, and its BYE goes
        // where the caller's requests came from (sipp waits for it, or fails).
        test::SipCallerScenario s;
        s.pcap = m_pcap;
        s.contact = QStringLiteral("sip:sipp@192.168.77.7:5060");
        s.connection = QStringLiteral("IN IP4 192.168.77.7");
        const recmessage::CallRow row = recordedCall("nat", s);
        QVERIFY(!row.incomingCallFile.isEmpty());
        const double tone = callersTone(row);
        QVERIFY2(tone > 0.8, qPrintable(QString::number(tone)));
    }
};

QTEST_GUILESS_MAIN(TestSipServices)
#include "TestSipServices.moc"
