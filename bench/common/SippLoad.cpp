#include "SippLoad.h"

#include <QFile>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <cmath>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane::bench {

quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

// A 1 kHz tone as raw 8 kHz mu-law, the form sipp's rtp_stream sends as payload 0. (sipp's
// pcap play is not used: each call it plays holds a raw socket, and every UDP packet on
// loopback then costs the kernel a look at every one of them, a cost that lands on the
// line server's loop at a thousand calls.)
bool writeToneUlaw(const QString& path, double seconds)
{
    QByteArray out;
    const int samples = int(seconds * 8000);
    out.reserve(samples);
    for (int i = 0; i < samples; ++i) {
        const double s = 6000 * std::sin(2 * M_PI * 1000 * i / 8000.0);
        // mu-law by the book (bias 0x84)
        int x = int(s), sign = x < 0 ? 0x80 : 0;
        x = std::min(std::abs(x), 32635) + 0x84;
        int exp = 7;
        for (int mask = 0x4000; !(x & mask) && exp > 0; mask >>= 1)
            --exp;
        out.append(char(~(sign | exp << 4 | ((x >> (exp + 3)) & 0x0F))));
    }
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(out) == out.size();
}

QString loadScenario(const QString& audio, bool routed)
{
    return QStringLiteral(R"(<?xml version="1.0" encoding="ISO-8859-1" ?>
<scenario name="load">
<send retrans="500"><![CDATA[
INVITE sip:[field0]@[remote_ip]:[remote_port] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
From: sipp <sip:5550123@[local_ip]:[local_port]>;tag=[pid]SIPpTag00[call_number]
To: <sip:[field0]@[remote_ip]:[remote_port]>
Call-ID: [call_id]
CSeq: 1 INVITE
Contact: sip:sipp@[local_ip]:[local_port]
Max-Forwards: 70
Content-Type: application/sdp
Content-Length: [len]

v=0
o=user1 53655765 2353687637 IN IP[local_ip_type] [local_ip]
s=-
c=IN IP[media_ip_type] [media_ip]
t=0 0
m=audio [auto_media_port] RTP/AVP 0
a=rtpmap:0 PCMU/8000
]]></send>
<recv response="100" optional="true"/>
<recv response="180" optional="true"/>
<recv response="503" optional="true" next="refused"/>
<recv response="200" rrs="true"/>
<send><![CDATA[
ACK [next_url] SIP/2.0
Via: SIP/2.0/[transport] [local_ip]:[local_port];branch=[branch]
From: sipp <sip:5550123@[local_ip]:[local_port]>;tag=[pid]SIPpTag00[call_number]
To: <sip:[field0]@[remote_ip]:[remote_port]>[peer_tag_param]
Call-ID: [call_id]
CSeq: 1 ACK
Contact: sip:sipp@[local_ip]:[local_port]
%2Max-Forwards: 70
Content-Length: 0
]]></send>
<nop><action><exec rtp_stream="%1,1,0"/></action></nop>
<recv request="BYE" timeout="60000"/>
<send><![CDATA[
SIP/2.0 200 OK
[last_Via:]
[last_From:]
[last_To:]
[last_Call-ID:]
[last_CSeq:]
Contact: <sip:[local_ip]:[local_port];transport=[transport]>
Content-Length: 0
]]></send>
<nop next="end"/>
<label id="refused"/>
<send><![CDATA[
ACK sip:[field0]@[remote_ip]:[remote_port] SIP/2.0
[last_Via:]
[last_From:]
[last_To:]
[last_Call-ID:]
CSeq: 1 ACK
Max-Forwards: 70
Content-Length: 0
]]></send>
<label id="end"/>
</scenario>
)")
        .arg(audio, routed ? QStringLiteral("[routes]\n") : QString());
}

int sippCount(const QString& screen, const QString& message)
{
    const QRegularExpression row(
        QStringLiteral("^\\s*%1 <-+\\s+(\\d+)").arg(QRegularExpression::escape(message)),
        QRegularExpression::MultilineOption);
    int count = 0;
    for (auto it = row.globalMatch(screen); it.hasNext();)
        count = it.next().captured(1).toInt(); // the last screen holds the totals
    return count;
}

} // namespace orvane::bench
