// The pieces of the SIP provider that need no network: the line file, the jitter buffer,
// the choice of G.711 law from an offer, and which RTP a call takes.

#include "platform/LogThrottle.h"
#include "platform/audio/G711.h"
#include "platform/telephony/CallerText.h"
#include "platform/telephony/sip/JitterBuffer.h"
#include "platform/telephony/sip/SipCallerId.h"
#include "platform/telephony/sip/SipLinesConfig.h"
#include "platform/telephony/sip/SipSdp.h"
#include "platform/telephony/sip/SipWaveDevice.h"

#include "Signals.h"
#include "platform/audio/WaveDevice.h"

#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace orvane;
using namespace orvane::sip;

namespace {

QByteArray offer(const QByteArray& formats, const QByteArray& rtpmaps, int port = 6000)
{
    return "v=0\r\no=caller 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
           "m=audio " +
           QByteArray::number(port) + " RTP/AVP " + formats + "\r\n" + rtpmaps;
}

QByteArray packet(char fill, qsizetype n = 160)
{
    return QByteArray(n, fill);
}

QByteArray muLaw(const QVector<qint16>& pcm)
{
    QByteArray out(pcm.size(), Qt::Uninitialized);
    g711::encodeUlaw(pcm.constData(), reinterpret_cast<quint8*>(out.data()), pcm.size());
    return out;
}

// A second of two RTP streams into one call's device, 50 packets a second each, as the
// line's clock takes them: the caller's 1 kHz tone from `callerFrom`, an intruder's 400 Hz
// from `intruderFrom` (starting `intruderLead` packets before the caller). Returns what the
// recording got.
QVector<qint16> recordTwoStreams(const char* callerFrom, const char* intruderFrom, int intruderLead,
                                 qint64* dropped)
{
    struct sa remote, caller, intruder;
    sa_set_str(&remote, "127.0.0.1", 6000);
    sa_set_str(&caller, "127.0.0.1", 6000);
    sa_decode(&caller, callerFrom, strlen(callerFrom));
    sa_decode(&intruder, intruderFrom, strlen(intruderFrom));
    SipWaveDevice device(nullptr, remote, Codec::Pcmu, 0);
    QByteArray recorded(8000, '\0');
    WaveInBuffer buffer;
    buffer.data = reinterpret_cast<quint8*>(recorded.data());
    buffer.length = recorded.size();
    device.startRecording(&buffer, [] {});
    const QByteArray voice = muLaw(test::tone(1000, 1.5, 8000));
    const QByteArray noise = muLaw(test::tone(400, 1.5, 8000));
    rtp_header header{};
    header.pt = 0;
    const int steps = 50 + 10;
    for (int k = -intruderLead; k < steps; ++k) {
        if (k >= 0) {
            header.seq = quint16(100 + k);
            header.ts = quint32(1000 + 160 * k);
            device.deliver(caller, header,
                           reinterpret_cast<const quint8*>(voice.constData()) + 160 * k, 160);
        }
        // Its own sequence and clock, far from the caller's.
        header.seq = quint16(40000 + k);
        header.ts = quint32(900000000u + quint32(160 * (k + intruderLead)));
        device.deliver(
            intruder, header,
            reinterpret_cast<const quint8*>(noise.constData()) + 160 * (k + intruderLead), 160);
        device.tick(qint64(k + intruderLead + 1) * 20'000'000);
    }
    device.stopRecording();
    *dropped = device.packetsDropped();
    return test::decodeMuLawFile(QByteArray(44, '\0') + recorded.left(buffer.bytesRecorded));
}

} // namespace

class TestSipParts : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theLineFileGivesOneLinePerSection()
    {
        const QByteArray text = "# lines of the shop\n"
                                "[Front desk]\n"
                                "uri = sip:frontdesk@pbx.example.org\n"
                                "registrar = sip:pbx.example.org\n"
                                "password = pa#ss   # a hash inside a value stays\n"
                                "port = 5062 # the desk\n"
                                "\n"
                                "[Fax]\n"
                                "uri=sip:2001@10.0.0.5:5080\n"
                                "user = faxauth\n"
                                "address = 127.0.0.1\n"
                                "ring_interval_ms = 2000\n";
        Result<QList<LineConfig>> lines = parseLinesConfig(text);
        QVERIFY2(lines.isOk(), qPrintable(lines.status().toString()));
        QCOMPARE(lines->size(), 2);
        const LineConfig& desk = lines->at(0);
        QCOMPARE(desk.name, QStringLiteral("Front desk"));
        QCOMPARE(desk.user, QStringLiteral("frontdesk"));
        QCOMPARE(desk.domain, QStringLiteral("pbx.example.org"));
        QCOMPARE(desk.authUser, QStringLiteral("frontdesk"));
        QCOMPARE(desk.port, quint16(5062));
        QCOMPARE(desk.password, QStringLiteral("pa#ss"));
        QCOMPARE(desk.ringIntervalMs, 6000);
        const LineConfig& fax = lines->at(1);
        QCOMPARE(fax.user, QStringLiteral("2001"));
        QCOMPARE(fax.domain, QStringLiteral("10.0.0.5:5080"));
        QCOMPARE(fax.authUser, QStringLiteral("faxauth"));
        QCOMPARE(fax.port, quint16(5060));
        QCOMPARE(fax.address, QStringLiteral("127.0.0.1"));
        QCOMPARE(fax.ringIntervalMs, 2000);
        QVERIFY(parseLinesConfig("").value().isEmpty());
        // Two users on one port.
        QCOMPARE(parseLinesConfig("[A]\nuri=sip:a@b\n[B]\nuri=sip:c@b\n").value().size(), 2);
    }

    void theServersLimitsComeBeforeTheFirstLine()
    {
        Result<LinesFile> file =
            parseLinesFile("# the shop\nmax_calls = 40   # the box is small\ninvite_rate = 5\n"
                           "media_threads = 0\n[A]\nuri = sip:a@b\n");
        QVERIFY2(file.isOk(), qPrintable(file.status().toString()));
        QCOMPARE(file->limits.maxCalls, 40);
        QCOMPARE(file->limits.inviteRate, 5);
        QCOMPARE(file->limits.mediaThreads, 0); // the audio on the SIP loop
        QCOMPARE(file->lines.size(), 1);
        // Without them, the defaults.
        const Result<LinesFile> plain = parseLinesFile("[A]\nuri = sip:a@b\n");
        QCOMPARE(plain->limits.maxCalls, CallLimits().maxCalls);
        QCOMPARE(plain->limits.inviteRate, CallLimits().inviteRate);
        QCOMPARE(plain->limits.mediaThreads, -1); // one per core
        // A limit inside a line is a line's setting, which there is none of.
        QVERIFY(!parseLinesFile("[A]\nuri = sip:a@b\nmax_calls = 3\n").isOk());
        for (const char* bad : {"max_calls = 0\n", "max_calls = many\n", "invite_rate = -1\n",
                                "port = 5060\n", "media_threads = -1\n", "media_threads = 65\n"}) {
            const Result<LinesFile> refused =
                parseLinesFile(QByteArray(bad) + "[A]\nuri=sip:a@b\n");
            QVERIFY2(!refused.isOk(), bad);
            QVERIFY2(refused.status().description().contains("line 1"), bad);
        }
    }

    void mistakesInTheLineFileSayWhere_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("where");
        QTest::newRow("no uri") << QByteArray("[A]\nport=5070\n") << "line 1";
        QTest::newRow("not sip") << QByteArray("[A]\nuri=tel:123\n") << "line 1";
        QTest::newRow("no user") << QByteArray("[A]\nuri=sip:example.org\n") << "line 1";
        QTest::newRow("bad port") << QByteArray("[A]\nuri=sip:a@b\nport=70000\n") << "line 3";
        QTest::newRow("unknown key") << QByteArray("[A]\nuri=sip:a@b\ncolour=red\n") << "line 3";
        QTest::newRow("before a section") << QByteArray("uri=sip:a@b\n") << "line 1";
        QTest::newRow("twice") << QByteArray("[A]\nuri=sip:a@b\n[A]\nuri=sip:c@d\n") << "line 3";
        QTest::newRow("same port and user")
            << QByteArray("[A]\nuri=sip:a@b\n[B]\nuri=sip:a@d\n") << "line 3";
        QTest::newRow("one address written two ways")
            << QByteArray("[A]\nuri=sip:a@b\naddress=::1\n[B]\nuri=sip:a@d\naddress=0:0::1\n")
            << "line 4";
        QTest::newRow("password alone") << QByteArray("[A]\nuri=sip:a@b\npassword=x\n") << "line 1";
        QTest::newRow("bad address")
            << QByteArray("[A]\nuri=sip:a@b\naddress=nowhere\n") << "line 3";
        QTest::newRow("unclosed") << QByteArray("[A\nuri=sip:a@b\n") << "line 1";
    }

    void mistakesInTheLineFileSayWhere()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, where);
        Result<QList<LineConfig>> lines = parseLinesConfig(text);
        QVERIFY(!lines.isOk());
        QVERIFY2(lines.status().description().contains(where),
                 qPrintable(lines.status().description()));
    }

    // lines.conf as the file system has it: what is no regular file of sensible size is a
    // mistake said at once (a FIFO never waited on, /dev/zero never read to its end), and a
    // password that others can read is a warning with the command that mends it.
    void theLineFileIsReadOnlyWhenItIsAFileOfSensibleSize()
    {
        QTemporaryDir dir;
        auto readAt = [](const QString& path) {
            qputenv("ORVANE_LINES_CONF", QFile::encodeName(path));
            return readLinesFile();
        };
        auto cleanup = qScopeGuard([] { qunsetenv("ORVANE_LINES_CONF"); });
        QVERIFY(readAt(dir.filePath("none.conf")).value().lines.isEmpty());

        const QString fifo = dir.filePath("fifo.conf");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const QString big = dir.filePath("big.conf");
        QFile bigFile(big);
        QVERIFY(bigFile.open(QIODevice::WriteOnly));
        QVERIFY(bigFile.write(QByteArray(kMaxLinesFileBytes + 1, '#')) > 0);
        bigFile.close();
        const struct {
            QString path;
            QString told;
        } refused[] = {{fifo, fifo + " is a named pipe (FIFO), not a file"},
                       {"/dev/zero", "/dev/zero is a device, not a file"},
                       {dir.path(), dir.path() + " is a folder, not a file"},
                       {big, big + " has 1048577 bytes; at most 1048576 are read"}};
        for (const auto& r : refused) {
            const Result<LinesFile> file = readAt(r.path);
            QVERIFY(!file.isOk());
            QCOMPARE(file.status().description(), "lines.conf: " + r.told);
        }

        const QString conf = dir.filePath("it's mine.conf");
        QFile text(conf);
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("[A]\nuri = sip:a@b\nregistrar = sip:b\npassword = s3cret\n");
        text.close();
        QVERIFY(text.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        Result<LinesFile> shared = readAt(conf);
        QVERIFY2(shared.isOk(), qPrintable(shared.status().toString()));
        QCOMPARE(shared->lines.size(), 1);
        QCOMPARE(shared->warnings.size(), 1);
        QVERIFY2(
            shared->warnings.first().endsWith("chmod 600 '" + dir.path() + "/it'\\''s mine.conf'"),
            qPrintable(shared->warnings.first()));
        QVERIFY(text.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
        QVERIFY(readAt(conf)->warnings.isEmpty());
        // Without a password there is nothing to hide.
        QVERIFY(text.open(QIODevice::WriteOnly | QIODevice::Truncate));
        text.write("[A]\nuri = sip:a@b\n");
        text.close();
        QVERIFY(text.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                    QFile::ReadOther));
        QVERIFY(readAt(conf)->warnings.isEmpty());
    }

    void anOfferNamingNoRealAddressOrPortIsRefused()
    {
        auto offer = [](const QByteArray& address, const QByteArray& port) {
            return "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN " + address +
                   "\r\nt=0 0\r\nm=audio " + port + " RTP/AVP 0\r\n";
        };
        QCOMPARE(chooseCodec(offer("IP4 192.0.2.7", "6000")), Codec::Pcmu);
        QVERIFY(mediaWellFormed(offer("IP6 2001:db8::7", "6000/2")));
        QVERIFY(mediaWellFormed(offer("IP4 224.2.1.1/127", "0")));
        for (const auto& [address, port] :
             {std::pair<QByteArray, QByteArray>{"IP4 999.999.1.1", "6000"},
              {"IP4 pbx.example.org", "6000"},
              {"IP6 192.0.2.7", "6000"},
              {"IP4 192.0.2.7", "99999999"},
              {"IP4 192.0.2.7", "65536"},
              {"IP4 192.0.2.7", "-5"},
              {"IP4 192.0.2.7", "+6000"}}) {
            QVERIFY2(!mediaWellFormed(offer(address, port)), address + " " + port);
            QCOMPARE(chooseCodec(offer(address, port)), Codec::None);
        }
    }

    void aThrottledLogCountsWhatItLeavesOut()
    {
        LogThrottle throttle(3, 1000);
        qint64 leftOut = -1;
        int written = 0;
        for (int i = 0; i < 50; ++i) // 50 in 49 ms: the first 3 are written
            written += throttle.allow(1000 + i, &leftOut) ? 1 : 0;
        QCOMPARE(written, 3);
        QCOMPARE(leftOut, 0);
        QVERIFY(!throttle.allow(1999, &leftOut));
        QVERIFY(throttle.allow(2000, &leftOut)); // a new second
        QCOMPARE(leftOut, 48);
        QVERIFY(throttle.allow(2001, &leftOut));
        QCOMPARE(leftOut, 0);
        QVERIFY(throttle.allow(2002, &leftOut) && !throttle.allow(2003, &leftOut));
        QCOMPARE(throttle.takeLeftOut(), 1);
        QCOMPARE(throttle.takeLeftOut(), 0);
    }

    void theJitterBufferPutsAudioBackInOrder()
    {
        JitterBuffer jb(320); // 40 ms behind the first packet
        quint8 out[160];
        jb.take(out, 160); // nothing yet: silence
        QCOMPARE(QByteArray(reinterpret_cast<char*>(out), 160), packet(char(g711::ULAW_SILENCE)));
        // Packets 2, 1, 3 (out of order) of 160 samples each from timestamp 1000.
        jb.put(2, 1160, reinterpret_cast<const quint8*>(packet('b').constData()), 160);
        jb.put(1, 1000, reinterpret_cast<const quint8*>(packet('a').constData()), 160);
        jb.put(3, 1320, reinterpret_cast<const quint8*>(packet('c').constData()), 160);
        QByteArray played;
        for (int i = 0; i < 5; ++i) {
            jb.take(out, 160);
            played += QByteArray(reinterpret_cast<char*>(out), 160);
        }
        // The delay counts from the first packet that came (b, at 1160): a still makes it.
        QCOMPARE(played.left(160), packet(char(g711::ULAW_SILENCE)));
        QCOMPARE(played.mid(160, 480), packet('a') + packet('b') + packet('c'));
        QCOMPARE(jb.missing(), 0);
    }

    void lostAndLatePacketsAreSilence()
    {
        JitterBuffer jb(160);
        quint8 out[160];
        jb.put(1, 0, reinterpret_cast<const quint8*>(packet('a').constData()), 160);
        jb.put(3, 320, reinterpret_cast<const quint8*>(packet('c').constData()), 160);
        QByteArray played;
        for (int i = 0; i < 4; ++i) {
            jb.take(out, 160);
            played += QByteArray(reinterpret_cast<char*>(out), 160);
        }
        QCOMPARE(played.mid(160, 160), packet('a'));
        QCOMPARE(played.mid(320, 160), packet(char(g711::ULAW_SILENCE))); // packet 2 never came
        QCOMPARE(played.mid(480, 160), packet('c'));
        QCOMPARE(jb.missing(), 160);
        // Packet 2 now comes, too late to play: behind newer audio, it is dropped.
        jb.put(2, 160, reinterpret_cast<const quint8*>(packet('b').constData()), 160);
        QCOMPARE(jb.late(), 0);
        QCOMPARE(jb.recovered(), 1); // within the buffer's reach: play-out moved back to it
        // A jump far ahead restarts the stream there.
        jb.put(4, 100000, reinterpret_cast<const quint8*>(packet('d').constData()), 160);
        QCOMPARE(jb.restarts(), 1);
        // Timestamps wrap around 2^32 and go on in order.
        JitterBuffer wrap(0);
        wrap.put(1, 0xFFFFFF60u, reinterpret_cast<const quint8*>(packet('y').constData()), 160);
        wrap.put(2, 0x00000000u, reinterpret_cast<const quint8*>(packet('z').constData()), 160);
        QByteArray both;
        for (int i = 0; i < 2; ++i) {
            wrap.take(out, 160);
            both += QByteArray(reinterpret_cast<char*>(out), 160);
        }
        QCOMPARE(both, packet('y') + packet('z'));
        QCOMPARE(wrap.restarts(), 0);
        // Garbage sizes are ignored.
        jb.put(5, 0, nullptr, 0);
        jb.put(6, 0, reinterpret_cast<const quint8*>(QByteArray(9000, 'x').constData()), 9000);
        QCOMPARE(jb.received(), 4);
    }

    void aStalledStreamIsDelayedNotLost()
    {
        // The sender stalls for 200 ms, then sends the held packets at once: the buffer
        // grows to take them, and every packet is played.
        JitterBuffer jb(160);
        quint8 out[160];
        QByteArray played;
        auto put = [&](int n) {
            const QByteArray p = packet(char('A' + n % 20));
            jb.put(quint16(n), quint32(n * 160), reinterpret_cast<const quint8*>(p.constData()),
                   160);
        };
        auto take = [&] {
            jb.take(out, 160);
            played += QByteArray(reinterpret_cast<char*>(out), 160);
        };
        for (int n = 0; n < 5; ++n) { // on time
            put(n);
            take();
        }
        for (int i = 0; i < 10; ++i) // the stall: silence plays
            take();
        for (int n = 5; n < 15; ++n) // the held packets, all at once
            put(n);
        for (int i = 0; i < 12; ++i)
            take();
        for (int n = 0; n < 15; ++n)
            QVERIFY2(played.contains(packet(char('A' + n % 20))), qPrintable(QString::number(n)));
        QCOMPARE(jb.late(), 0);
        QVERIFY(jb.recovered() >= 1);
        QCOMPARE(played.size(), 27 * 160); // exactly what was asked, whatever came
    }

    void aSteadyBufferKeepsItsDelayAndPlaysLatePacketsAsSilence()
    {
        // The same stall, for a fax modem: the delay stays, the held packets that come
        // after their time are not played, and the rest is on time.
        JitterBuffer jb(160);
        jb.setSteady(true);
        quint8 out[160];
        QByteArray played;
        auto put = [&](int n) {
            const QByteArray p = packet(char('A' + n % 20));
            jb.put(quint16(n), quint32(n * 160), reinterpret_cast<const quint8*>(p.constData()),
                   160);
        };
        for (int n = 0; n < 5; ++n) {
            put(n);
            jb.take(out, 160);
            played += QByteArray(reinterpret_cast<char*>(out), 160);
        }
        for (int i = 0; i < 10; ++i) {
            jb.take(out, 160);
            played += QByteArray(reinterpret_cast<char*>(out), 160);
        }
        for (int n = 5; n < 20; ++n)
            put(n);
        for (int i = 0; i < 5; ++i) {
            jb.take(out, 160);
            played += QByteArray(reinterpret_cast<char*>(out), 160);
        }
        QCOMPARE(jb.recovered(), 0);
        QVERIFY(jb.late() >= 8);
        QVERIFY(!played.contains(packet(char('A' + 6)))); // came too late: silence
        // Packets 15 on were in time for their place: played where the clock put them.
        QVERIFY(played.contains(packet(char('A' + 16))));
        QCOMPARE(played.size(), 20 * 160);
    }

    void theOfferDecidesTheLaw_data()
    {
        QTest::addColumn<QByteArray>("sdp");
        QTest::addColumn<int>("codec");
        QTest::newRow("PCMU") << offer("0", "a=rtpmap:0 PCMU/8000\r\n") << int(Codec::Pcmu);
        QTest::newRow("PCMU preferred") << offer("8 0", "") << int(Codec::Pcmu);
        QTest::newRow("only PCMA")
            << offer("8 101", "a=rtpmap:101 telephone-event/8000\r\n") << int(Codec::Pcma);
        QTest::newRow("G.729 only") << offer("18", "a=rtpmap:18 G729/8000\r\n") << int(Codec::None);
        QTest::newRow("media refused") << offer("0", "", 0) << int(Codec::None);
        QTest::newRow("not SDP") << QByteArray("hello there") << int(Codec::None);
        QTest::newRow("empty") << QByteArray() << int(Codec::None);
        QTest::newRow("no media") << QByteArray("v=0\r\no=- 1 1 IN IP4 1.2.3.4\r\ns=-\r\nt=0 0\r\n")
                                  << int(Codec::None);
    }

    void theOfferDecidesTheLaw()
    {
        QFETCH(QByteArray, sdp);
        QFETCH(int, codec);
        QCOMPARE(int(chooseCodec(sdp)), codec);
    }

    void theAnswerNamesOneLawAndOurPort()
    {
        SdpNegotiation n;
        struct sa local;
        sa_set_str(&local, "127.0.0.1", 20000);
        QVERIFY(n.prepare(local, offer("0 8 101", "a=rtpmap:101 telephone-event/8000\r\n")));
        QCOMPARE(int(n.codec()), int(Codec::Pcmu));
        const QByteArray answer = n.encode(false).value();
        QVERIFY(answer.contains("m=audio 20000 RTP/AVP 0 101"));
        QVERIFY(!answer.contains("PCMA"));
        struct sa remote;
        QVERIFY(n.remote(&remote));
        QCOMPARE(sa_port(&remote), quint16(6000));

        SdpNegotiation refused;
        QVERIFY(!refused.prepare(local, offer("18", "")).isOk());
    }

    void rtpIsTakenOnlyFromTheNegotiatedAddress()
    {
        struct sa remote, stranger;
        sa_set_str(&remote, "127.0.0.1", 6000);
        sa_set_str(&stranger, "10.9.8.7", 6000);
        SipWaveDevice device(nullptr, remote, Codec::Pcmu, 0);
        rtp_header header{};
        header.pt = 0;
        header.seq = 1;
        header.ts = 0;
        const QByteArray payload = packet('z');
        device.deliver(stranger, header, reinterpret_cast<const quint8*>(payload.constData()), 160);
        header.pt = 18;
        device.deliver(remote, header, reinterpret_cast<const quint8*>(payload.constData()), 160);
        QCOMPARE(device.packetsDropped(), 2);
        header.pt = 0;
        device.deliver(remote, header, reinterpret_cast<const quint8*>(payload.constData()), 160);
        QCOMPARE(device.packetsDropped(), 2);
    }

    void aSecondStreamNeverBreaksIntoTheRecording_data()
    {
        QTest::addColumn<QString>("callerFrom");
        QTest::addColumn<int>("intruderLead");
        // The caller sends from the port it announced; the intruder from another port of
        // the same address, interleaved, or starting first.
        QTest::newRow("interleaved") << "127.0.0.1:6000" << 0;
        QTest::newRow("intruder first") << "127.0.0.1:6000" << 5;
        // A phone that sends from another port than it announced: its stream is the first
        // heard, and the intruder's never gets in.
        QTest::newRow("caller from another port") << "127.0.0.1:6010" << 0;
    }

    void aSecondStreamNeverBreaksIntoTheRecording()
    {
        QFETCH(QString, callerFrom);
        QFETCH(int, intruderLead);
        qint64 dropped = 0;
        const QVector<qint16> got = recordTwoStreams(callerFrom.toLatin1().constData(),
                                                     "127.0.0.1:7000", intruderLead, &dropped);
        QCOMPARE(got.size(), 8000);
        // After the buffer's start-up delay the whole second is the caller's tone.
        const QVector<qint16> settled = got.mid(1600);
        QVERIFY2(test::tonePower(settled, 1000, 8000) > 0.9,
                 qPrintable(QString::number(test::tonePower(settled, 1000, 8000))));
        QVERIFY(test::tonePower(settled, 400, 8000) < 0.01);
        // Every intruding packet once the caller's stream was heard.
        QVERIFY2(dropped >= 60, qPrintable(QString::number(dropped)));
    }

    void aCallersTextIsCleanedAndBounded()
    {
        QCOMPARE(callerText(QStringLiteral("  Ann\tO'Neil \r\n")), QStringLiteral("Ann O'Neil"));
        QCOMPARE(callerText(QStringLiteral("555\u0000\u001b[2J0100")),
                 QStringLiteral("555 [2J0100"));
        // Bidirectional overrides would turn what a user reads around.
        QCOMPARE(callerText(QStringLiteral("evil\u202Egnp.exe")), QStringLiteral("evil gnp.exe"));
        QCOMPARE(callerText(QString(500, QLatin1Char('9'))).size(), kMaxCallerText);
        QCOMPARE(callerText(QString()), QString());
    }

    void theCallerIsWhoTheTrustedHeadersSay_data()
    {
        QTest::addColumn<QByteArray>("pai");
        QTest::addColumn<QByteArray>("rpid");
        QTest::addColumn<QByteArray>("from");
        QTest::addColumn<QByteArray>("privacy");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("name");
        const QByteArray from = "\"Somebody\" <sip:5550199@example.org>;tag=1";
        QTest::newRow("asserted identity first")
            << QByteArray("\"Ann O'Neil\" <sip:5550100@pbx.example.org>") << QByteArray() << from
            << QByteArray() << "5550100"
            << "Ann O'Neil";
        QTest::newRow("asserted tel URI")
            << QByteArray("<tel:+15550100>") << QByteArray() << from << QByteArray() << "+15550100"
            << "";
        QTest::newRow("remote party id next")
            << QByteArray() << QByteArray("\"Bob\" <sip:5550101@example.org>;party=calling") << from
            << QByteArray() << "5550101"
            << "Bob";
        QTest::newRow("from last")
            << QByteArray() << QByteArray() << from << QByteArray() << "5550199"
            << "Somebody";
        QTest::newRow("from without a name")
            << QByteArray() << QByteArray() << QByteArray("<sip:5550102@example.org>;tag=9")
            << QByteArray() << "5550102"
            << "";
        QTest::newRow("anonymous from")
            << QByteArray() << QByteArray()
            << QByteArray("\"Anonymous\" <sip:anonymous@anonymous.invalid>;tag=2") << QByteArray()
            << "Withheld"
            << "";
        QTest::newRow("privacy id hides even an asserted identity")
            << QByteArray("<sip:5550100@pbx.example.org>") << QByteArray() << from
            << QByteArray("id") << "Withheld"
            << "";
        QTest::newRow("remote party id withheld")
            << QByteArray() << QByteArray("<sip:5550101@example.org>;privacy=full") << from
            << QByteArray() << "Withheld"
            << "";
        QTest::newRow("escaped and hostile")
            << QByteArray() << QByteArray()
            << QByteArray("\"Evil\tName\" <sip:555%0d%0a0100@example.org>;tag=3") << QByteArray()
            << "555 0100"
            << "Evil Name";
        QTest::newRow("nothing readable")
            << QByteArray() << QByteArray() << QByteArray("<<<") << QByteArray() << "Withheld"
            << "";
    }

    void theCallerIsWhoTheTrustedHeadersSay()
    {
        QFETCH(QByteArray, pai);
        QFETCH(QByteArray, rpid);
        QFETCH(QByteArray, from);
        QFETCH(QByteArray, privacy);
        QFETCH(QString, number);
        QFETCH(QString, name);
        const sip::CallerId caller = sip::callerIdOf(pai, rpid, from, privacy);
        QCOMPARE(caller.number, number);
        QCOMPARE(caller.name, name);
    }
};

QTEST_GUILESS_MAIN(TestSipParts)
#include "TestSipParts.moc"
