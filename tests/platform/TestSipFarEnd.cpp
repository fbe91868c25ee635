// What a SIP line makes of the far end, without a call: whose RTP it takes and where its
// own goes (a caller behind NAT, a stray stream, a held call), where requests go when the
// caller's Contact is unreachable, what an offer says beyond its law, which extensions a
// request requires, and a recording cut short at the hang-up.

#include "platform/audio/G711.h"
#include "platform/audio/WaveDevice.h"
#include "platform/telephony/sip/SipLinesConfig.h"
#include "platform/telephony/sip/SipRequest.h"
#include "platform/telephony/sip/SipSdp.h"
#include "platform/telephony/sip/SipWaveDevice.h"
#include "platform/telephony/sip/SrtpMedia.h"
#include "platform/telephony/sip/T38Sdp.h"
#include "platform/telephony/sip/TelephoneEvents.h"

#include "Signals.h"

#include <QTest>

#include <algorithm>

#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace orvane;
using namespace orvane::sip;

namespace {

struct sa address(const char* text)
{
    struct sa a;
    sa_decode(&a, text, strlen(text));
    return a;
}

// A message as libre reads it, from `source`.
struct Message {
    struct sip_msg* msg = nullptr;
    explicit Message(const QByteArray& text, const char* source)
    {
        struct mbuf* mb = mbuf_alloc(size_t(text.size()));
        mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(text.constData()), size_t(text.size()));
        mb->pos = 0;
        sip_msg_decode(&msg, mb);
        mem_deref(mb);
        if (msg)
            msg->src = address(source);
    }
    ~Message() { mem_deref(msg); }
};

QByteArray invite(const QByteArray& contact, const QByteArray& more = QByteArray())
{
    return "INVITE sip:frontdesk@203.0.113.1 SIP/2.0\r\n"
           "Via: SIP/2.0/UDP 192.168.1.20:5060;branch=z9hG4bK1;rport\r\n"
           "From: <sip:5550100@example.org>;tag=1\r\nTo: <sip:frontdesk@203.0.113.1>\r\n"
           "Call-ID: c1\r\nCSeq: 1 INVITE\r\nContact: " +
           contact + "\r\n" + more + "Content-Length: 0\r\n\r\n";
}

// One 20 ms RTP packet of `fill` from `source` into the device.
void send(SipWaveDevice& device, const struct sa& source, quint16 sequence, char fill = 'a')
{
    rtp_header header{};
    header.pt = kPayloadPcmu;
    header.seq = sequence;
    header.ts = quint32(sequence) * 160;
    const QByteArray payload(160, fill);
    device.deliver(source, header, reinterpret_cast<const quint8*>(payload.constData()), 160);
}

// A UDP socket on loopback standing for the caller's media port.
struct CallerSocket {
    int fd = -1;
    struct sa at;
    CallerSocket()
    {
        fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        sa_set_sa(&at, reinterpret_cast<sockaddr*>(&a));
    }
    ~CallerSocket() { ::close(fd); }
    // The payloads of the RTP packets that arrive within `ms`.
    QList<QByteArray> received(int ms) const
    {
        QList<QByteArray> got;
        pollfd p{fd, POLLIN, 0};
        while (::poll(&p, 1, ms) > 0) {
            char buffer[2048];
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n > 12)
                got.append(QByteArray(buffer + 12, n - 12));
            ms = 50; // what the same step sent
        }
        return got;
    }
};

} // namespace

class TestSipFarEnd : public QObject {
    Q_OBJECT

    struct rtp_sock* m_rtp = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        QCOMPARE(libre_init(), 0);
        struct sa local = address("127.0.0.1:0");
        // What comes to our RTP socket is not looked at here.
        auto ignore = [](const struct sa*, const struct rtp_header*, struct mbuf*, void*) {};
        QCOMPARE(
            rtp_listen(&m_rtp, IPPROTO_UDP, &local, 20000, 30000, false, ignore, nullptr, nullptr),
            0);
    }

    void cleanupTestCase()
    {
        mem_deref(m_rtp);
        libre_close();
    }

    void aCallerBehindNatIsHeardAndAnsweredWhereItsPacketsComeFrom()
    {
        // The SDP names an address nobody listens at; the caller's packets come from the
        // socket. After a few in sequence they are taken, and our audio goes back there.
        CallerSocket caller;
        SipWaveDevice device(m_rtp, address("127.0.0.2:6000"), Codec::Pcmu, 0);
        QByteArray recorded(1600, '\0');
        WaveInBuffer buffer{reinterpret_cast<quint8*>(recorded.data()), recorded.size(), 0};
        QVERIFY(device.startRecording(&buffer, [] {}));
        for (quint16 seq = 10; seq < 13; ++seq)
            send(device, caller.at, seq, 'v');
        // It takes three to be sure; the first two are held, and kept once it is.
        QCOMPARE(device.packetsDropped(), 0);
        QCOMPARE(device.packetsReceived(), 3);
        const QByteArray greeting(160, char(0x33));
        QVERIFY(device.write(reinterpret_cast<const quint8*>(greeting.constData()), 160));
        device.tick(20'000'000);
        const QList<QByteArray> heard = caller.received(1000);
        QCOMPARE(heard.size(), 1);
        QCOMPARE(heard.first(), greeting);

        // On hold the caller takes nothing from us; taken back, it hears us again.
        device.setSending(false);
        device.tick(40'000'000);
        QVERIFY(caller.received(100).isEmpty());
        device.setSending(true);
        device.tick(60'000'000);
        QCOMPARE(caller.received(1000).size(), 1);
    }

    void anEncryptedCallSendsNoPlainAudio()
    {
        CallerSocket caller;
        SipWaveDevice device(m_rtp, caller.at, Codec::Pcmu, 0);
        const SdesCrypto ours = newCrypto(1, SRTP_AES_CM_128_HMAC_SHA1_80),
                         theirs = newCrypto(1, SRTP_AES_CM_128_HMAC_SHA1_80);
        Result<std::unique_ptr<SrtpSession>> session = SrtpSession::start(m_rtp, ours, theirs);
        QVERIFY2(session.isOk(), qPrintable(session.status().toString()));
        const QByteArray greeting(160, char(0x33));
        QVERIFY(device.write(reinterpret_cast<const quint8*>(greeting.constData()), 160));
        device.tick(20'000'000);
        const QList<QByteArray> heard = caller.received(1000);
        QCOMPARE(heard.size(), 1);
        // The payload is not what was said, and an authentication tag (80 bits) follows it.
        QCOMPARE(heard.first().size(), 160 + 10);
        QVERIFY(!heard.first().startsWith(greeting.left(16)));
        QCOMPARE(device.packetsSent(), 1);
    }

    void sdesKeysAreReadAsOfferedAndOnlyThoseWeCanUse()
    {
        const QByteArray key = QByteArray(30, 'k').toBase64();
        const QByteArray sdp =
            "v=0\r\nc=IN IP4 192.0.2.1\r\na=crypto:9 AES_CM_128_HMAC_SHA1_80 inline:" + key +
            "\r\nm=audio 6000 RTP/SAVP 0\r\n"
            "a=crypto:1 AES_256_CM_HMAC_SHA1_80 inline:" +
            QByteArray(46, 'A').toBase64() +
            "\r\na=crypto:2 AES_CM_128_HMAC_SHA1_80 inline:" + key +
            "|2^20|1:4\r\n"
            "a=crypto:3 AES_CM_128_HMAC_SHA1_32 inline:" +
            key +
            "\r\n"
            "a=crypto:4 AES_CM_128_HMAC_SHA1_80 inline:c2hvcnQ=\r\n"
            "a=crypto:5 AES_CM_128_HMAC_SHA1_80 inline:" +
            key +
            "\r\n"
            "m=video 7000 RTP/SAVP 96\r\na=crypto:6 AES_CM_128_HMAC_SHA1_80 inline:" +
            key + "\r\n";
        // Not the session's, not another suite, not with an MKI, not a short key, not
        // the video's.
        const QList<SdesCrypto> usable = cryptosOf(sdp);
        QCOMPARE(usable.size(), 2);
        QCOMPARE(usable[0].tag, 3);
        QCOMPARE(usable[0].suite, int(SRTP_AES_CM_128_HMAC_SHA1_32));
        QCOMPARE(usable[1].tag, 5);
        QCOMPARE(usable[1].keySalt, QByteArray(30, 'k'));
        QVERIFY(secureProfile(sdp));
        QCOMPARE(cryptoAttribute(usable[1]), "5 AES_CM_128_HMAC_SHA1_80 inline:" + key);
    }

    void whatALineMakesOfAnOffersEncryption_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<bool>("keyed");
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("outcome"); // 0 refused, 1 plain, 2 encrypted
        const int none = int(MediaEncryption::None), srtp = int(MediaEncryption::Srtp),
                  must = int(MediaEncryption::SrtpMandatory);
        QTest::newRow("plain to plain") << QByteArray("RTP/AVP") << false << none << 1;
        QTest::newRow("keys ignored by a plain line") << QByteArray("RTP/AVP") << true << none << 1;
        QTest::newRow("secure only, to a plain line")
            << QByteArray("RTP/SAVP") << true << none << 0;
        QTest::newRow("plain, where SRTP may be") << QByteArray("RTP/AVP") << false << srtp << 1;
        QTest::newRow("best effort") << QByteArray("RTP/AVP") << true << srtp << 2;
        QTest::newRow("secure") << QByteArray("RTP/SAVP") << true << srtp << 2;
        QTest::newRow("secure without keys") << QByteArray("RTP/SAVP") << false << srtp << 0;
        QTest::newRow("plain, where SRTP must be") << QByteArray("RTP/AVP") << false << must << 0;
        QTest::newRow("mandatory") << QByteArray("RTP/SAVP") << true << must << 2;
    }

    void whatALineMakesOfAnOffersEncryption()
    {
        QFETCH(QByteArray, profile);
        QFETCH(bool, keyed);
        QFETCH(int, mode);
        QFETCH(int, outcome);
        const QByteArray offer =
            "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
            "m=audio 6000 " +
            profile + " 0\r\na=rtpmap:0 PCMU/8000\r\n" +
            (keyed ? "a=crypto:7 AES_CM_128_HMAC_SHA1_80 inline:" + QByteArray(30, 'k').toBase64() +
                         "\r\n"
                   : QByteArray());
        SdpNegotiation n;
        const struct sa local = address("127.0.0.1:20000");
        const Status s = n.prepare(local, offer, MediaEncryption(mode));
        QCOMPARE(s.isOk(), outcome != 0);
        QCOMPARE(chooseCrypto(offer, MediaEncryption(mode)).isOk(), outcome != 0);
        if (!s)
            return;
        QCOMPARE(n.encrypted(), outcome == 2);
        const QByteArray answer = n.encode(false).value();
        // The answer takes the offer's profile, and the offer's tag with a key of ours.
        QVERIFY2(answer.contains("m=audio 20000 " + profile + " 0"), answer.constData());
        QCOMPARE(answer.contains("a=crypto:7 AES_CM_128_HMAC_SHA1_80 inline:"), outcome == 2);
        if (outcome == 2) {
            QCOMPARE(n.theirs().keySalt, QByteArray(30, 'k'));
            QVERIFY(n.ours().keySalt != n.theirs().keySalt);
        }
    }

    void anOfferOfOursAsksForSrtpAsTheLineSays()
    {
        const struct sa local = address("127.0.0.1:20000");
        SdpNegotiation must, may;
        QVERIFY(must.prepare(local, QByteArray(), MediaEncryption::SrtpMandatory));
        QVERIFY(may.prepare(local, QByteArray(), MediaEncryption::Srtp));
        const QByteArray mustOffer = must.encode(true).value(), mayOffer = may.encode(true).value();
        QVERIFY(mustOffer.contains("RTP/SAVP") && mustOffer.contains("a=crypto:1 "));
        QVERIFY(mayOffer.contains("RTP/AVP") && mayOffer.contains("a=crypto:1 "));
        // An answer without keys: the optional call goes plain, the mandatory one fails.
        const QByteArray plain = "v=0\r\no=- 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\n"
                                 "t=0 0\r\nm=audio 6000 RTP/AVP 0\r\n";
        QVERIFY(may.takeAnswer(plain));
        QVERIFY(!may.encrypted());
        QVERIFY(!must.takeAnswer(plain));
        // One with the key for our tag: encrypted.
        SdpNegotiation keyed;
        QVERIFY(keyed.prepare(local, QByteArray(), MediaEncryption::Srtp));
        QVERIFY(keyed.encode(true).isOk());
        const Status taken = keyed.takeAnswer(plain + "a=crypto:1 AES_CM_128_HMAC_SHA1_80 inline:" +
                                              QByteArray(30, 'z').toBase64() + "\r\n");
        QVERIFY2(taken.isOk(), qPrintable(taken.toString()));
        QVERIFY(keyed.encrypted());
    }

    void aPressIsOneKeyHoweverManyPacketsCarryIt()
    {
        TelephoneEvents events;
        const auto packet = [](int event, bool end) {
            QByteArray p(4, '\0');
            p[0] = char(event);
            p[1] = char(end ? 0x8a : 0x0a); // end bit, volume 10
            p[3] = char(160);
            return p;
        };
        QString keys;
        const auto take = [&](quint32 ts, const QByteArray& p) {
            if (const char key =
                    events.take(ts, reinterpret_cast<const quint8*>(p.constData()), p.size()))
                keys.append(QLatin1Char(key));
        };
        for (int i = 0; i < 3; ++i)
            take(1000, packet(11, i == 2)); // '#', its end sent again as is usual
        take(1000, packet(11, true));
        take(2600, packet(1, false));
        take(2600, packet(1, true));
        take(4200, packet(36, false));   // a fax machine's calling tone is no key
        take(5800, packet(1, false));    // the same key pressed again
        take(7400, QByteArray(2, '\0')); // too short
        QCOMPARE(keys, QStringLiteral("#11"));

        QCOMPARE(keyOfInfo("application/dtmf-relay", "Signal=5\r\nDuration=160\r\n"), '5');
        QCOMPARE(keyOfInfo("Application/DTMF-Relay", "signal= #\r\n"), '#');
        QCOMPARE(keyOfInfo("application/dtmf-relay", "Signal=11\r\n"), '#');
        QCOMPARE(keyOfInfo("application/dtmf", "*"), '*');
        QCOMPARE(keyOfInfo("application/dtmf", "55"), char(0));
        QCOMPARE(keyOfInfo("text/plain", "5"), char(0));
        QCOMPARE(keyOfInfo("application/dtmf-relay", "Duration=160"), char(0));
    }

    void theSkipKeyEndsTheGreetingButNotTheRecording()
    {
        SipWaveDevice device(nullptr, address("127.0.0.2:6000"), Codec::Pcmu, 0);
        QString heard;
        device.setKeys('#', [&](char key) { heard.append(QLatin1Char(key)); });
        // Two seconds of greeting queued; the writer waits for it to go out.
        QVERIFY(
            device.writeSound(std::make_shared<const QVector<qint16>>(test::tone(600, 2.0, 8000))));
        device.tick(100'000'000);
        device.keyPressed('1'); // not the skip key: the greeting goes on
        QVERIFY(!device.idle());
        device.keyPressed('#');
        QVERIFY(device.idle());
        QVERIFY(device.drain()); // at once
        QCOMPARE(heard, QStringLiteral("1#"));
        // While recording, the key is only kept.
        QByteArray recorded(1600, '\0');
        WaveInBuffer buffer{reinterpret_cast<quint8*>(recorded.data()), recorded.size(), 0};
        QVERIFY(device.startRecording(&buffer, [] {}));
        device.keyPressed('#');
        device.tick(200'000'000);
        QCOMPARE(buffer.bytesRecorded, 800);
        QCOMPARE(heard, QStringLiteral("1##"));
        device.stopRecording();
        // Once the call is over no key is heard.
        device.endCall();
        device.keyPressed('5');
        QCOMPARE(heard, QStringLiteral("1##"));
    }

    void aListenerThatHearsWhatItWaitsForEndsGreetingAndRecording()
    {
        SipWaveDevice device(nullptr, address("127.0.0.2:6000"), Codec::Pcmu, 0);
        int steps = 0;
        device.setListener([&](const quint8*, qsizetype count) {
            return (steps += int(count / 160)) >= 3; // heard at the third packet's time
        });
        QVERIFY(
            device.writeSound(std::make_shared<const QVector<qint16>>(test::tone(600, 2.0, 8000))));
        device.tick(40'000'000);
        QVERIFY(!device.interrupted() && !device.idle());
        device.tick(60'000'000);
        QVERIFY(device.interrupted());
        QVERIFY(device.idle());  // the greeting is dropped
        QVERIFY(device.drain()); // and its writer goes on at once
        // A recording started later is not cut: the listener has been let go.
        QByteArray recorded(1600, '\0');
        WaveInBuffer buffer{reinterpret_cast<quint8*>(recorded.data()), recorded.size(), 0};
        QVERIFY(device.startRecording(&buffer, [] {}));
        device.tick(100'000'000);
        QCOMPARE(buffer.bytesRecorded, 320);
        QCOMPARE(steps, 3);
        device.stopRecording();
    }

    void aFaxModemHearsTheCallerAtASteadyDelay_data()
    {
        QTest::addColumn<bool>("fax");
        QTest::newRow("a voice call's buffer grows for a stall") << false;
        QTest::newRow("a fax modem's stays") << true;
    }

    void aFaxModemHearsTheCallerAtASteadyDelay()
    {
        QFETCH(bool, fax);
        const struct sa remote = address("127.0.0.2:6000");
        SipWaveDevice device(nullptr, remote, Codec::Pcmu, 0);
        if (fax)
            QVERIFY(device.attachExchange([](const quint8*, quint8* out, qsizetype n) {
                std::memset(out, 0xFF, size_t(n));
            }));
        // On time for a while, then a stall of 200 ms, then the held packets at once.
        for (quint16 seq = 0; seq < 5; ++seq) {
            send(device, remote, seq);
            device.tick(qint64(seq + 1) * 20'000'000);
        }
        device.tick(15 * 20'000'000);
        for (quint16 seq = 5; seq < 15; ++seq)
            send(device, remote, seq);
        device.tick(20 * 20'000'000);
        QCOMPARE(device.packetsRecovered() > 0, !fax);
        QCOMPARE(device.packetsLate() > 0, fax);
        if (fax)
            device.detachExchange();
    }

    void aStreamIsTakenOnlyInSequenceAndKeepsItsPlace()
    {
        SipWaveDevice device(nullptr, address("127.0.0.2:6000"), Codec::Pcmu, 0);
        const struct sa stray = address("198.51.100.7:4000"), caller = address("203.0.113.9:40000"),
                        intruder = address("203.0.113.66:40000");
        // Packets out of sequence are never taken, however many.
        for (quint16 seq : {5, 9, 2, 30, 31, 7})
            send(device, stray, seq);
        QCOMPARE(device.packetsDropped(), 6);
        // A stream in sequence is; one that starts while it goes on is not.
        for (quint16 seq = 100; seq < 110; ++seq) {
            send(device, caller, seq);
            send(device, intruder, quint16(seq + 5000));
            device.tick(qint64(seq - 99) * 20'000'000);
        }
        const qint64 dropped = device.packetsDropped();
        QCOMPARE(dropped, 6 + 10); // the caller's first two were held, then kept
        // Once the caller has been silent for a while (its NAT gave it a new port), a
        // stream in sequence takes its place.
        device.tick(2'000'000'000);
        const struct sa rebound = address("203.0.113.9:40002");
        for (quint16 seq = 110; seq < 114; ++seq)
            send(device, rebound, seq);
        QCOMPARE(device.packetsDropped(), dropped);
        // The address the SDP named, once heard, is the only one from then on.
        send(device, address("127.0.0.2:6000"), 1);
        send(device, rebound, 114);
        QCOMPARE(device.packetsDropped(), dropped + 1);
    }

    void aCallCutShortEndsItsRecordingWithWhatItHas()
    {
        SipWaveDevice device(nullptr, address("127.0.0.2:6000"), Codec::Pcmu, 0);
        QByteArray recorded(8000, '\0');
        WaveInBuffer buffer{reinterpret_cast<quint8*>(recorded.data()), recorded.size(), 0};
        bool done = false;
        QVERIFY(device.startRecording(&buffer, [&] { done = true; }));
        device.tick(100'000'000);
        QCOMPARE(buffer.bytesRecorded, 800);
        QCOMPARE(device.recordingLeftBytes(), 7200);
        device.endCall(/*cutShort=*/true);
        device.tick(120'000'000);
        QVERIFY(done);
        QCOMPARE(buffer.bytesRecorded, 800);
        QCOMPARE(device.recordingLeftBytes(), -1);
        // What the machine still says goes nowhere and keeps nobody waiting.
        const QByteArray more(16000, 'x');
        QVERIFY(device.write(reinterpret_cast<const quint8*>(more.constData()), more.size()));
        QVERIFY(device.drain());
        // Without cutting short, a hang-up leaves the recording to run its length.
        SipWaveDevice kept(nullptr, address("127.0.0.2:6000"), Codec::Pcmu, 0);
        buffer.bytesRecorded = 0;
        done = false;
        QVERIFY(kept.startRecording(&buffer, [&] { done = true; }));
        kept.endCall();
        kept.tick(100'000'000);
        QVERIFY(!done);
        QCOMPARE(buffer.bytesRecorded, 800);
        kept.stopRecording();
    }

    void requestsGoWhereAnUnreachableCallerSendsFrom_data()
    {
        QTest::addColumn<QByteArray>("contact");
        QTest::addColumn<QByteArray>("more");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("target");
        QTest::newRow("private contact, public source")
            << QByteArray("<sip:5550100@192.168.1.20:5062;ob>") << QByteArray()
            << QByteArray("198.51.100.4:61000") << QByteArray("sip:5550100@198.51.100.4:61000");
        QTest::newRow("shared address space")
            << QByteArray("sip:100.64.3.3") << QByteArray() << QByteArray("198.51.100.4:5060")
            << QByteArray("sip:198.51.100.4:5060");
        QTest::newRow("public contact")
            << QByteArray("<sip:5550100@198.51.100.4:5062>") << QByteArray()
            << QByteArray("198.51.100.4:61000") << QByteArray();
        QTest::newRow("both private") << QByteArray("<sip:5550100@10.1.1.1>") << QByteArray()
                                      << QByteArray("10.1.1.1:5060") << QByteArray();
        QTest::newRow("a proxy carries the dialog")
            << QByteArray("<sip:5550100@192.168.1.20>")
            << QByteArray("Record-Route: <sip:proxy.example.org;lr>\r\n")
            << QByteArray("198.51.100.4:5060") << QByteArray();
        QTest::newRow("a host name")
            << QByteArray("<sip:5550100@phone.example.org>") << QByteArray()
            << QByteArray("198.51.100.4:5060") << QByteArray();
    }

    void requestsGoWhereAnUnreachableCallerSendsFrom()
    {
        QFETCH(QByteArray, contact);
        QFETCH(QByteArray, more);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, target);
        Message m(invite(contact, more), source.constData());
        QVERIFY(m.msg);
        QCOMPARE(contactAtSource(m.msg), target);
    }

    void anOfferSaysWhetherTheFarEndListens_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<int>("family");
        QTest::addColumn<bool>("listens");
        const QByteArray audio = "m=audio 6000 RTP/AVP 0\r\n";
        QTest::newRow("plain") << "c=IN IP4 192.0.2.1\r\n" + audio << int(AF_INET) << true;
        QTest::newRow("sendonly") << "c=IN IP4 192.0.2.1\r\n" + audio + "a=sendonly\r\n"
                                  << int(AF_INET) << false;
        QTest::newRow("inactive, for the session")
            << "c=IN IP4 192.0.2.1\r\na=inactive\r\n" + audio << int(AF_INET) << false;
        QTest::newRow("the stream's own direction wins")
            << "c=IN IP4 192.0.2.1\r\na=inactive\r\n" + audio + "a=sendrecv\r\n"
            << int(AF_INET) << true;
        QTest::newRow("old-style hold") << "c=IN IP4 0.0.0.0\r\n" + audio << int(AF_INET) << false;
        QTest::newRow("IPv6 for the stream")
            << "c=IN IP4 192.0.2.1\r\n" + audio + "c=IN IP6 2001:db8::1\r\n"
            << int(AF_INET6) << true;
        QTest::newRow("stream refused")
            << QByteArray("c=IN IP4 192.0.2.1\r\nm=audio 0 RTP/AVP 0\r\n") << int(AF_INET) << false;
    }

    void anOfferSaysWhetherTheFarEndListens()
    {
        QFETCH(QByteArray, lines);
        QFETCH(int, family);
        QFETCH(bool, listens);
        const OfferedMedia media =
            offeredMedia("v=0\r\no=- 1 1 IN IP4 192.0.2.1\r\ns=-\r\nt=0 0\r\n" + lines);
        QCOMPARE(media.family, family);
        QCOMPARE(media.listens, listens);
    }

    void aRouteHopCarriesNoLrOfItsOwn()
    {
        // libre writes ";lr" on every hop: one of ours would make it ";lr;lr".
        QCOMPARE(routeHop("sip:proxy.example.org;lr"), QByteArray("sip:proxy.example.org"));
        QCOMPARE(routeHop("sip:p.example.org:5061;LR;transport=tls"),
                 QByteArray("sip:p.example.org:5061;transport=tls"));
        QCOMPARE(routeHop("sip:lr.example.org;lrx=1"), QByteArray("sip:lr.example.org;lrx=1"));
    }

    void aT38StreamIsReadAsOfferedAndAnsweredWithinOurLimits()
    {
        // As a provider's gateway offers it in a re-INVITE.
        const QByteArray offer = "v=0\r\no=- 1 2 IN IP4 198.51.100.4\r\ns=-\r\n"
                                 "c=IN IP4 198.51.100.4\r\nt=0 0\r\n"
                                 "m=audio 0 RTP/AVP 0\r\n"
                                 "m=image 40000 udptl t38\r\nc=IN IP4 198.51.100.9\r\n"
                                 "a=T38FaxVersion:0\r\na=T38MaxBitRate:9600\r\n"
                                 "a=T38FaxRateManagement:transferredTCF\r\n"
                                 "a=T38FaxMaxDatagram:1400\r\na=T38FaxUdpEC:t38UDPRedundancy\r\n";
        const T38Stream stream = t38StreamOf(offer);
        QVERIFY(stream.offered);
        QCOMPARE(stream.port, quint16(40000));
        QCOMPARE(stream.address, QByteArray("198.51.100.9"));
        QCOMPARE(stream.params.maxBitRate, 9600);
        QCOMPARE(stream.params.maxDatagram, 1400);
        QVERIFY(stream.params.transferredTcf && stream.params.redundancy);
        // Ours takes the lower limits; the section says them all.
        const T38Params ours = t38Answer(stream.params);
        QCOMPARE(ours.maxBitRate, 9600);
        QCOMPARE(ours.maxDatagram, 400);
        const QByteArray section = t38Section(20000, ours);
        QVERIFY(section.startsWith("m=image 20000 udptl t38\r\n"));
        for (const char* a :
             {"a=T38FaxVersion:0", "a=T38MaxBitRate:9600", "a=T38FaxRateManagement:transferredTCF",
              "a=T38FaxMaxDatagram:400", "a=T38FaxUdpEC:t38UDPRedundancy"})
            QVERIFY2(section.contains(a), a);
        // Read back, it is what was written.
        const T38Stream again = t38StreamOf("c=IN IP4 192.0.2.1\r\n" + section);
        QVERIFY(again.offered);
        QCOMPARE(again.address, QByteArray("192.0.2.1")); // the session's, lacking its own
        QCOMPARE(again.params.maxBitRate, 9600);

        // Another peer's ways: attributes missing or otherwise chosen, a refused stream.
        const T38Stream other =
            t38StreamOf("m=image 4000 UDPTL T38\r\na=T38FaxRateManagement:localTCF\r\n"
                        "a=T38FaxUdpEC:t38UDPFEC\r\na=T38MaxBitRate:999999\r\n");
        QVERIFY(other.offered);
        QVERIFY(!other.params.transferredTcf && !other.params.redundancy);
        QCOMPARE(other.params.maxBitRate, 14400); // nonsense is not taken
        QVERIFY(!t38StreamOf("m=image 0 udptl t38\r\n").offered);
        QVERIFY(!t38StreamOf("m=audio 4000 RTP/AVP 0\r\n").offered);
    }

    // The SDP library answers the audio; T.38 is put beside it or in its place as text. Every
    // answer keeps the offer's media lines in their order, and every description of ours a
    // higher origin version than the last.
    void descriptionsWithT38KeepTheOffersShape()
    {
        const QByteArray ours = "v=0\r\no=- 7 3 IN IP4 192.0.2.1\r\ns=-\r\nt=0 0\r\n"
                                "m=audio 30000 RTP/AVP 0\r\nc=IN IP4 192.0.2.1\r\n"
                                "a=rtpmap:0 PCMU/8000\r\na=sendrecv\r\n";
        const QByteArray both = "v=0\r\no=- 1 1 IN IP4 198.51.100.4\r\ns=-\r\n"
                                "c=IN IP4 198.51.100.4\r\nt=0 0\r\n"
                                "m=audio 4000 RTP/AVP 0 8\r\na=rtpmap:8 PCMA/8000\r\n"
                                "m=image 4002 udptl t38\r\na=T38FaxVersion:0\r\n";
        // The audio side is given the offer without its image line.
        const QByteArray audio = withoutT38(both);
        QVERIFY(audio.contains("m=audio 4000") && !audio.contains("m=image"));
        QVERIFY(audio.contains("a=rtpmap:8 PCMA/8000\r\n"));
        QVERIFY(hasActiveAudio(both) && hasActiveAudio(audio));
        QVERIFY(!hasActiveAudio("m=audio 0 RTP/AVP 0\r\nm=image 4002 udptl t38\r\n"));

        // Answered with audio: the image line refused in its place.
        const QByteArray audioAnswer = alignedAnswer(ours, both);
        QVERIFY(audioAnswer.indexOf("m=audio 30000") < audioAnswer.indexOf("m=image 0 udptl t38"));
        QVERIFY(!t38StreamOf(audioAnswer).offered);
        // Answered with T.38: the audio refused, the stream on our connection address.
        const QByteArray t38 = t38Description(ours, 31000, T38Params());
        QVERIFY(!t38.contains("m=audio"));
        QCOMPARE(t38StreamOf(t38).address, QByteArray("192.0.2.1"));
        const QByteArray t38Answer = alignedAnswer(t38, both);
        QVERIFY(t38Answer.indexOf("m=audio 0 RTP/AVP 0 8") < t38Answer.indexOf("m=image 31000"));
        QCOMPARE(t38StreamOf(t38Answer).port, quint16(31000));
        QVERIFY(t38Answer.startsWith("v=0\r\no=- 7 3 "));
        // An offer of T.38 alone is answered with one line.
        const QByteArray alone = alignedAnswer(t38, "v=0\r\nm=image 4002 udptl t38\r\n");
        QCOMPARE(alone.count("m="), 1);

        // Our offer of both, as a line preferring T.38 places a call.
        const QByteArray offered = withSection(ours, t38Section(31000, T38Params()));
        QVERIFY(offered.indexOf("m=audio") < offered.indexOf("m=image 31000"));

        QCOMPARE(originVersion(ours), quint64(3));
        const QByteArray next = withOriginVersion(t38Answer, 4);
        QCOMPARE(originVersion(next), quint64(4));
        QVERIFY(next.contains("o=- 7 4 IN IP4 192.0.2.1\r\n"));
        QCOMPARE(next.size(), t38Answer.size());
    }

    void theExtensionsARequestRequiresAreItsRequireTags()
    {
        Message none(invite("<sip:a@198.51.100.4>"), "198.51.100.4:5060");
        QVERIFY(requiredExtensions(none.msg).isEmpty());
        Message two(invite("<sip:a@198.51.100.4>",
                           "Require: 100rel,  timer\r\nSupported: path\r\nRequire: foo\r\n"),
                    "198.51.100.4:5060");
        QCOMPARE(requiredExtensions(two.msg), QByteArrayList({"100rel", "timer", "foo"}));
    }

    void theLineFileNamesTransportsProxiesAndWhoMayCall()
    {
        Result<QList<LineConfig>> lines = parseLinesConfig(
            "[Secure]\nuri = sips:desk@pbx.example.org\nregistrar = sips:pbx.example.org\n"
            "outbound_proxy = sip:edge.example.org:5061\ntls_ca = /etc/ca.pem\n"
            "tls_verify = no\nkeepalive_s = 0\npublic_address = 203.0.113.7\n"
            "[Trunk]\nuri = sip:trunk@pbx.example.org\nport = 5070\ntransport = tcp\n"
            "accept = 5550100, +4930123 5550101\n"
            "allow_from = 198.51.100.0/24, 2001:db8::/32 192.0.2.7\n"
            "[Catch-all]\nuri = sip:any@pbx.example.org\nport = 5070\naccept = any\n");
        QVERIFY2(lines.isOk(), qPrintable(lines.status().toString()));
        const LineConfig& secure = lines->at(0);
        QCOMPARE(int(secure.transport), int(Transport::Tls));
        QVERIFY(!secure.tlsVerify);
        QCOMPARE(secure.keepaliveSeconds, 0);
        QCOMPARE(secure.publicAddress, QStringLiteral("203.0.113.7"));
        QCOMPARE(secure.domain, QStringLiteral("pbx.example.org"));
        // A proxy or registrar without a transport of its own takes the line's.
        QCOMPARE(secure.routeUri(secure.outboundProxy),
                 QStringLiteral("sip:edge.example.org:5061;transport=tls"));
        QCOMPARE(secure.routeUri(secure.registrar), QStringLiteral("sips:pbx.example.org"));
        const LineConfig& trunk = lines->at(1);
        QCOMPARE(trunk.routeUri(QStringLiteral("sip:a@b;transport=udp")),
                 QStringLiteral("sip:a@b;transport=udp"));
        QCOMPARE(trunk.keepaliveSeconds, 25);
        QVERIFY(trunk.answers(QStringLiteral("trunk")) &&
                trunk.answers(QStringLiteral("+4930123")));
        QVERIFY(!trunk.answers(QStringLiteral("5550102")));
        QVERIFY(lines->at(2).answers(QStringLiteral("5550102")));
        QCOMPARE(trunk.allowFrom.size(), 3);
        const auto in = [&](const char* address) {
            unsigned char b[16];
            const bool v6 = inet_pton(AF_INET6, address, b) == 1;
            if (!v6)
                inet_pton(AF_INET, address, b);
            const QByteArray bytes(reinterpret_cast<const char*>(b), v6 ? 16 : 4);
            return std::any_of(trunk.allowFrom.cbegin(), trunk.allowFrom.cend(),
                               [&](const AddressRange& r) { return r.contains(bytes); });
        };
        QVERIFY(in("198.51.100.200") && in("192.0.2.7") && in("2001:db8:1::5"));
        QVERIFY(!in("198.51.101.1") && !in("192.0.2.8") && !in("2001:db9::1") && !in("10.0.0.1"));
    }

    void mistakesInTheNewSettingsSayWhere_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("says");
        QTest::newRow("unknown transport")
            << QByteArray("[A]\nuri=sip:a@b\ntransport = sctp\n") << "line 3";
        QTest::newRow("sips over udp")
            << QByteArray("[A]\nuri=sips:a@b\ntransport = udp\n") << "sips: line";
        QTest::newRow("TCP and TLS on one port")
            << QByteArray("[A]\nuri=sip:a@b\ntransport=tcp\n[B]\nuri=sip:c@b\ntransport=tls\n")
            << "port of its own";
        QTest::newRow("two certificates on one port")
            << QByteArray("[A]\nuri=sips:a@b\ntls_certificate=/x.pem\n"
                          "[B]\nuri=sips:c@b\ntls_certificate=/y.pem\n")
            << "port of its own";
        QTest::newRow("two lines taking any number")
            << QByteArray("[A]\nuri=sip:a@b\naccept=any\n[B]\nuri=sip:c@b\naccept=any\n")
            << "already takes any number";
        QTest::newRow("a certificate without TLS")
            << QByteArray("[A]\nuri=sip:a@b\ntls_certificate=/x.pem\n") << "transport = tls";
        QTest::newRow("no network")
            << QByteArray("[A]\nuri=sip:a@b\nallow_from = 10.0.0.0/33\n") << "line 3";
        QTest::newRow("no address")
            << QByteArray("[A]\nuri=sip:a@b\nallow_from = pbx.example\n") << "line 3";
        QTest::newRow("a number with a blank inside quotes")
            << QByteArray("[A]\nuri=sip:a@b\naccept = \"555\"\n") << "line 3";
        QTest::newRow("keep-alive out of range")
            << QByteArray("[A]\nuri=sip:a@b\nkeepalive_s = -1\n") << "line 3";
        QTest::newRow("a proxy that is no sip: address")
            << QByteArray("[A]\nuri=sip:a@b\noutbound_proxy = http://x\n") << "line 3";
        QTest::newRow("a public address that is none")
            << QByteArray("[A]\nuri=sip:a@b\npublic_address = router\n") << "line 3";
    }

    void mistakesInTheNewSettingsSayWhere()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, says);
        Result<QList<LineConfig>> lines = parseLinesConfig(text);
        QVERIFY(!lines.isOk());
        QVERIFY2(lines.status().description().contains(says),
                 qPrintable(lines.status().description()));
    }

    void theSkipKeyIsOneKeyOfThePhone()
    {
        // A lone # is the key, not a remark; a remark may follow it.
        for (const QByteArray& line :
             {QByteArray("dtmf_skip_greeting = #"), QByteArray("dtmf_skip_greeting=#   # hash")})
            QCOMPARE(parseLinesConfig("[A]\nuri=sip:a@b\n" + line + "\n").value()[0].dtmfSkipKey,
                     '#');
        QCOMPARE(
            parseLinesConfig("[A]\nuri=sip:a@b\ndtmf_skip_greeting = 0\n").value()[0].dtmfSkipKey,
            '0');
        QCOMPARE(parseLinesConfig("[A]\nuri=sip:a@b\n").value()[0].dtmfSkipKey, char(0));
        for (const char* bad : {"##", "x", "10"})
            QVERIFY(!parseLinesConfig(QByteArray("[A]\nuri=sip:a@b\ndtmf_skip_greeting = ") + bad +
                                      "\n")
                         .isOk());
    }

    void stopOnHangupIsAYesOrNo()
    {
        QVERIFY(
            parseLinesConfig("[A]\nuri=sip:a@b\nstop_on_hangup = yes\n").value()[0].stopOnHangup);
        QVERIFY(!parseLinesConfig("[A]\nuri=sip:a@b\n").value()[0].stopOnHangup);
        QVERIFY(!parseLinesConfig("[A]\nuri=sip:a@b\nstop_on_hangup = soon\n").isOk());
    }
};

QTEST_GUILESS_MAIN(TestSipFarEnd)
#include "TestSipFarEnd.moc"
