#include "SipCaller.h"

#include "Signals.h"

#include "platform/audio/G711.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::test {

quint16 freeUdpPort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    quint16 port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

namespace {

bool udpPortFree(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    const bool free = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

// sipp's media ports: an even base and the three after it (audio and video, RTP and RTCP),
// all free now and clear of `avoid`, its SIP port.
quint16 freeMediaBase(quint16 avoid)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        const quint16 base = freeUdpPort() & 0xFFFE;
        bool usable = base != 0 && base <= 0xFFFB && (avoid < base || avoid > base + 3);
        for (quint16 p = base; usable && p <= base + 3; ++p)
            usable = udpPortFree(p);
        if (usable)
            return base;
    }
    return 0;
}

void put16(QByteArray& b, quint16 v, bool big)
{
    char x[2];
    big ? qToBigEndian(v, x) : qToLittleEndian(v, x);
    b.append(x, 2);
}

void put32(QByteArray& b, quint32 v, bool big)
{
    char x[4];
    big ? qToBigEndian(v, x) : qToLittleEndian(v, x);
    b.append(x, 4);
}

quint16 ipChecksum(const QByteArray& header)
{
    quint32 sum = 0;
    for (qsizetype i = 0; i + 1 < header.size(); i += 2)
        sum += (quint8(header[i]) << 8) | quint8(header[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return quint16(~sum);
}

} // namespace

namespace {

struct RtpPacket {
    quint8 payloadType;
    bool marker;
    quint16 sequence;
    quint32 timestamp;
    QByteArray payload;
    quint64 atMicros;
};

// The packets as a pcap of Ethernet/IPv4/UDP frames, the form sipp plays.
bool writePackets(const QString& path, const QList<RtpPacket>& packets)
{
    QByteArray out;
    put32(out, 0xa1b2c3d4, false); // pcap, microseconds, little-endian
    put16(out, 2, false);
    put16(out, 4, false);
    put32(out, 0, false);
    put32(out, 0, false);
    put32(out, 65535, false);
    put32(out, 1, false); // Ethernet
    quint16 n = 0;
    for (const RtpPacket& p : packets) {
        QByteArray rtp;
        rtp.append(char(0x80));
        rtp.append(char(p.payloadType | (p.marker ? 0x80 : 0)));
        put16(rtp, p.sequence, true);
        put32(rtp, p.timestamp, true);
        put32(rtp, 0x12345678, true);
        rtp += p.payload;
        QByteArray udp;
        put16(udp, 7078, true);
        put16(udp, 7078, true);
        put16(udp, quint16(8 + rtp.size()), true);
        put16(udp, 0, true);
        udp += rtp;
        QByteArray ip;
        ip.append(char(0x45));
        ip.append(char(0));
        put16(ip, quint16(20 + udp.size()), true);
        put16(ip, n++, true);
        put16(ip, 0, true);
        ip.append(char(64));
        ip.append(char(17));
        put16(ip, 0, true);
        put32(ip, 0x7F000001, true);
        put32(ip, 0x7F000001, true);
        const quint16 sum = ipChecksum(ip);
        ip[10] = char(sum >> 8);
        ip[11] = char(sum & 0xFF);
        QByteArray frame(12, '\0');
        put16(frame, 0x0800, true);
        frame += ip + udp;
        put32(out, quint32(p.atMicros / 1000000), false);
        put32(out, quint32(p.atMicros % 1000000), false);
        put32(out, quint32(frame.size()), false);
        put32(out, quint32(frame.size()), false);
        out += frame;
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size();
}

QList<RtpPacket> audioPackets(const QVector<qint16>& samples, bool alaw)
{
    QList<RtpPacket> packets;
    for (qsizetype at = 0, n = 0; at + 160 <= samples.size(); at += 160, ++n) {
        QByteArray payload;
        for (qsizetype i = 0; i < 160; ++i)
            payload.append(char(alaw ? g711::linearToAlaw(samples[at + i])
                                     : g711::linearToUlaw(samples[at + i])));
        packets.append({quint8(alaw ? 8 : 0), n == 0, quint16(1000 + n), quint32(16000 + 160 * n),
                        payload, quint64(n) * 20000});
    }
    return packets;
}

} // namespace

bool writeRtpPcap(const QString& path, const QVector<qint16>& samples, bool alaw)
{
    return writePackets(path, audioPackets(samples, alaw));
}

bool writeRtpPcapWithKeys(const QString& path, const QVector<qint16>& samples,
                          const QList<KeyPress>& keys)
{
    QList<RtpPacket> packets = audioPackets(samples, false);
    // A press in place of the audio packets it spans (100 ms): the event's three packets,
    // the last two marking its end, all with the timestamp of its start.
    for (const KeyPress& press : keys) {
        const int event = QByteArray("0123456789*#ABCD").indexOf(press.key);
        const qsizetype first = press.atMs / 20;
        if (event < 0 || first + 5 > packets.size())
            return false;
        const quint32 start = packets[first].timestamp;
        for (int i = 0; i < 5; ++i) {
            RtpPacket& p = packets[first + i];
            const bool end = i >= 3;
            const quint16 duration = quint16(160 * (i + 1));
            p.payloadType = 101;
            p.marker = i == 0;
            p.timestamp = start;
            p.payload = QByteArray(4, '\0');
            p.payload[0] = char(event);
            p.payload[1] = char((end ? 0x80 : 0) | 10);
            p.payload[2] = char(duration >> 8);
            p.payload[3] = char(duration & 0xFF);
        }
    }
    return writePackets(path, packets);
}

bool useLinesFile(const QString& path, const QString& text)
{
    if (!writeFile(path, text.toUtf8()))
        return false;
    qputenv("ORVANE_LINES_CONF", QFile::encodeName(path));
    return true;
}

bool writeScenario(const QString& path, const SipCallerScenario& s)
{
    const QString dialog = QStringLiteral("From: ") + s.from +
                           QStringLiteral(";tag=[pid]SIPpTag00[call_number]\n"
                                          "To: <sip:[service]@[remote_ip]:[remote_port]>");
    const QString lastHeaders =
        QStringLiteral("[last_Via:]\n[last_From:]\n[last_To:]\n[last_Call-ID:]\n");
    // An ACK for a final error response, within the INVITE's transaction.
    const QString ackFinal =
        QStringLiteral("<send><![CDATA[\n"
                       "ACK sip:[service]@[remote_ip]:[remote_port] SIP/2.0\n") +
        lastHeaders +
        QStringLiteral("CSeq: 1 ACK\nMax-Forwards: 70\nContent-Length: 0\n"
                       "]]></send>\n");

    QString xml =
        QStringLiteral("<?xml version=\"1.0\" encoding=\"ISO-8859-1\" ?>\n"
                       "<scenario name=\"orvane caller\">\n"
                       "<send retrans=\"500\"><![CDATA[\n"
                       "INVITE sip:[service]@[remote_ip]:[remote_port] SIP/2.0\n"
                       "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n") +
        dialog + QStringLiteral("\nCall-ID: [call_id]\nCSeq: 1 INVITE\n") + s.inviteHeaders +
        QStringLiteral("Contact: ") + s.contact +
        QStringLiteral("\nMax-Forwards: 70\nContent-Type: application/sdp\n"
                       "Content-Length: [len]\n\n"
                       "v=0\no=user1 53655765 2353687637 IN IP[local_ip_type] [local_ip]\n"
                       "s=-\nc=") +
        s.connection + QStringLiteral("\nt=0 0\nm=audio [media_port] RTP/AVP ") + s.sdpFormats +
        QLatin1Char('\n') + s.rtpmaps + QStringLiteral("\n]]></send>\n") +
        QStringLiteral("<recv response=\"100\" optional=\"true\"/>\n");

    if (s.expectFinal) {
        // The line may ring first (a refusal that comes while it rings).
        xml += QStringLiteral("<recv response=\"180\" optional=\"true\"/>\n"
                              "<recv response=\"%1\"/>\n")
                   .arg(s.expectFinal) +
               ackFinal;
    } else if (s.cancelAfterRinging) {
        xml += QStringLiteral("<recv response=\"180\"/>\n"
                              "<send><![CDATA[\n"
                              "CANCEL sip:[service]@[remote_ip]:[remote_port] SIP/2.0\n") +
               lastHeaders +
               QStringLiteral("CSeq: 1 CANCEL\nMax-Forwards: 70\nContent-Length: 0\n]]></send>\n"
                              "<recv response=\"200\"/>\n"
                              "<recv response=\"487\"/>\n") +
               ackFinal;
    } else {
        xml += QStringLiteral("<recv response=\"180\" optional=\"true\"/>\n"
                              "<recv response=\"200\" rrs=\"true\"/>\n");
        if (!s.answeredMark.isEmpty())
            xml += QStringLiteral("<nop><action><exec command=\"touch %1\"/></action></nop>\n")
                       .arg(s.answeredMark);
        if (s.ackAfterMs > 0)
            xml += QStringLiteral("<pause milliseconds=\"%1\"/>\n").arg(s.ackAfterMs);
        // The caller's audio starts before the ACK goes: sipp takes a BYE that comes right
        // after its ACK (a machine hanging up at once) for an unexpected one when another
        // step of the scenario still lies between the two.
        if (!s.pcap.isEmpty())
            xml += QStringLiteral("<nop><action><exec play_pcap_audio=\"%1\"/></action></nop>\n")
                       .arg(s.pcap);
        xml +=
            QStringLiteral("<send><![CDATA[\n"
                           "ACK [next_url] SIP/2.0\n"
                           "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n") +
            dialog + QStringLiteral("[peer_tag_param]\nCall-ID: [call_id]\nCSeq: 1 ACK\n") +
            (s.routed ? QStringLiteral("[routes]\n") : QString()) +
            QStringLiteral("Contact: sip:sipp@[local_ip]:[local_port]\n"
                           "Max-Forwards: 70\nContent-Length: 0\n]]></send>\n");
        xml += s.afterAnswer;
        if (s.hangUpAfterMs >= 0) {
            xml += QStringLiteral("<pause milliseconds=\"%1\"/>\n"
                                  "<send retrans=\"500\"><![CDATA[\n"
                                  "BYE [next_url] SIP/2.0\n"
                                  "Via: SIP/2.0/[transport] [local_ip]:[local_port];"
                                  "branch=[branch]\n")
                       .arg(s.hangUpAfterMs) +
                   dialog + QStringLiteral("[peer_tag_param]\nCall-ID: [call_id]\nCSeq: 2 BYE\n") +
                   (s.routed ? QStringLiteral("[routes]\n") : QString()) +
                   QStringLiteral("Contact: sip:sipp@[local_ip]:[local_port]\n"
                                  "Max-Forwards: 70\nContent-Length: 0\n]]></send>\n"
                                  "<recv response=\"200\" crlf=\"true\"/>\n"
                                  "</scenario>\n");
            QFile f(path);
            return f.open(QIODevice::WriteOnly) && f.write(xml.toUtf8()) > 0;
        }
        // The machine hangs up once it has recorded.
        xml += QStringLiteral("<recv request=\"BYE\" timeout=\"30000\"/>\n"
                              "<send><![CDATA[\nSIP/2.0 200 OK\n") +
               lastHeaders +
               QStringLiteral("[last_CSeq:]\n"
                              "Contact: <sip:[local_ip]:[local_port];transport=[transport]>\n"
                              "Content-Length: 0\n]]></send>\n"
                              "<pause milliseconds=\"200\"/>\n");
    }
    xml += QStringLiteral("</scenario>\n");
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(xml.toUtf8()) > 0;
}

QString callerSdp(const QString& direction)
{
    return QStringLiteral("v=0\no=user1 53655765 2353687638 IN IP[local_ip_type] [local_ip]\n"
                          "s=-\nc=IN IP[media_ip_type] [media_ip]\nt=0 0\n"
                          "m=audio [media_port] RTP/AVP 0\na=rtpmap:0 PCMU/8000\n") +
           (direction.isEmpty() ? QString() : QStringLiteral("a=%1\n").arg(direction));
}

QString withinCall(const QString& method, int cseq, const QString& extraHeaders, const QString& sdp,
                   int expect, const QString& ackSdp, const QString& contentType)
{
    const QString dialog = QStringLiteral(
        "Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]\n"
        "From: sipp <sip:5550123@[local_ip]:[local_port]>;tag=[pid]SIPpTag00[call_number]\n"
        "To: <sip:[service]@[remote_ip]:[remote_port]>[peer_tag_param]\n"
        "Call-ID: [call_id]\n");
    const QString body = sdp.isEmpty() ? QStringLiteral("Content-Length: 0\n")
                                       : QStringLiteral("Content-Type: %1\n"
                                                        "Content-Length: [len]\n\n")
                                                 .arg(contentType) +
                                             sdp;
    QString xml =
        QStringLiteral("<send retrans=\"500\"><![CDATA[\n%1 [next_url] SIP/2.0\n").arg(method) +
        dialog + QStringLiteral("CSeq: %1 %2\n").arg(cseq).arg(method) + extraHeaders +
        QStringLiteral("Contact: sip:sipp@[local_ip]:[local_port]\nMax-Forwards: 70\n") + body +
        QStringLiteral("]]></send>\n") +
        QStringLiteral("<recv response=\"100\" optional=\"true\"/>\n"
                       "<recv response=\"%1\"/>\n")
            .arg(expect);
    if (method == QLatin1String("INVITE")) {
        const QString ackBody = ackSdp.isEmpty() ? QStringLiteral("Content-Length: 0\n")
                                                 : QStringLiteral("Content-Type: application/sdp\n"
                                                                  "Content-Length: [len]\n\n") +
                                                       ackSdp;
        xml += QStringLiteral("<send><![CDATA[\nACK [next_url] SIP/2.0\n") + dialog +
               QStringLiteral("CSeq: %1 ACK\nContact: sip:sipp@[local_ip]:[local_port]\n"
                              "Max-Forwards: 70\n")
                   .arg(cseq) +
               ackBody + QStringLiteral("]]></send>\n");
    }
    return xml;
}

SipCallerRun runSipCaller(const QString& scenarioPath, const QString& user, quint16 remotePort,
                          int timeoutMs, const QString& localIp)
{
    SipCallerPlace place;
    place.localIp = localIp;
    return runSipCaller(scenarioPath, user, remotePort, timeoutMs, place);
}

std::unique_ptr<QProcess> startSipCaller(const QString& scenarioPath, const QString& user,
                                         quint16 remotePort, int timeoutMs,
                                         const SipCallerPlace& place)
{
    const quint16 sipPort = place.sipPort ? place.sipPort : freeUdpPort();
    const quint16 mediaPort = place.mediaPort ? place.mediaPort : freeMediaBase(sipPort);
    auto sipp = std::make_unique<QProcess>();
    sipp->setWorkingDirectory(QFileInfo(scenarioPath).absolutePath());
    sipp->setProcessChannelMode(QProcess::MergedChannels);
    QStringList args{QStringLiteral("-sf"),
                     scenarioPath,
                     QStringLiteral("%1:%2").arg(place.remoteIp).arg(remotePort),
                     QStringLiteral("-s"),
                     user,
                     QStringLiteral("-m"),
                     QStringLiteral("1"),
                     QStringLiteral("-i"),
                     place.localIp,
                     QStringLiteral("-p"),
                     QString::number(sipPort),
                     QStringLiteral("-mp"),
                     QString::number(mediaPort),
                     QStringLiteral("-timeout"),
                     QStringLiteral("%1s").arg(timeoutMs / 1000),
                     QStringLiteral("-nostdin"),
                     QStringLiteral("-trace_err")};
    if (place.netns.isEmpty()) {
        sipp->start(QStringLiteral("sipp"), args);
    } else {
        args.prepend(QStringLiteral("sipp"));
        sipp->start(QStringLiteral("ip"),
                    QStringList{QStringLiteral("netns"), QStringLiteral("exec"), place.netns} +
                        args);
    }
    return sipp;
}

SipCallerRun finishSipCaller(QProcess& sipp, int timeoutMs)
{
    SipCallerRun run;
    if (sipp.state() == QProcess::NotRunning && sipp.error() == QProcess::FailedToStart) {
        run.output = QStringLiteral("sipp did not start");
        return run;
    }
    // On the test's own thread its events go on meanwhile (lines of this process answer
    // sipp); a thread of its own just waits. A sipp still running at the end has not
    // finished its scenario: a failure, never the exit code of a process that has not
    // exited.
    const bool mainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
    const bool finished =
        mainThread ? QTest::qWaitFor([&] { return sipp.state() == QProcess::NotRunning; },
                                     timeoutMs + 5000)
                   : sipp.waitForFinished(timeoutMs + 5000);
    if (!finished) {
        sipp.kill();
        sipp.waitForFinished(5000);
    }
    run.output = QString::fromLocal8Bit(sipp.readAll());
    run.exitCode = finished && sipp.exitStatus() == QProcess::NormalExit ? sipp.exitCode() : -1;
    if (!finished)
        run.output += QStringLiteral("\n(sipp was still running after %1 ms)").arg(timeoutMs);
    return run;
}

SipCallerRun runSipCaller(const QString& scenarioPath, const QString& user, quint16 remotePort,
                          int timeoutMs, const SipCallerPlace& place)
{
    const std::unique_ptr<QProcess> sipp =
        startSipCaller(scenarioPath, user, remotePort, timeoutMs, place);
    if (!sipp->waitForStarted(10000)) {
        SipCallerRun run;
        run.output = QStringLiteral("sipp did not start");
        return run;
    }
    return finishSipCaller(*sipp, timeoutMs);
}

} // namespace orvane::test
