// SIP load on loopback: N concurrent calls from sipp to N SIP lines of one line server (one
// port, users line1..lineN). Each call rings once, is answered, hears a spoken greeting and
// is recorded for 10 s while sipp sends RTP (a tone), then the line hangs up. The server
// keeps its default limits (1,000 calls at once), so beyond them calls are refused with 503.
// Prints, per N: calls completed (logged), refused, lost (neither), recordings of exactly
// 10 x 8000 bytes, RTP packets late or samples missing at the server, packets the server
// dropped, line-server CPU per call-second, and its peak memory.
//
//   dbus-run-session -- build/bin/bench_sip [N ...]     (default 50 200 500)

#include "database/RecMessageTable.h"
#include "line_server/client/LineHandle.h"
#include "line_server/client/StatusGridExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <arpa/inet.h>
#include <cmath>
#include <cstdio>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace orvane;

namespace {

constexpr int kRecordTime = 10;
const QString kGreeting = QStringLiteral("Hello. Please leave a message.");

class StatusCounter : public StatusGridSink {
public:
    void setRow(int) override {}
    void setTextMatrix(int row, int column, const QString& text) override
    {
        if (column == 2 && text == QLatin1String("Recording File .... "))
            recording.insert(row);
        if (column == 2 && text == QLatin1String("Waiting for Call .... ") &&
            recording.contains(row))
            done.insert(row);
    }
    QSet<int> recording, done;
};

// Waits for events rather than spinning: a benchmark that takes a core of its own takes it
// from the line server it measures. The timer wakes it to look again.
bool waitFor(const std::function<bool()>& condition, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    QTimer look;
    look.start(20);
    while (!condition()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

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

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) /
           double(sysconf(_SC_CLK_TCK));
}

qint64 peakKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return 0;
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

QString scenario(const QString& audio)
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
Max-Forwards: 70
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
        .arg(audio);
}

int runOnce(int n)
{
    QTemporaryDir home;
    const quint16 sipPort = freePort();
    QFile conf(home.filePath("lines.conf"));
    QFile users(home.filePath("users.csv"));
    if (!conf.open(QIODevice::WriteOnly) || !users.open(QIODevice::WriteOnly))
        return 1;
    users.write("SEQUENTIAL\n");
    for (int i = 1; i <= n; ++i) {
        conf.write(QStringLiteral("[Line %1]\nuri = sip:line%1@127.0.0.1\nport = %2\n"
                                  "address = 127.0.0.1\nring_interval_ms = 1000\n\n")
                       .arg(i)
                       .arg(sipPort)
                       .toUtf8());
        users.write(QStringLiteral("line%1\n").arg(i).toUtf8());
    }
    conf.close();
    users.close();
    const QString audio = home.filePath("caller.ulaw");
    writeToneUlaw(audio, kRecordTime + 6);
    QFile xml(home.filePath("load.xml"));
    if (!xml.open(QIODevice::WriteOnly))
        return 1;
    xml.write(scenario(audio).toUtf8());
    xml.close();

    const QString service = QStringLiteral("org.orvane.Tolvex.SipBench%1x%2").arg(getpid()).arg(n);
    QProcess tolvex;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ORVANE_LINES_CONF", conf.fileName());
    env.insert("QT_LOGGING_RULES", "orvane.line.info=false");
    tolvex.setProcessEnvironment(env);
    tolvex.start(QDir(QCoreApplication::applicationDirPath()).filePath("tolvex"),
                 {"--service", service});
    TolvexClient client(QDBusConnection::sessionBus(), service);
    if (!waitFor([&] { return client.serverRunning(); }, 20000)) {
        std::fprintf(stderr, "N=%d: the line server did not start\n", n);
        return 1;
    }
    const qint64 pid = tolvex.processId();

    StatusCounter grid;
    StatusGridExport gridExport(grid, QDBusConnection::sessionBus(),
                                QStringLiteral("/bench/sip%1").arg(n));
    gridExport.publish();
    QList<LineHandle> lines;
    for (int i = 1; i <= n; ++i) {
        Result<LineHandle> line = client.createLine();
        if (!line ||
            !line->InitTAPI(QStringLiteral("Line %1").arg(i), gridExport, qint16(i), home.path()) ||
            !line->setRings(1) || !line->setPlayType("MESS") || !line->setPlayMessage(kGreeting) ||
            !line->setVolume(80) || !line->setRecordTime(kRecordTime) ||
            line->getMessage().value() != QLatin1String("NOERROR")) {
            std::fprintf(stderr, "N=%d: line %d could not be set up\n", n, i);
            return 1;
        }
        lines.append(line.value());
    }

    const double cpuBefore = cpuSeconds(pid);
    QElapsedTimer wall;
    wall.start();
    QProcess sipp;
    sipp.setWorkingDirectory(home.path());
    sipp.setProcessChannelMode(QProcess::MergedChannels);
    sipp.start("sipp", {"-sf", xml.fileName(), QStringLiteral("127.0.0.1:%1").arg(sipPort), "-inf",
                        users.fileName(), "-m", QString::number(n), "-l", QString::number(n), "-r",
                        QString::number(n), "-rp", "1000", "-i", "127.0.0.1", "-p",
                        QString::number(freePort()),
                        // Away from the line server's RTP ports (16384-32766): sipp names a
                        // port per call in its SDP but sends from this one, so a port it
                        // names may be bound by another of our calls meanwhile.
                        "-mp", "40000", "-nostdin", "-timeout", "120s", "-max_socket", "2048"});
    // sipp ends when every call has ended or been refused; the last recordings are then
    // still being saved and logged.
    const bool sippEnded = waitFor([&] { return sipp.state() == QProcess::NotRunning; }, 180000);
    const QString sippScreen = QString::fromLocal8Bit(sipp.readAll());
    auto responses = [&sippScreen](int code) {
        static const QRegularExpression row(QStringLiteral("^\\s*(\\d{3}) <-+\\s+(\\d+)"),
                                            QRegularExpression::MultilineOption);
        int count = 0;
        for (auto it = row.globalMatch(sippScreen); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.captured(1).toInt() == code)
                count = m.captured(2).toInt(); // the last screen holds the totals
        }
        return count;
    };
    const int answered = responses(200), refused = responses(503);
    const bool finished =
        sippEnded && waitFor([&] { return int(grid.done.size()) >= answered; }, 60000);
    const double wallSeconds = wall.elapsed() / 1000.0;
    const double cpu = cpuSeconds(pid) - cpuBefore;
    const qint64 peak = peakKiB(pid);
    if (!qEnvironmentVariableIsEmpty("ORVANE_BENCH_VERBOSE"))
        std::fprintf(stderr, "%s\n", qPrintable(sippScreen.right(6000)));
    const qint64 expected = 44 + qint64(kRecordTime) * 8000;
    int exact = 0;
    const QFileInfoList files = QDir(home.filePath("Rec-Files")).entryInfoList(QDir::Files);
    for (const QFileInfo& f : files)
        exact += f.size() == expected ? 1 : 0;
    Database db;
    int logged = 0;
    if (db.OpenDatabase(home.path()))
        logged = int(recmessage::listDay(db, QDate::currentDate()).value().size());
    db.CloseDatabase();

    lines.clear();
    tolvex.terminate();
    tolvex.waitForFinished(60000);
    // Each call's media figures, as the line server wrote them when the call's audio ended.
    qint64 sent = 0, received = 0, delayed = 0, late = 0, missing = 0, dropped = 0;
    int calls = 0;
    static const QRegularExpression media(
        QStringLiteral("(\\d+) packets sent, (\\d+) received, (\\d+) late but played, (\\d+) "
                       "late, (\\d+) samples missing, (\\d+) dropped"));
    const QString serverLog = QString::fromLocal8Bit(tolvex.readAllStandardError());
    if (!qEnvironmentVariableIsEmpty("ORVANE_BENCH_VERBOSE")) {
        // The media lines only of calls that lost or dropped something.
        for (const QString& line : serverLog.split('\n'))
            if (!line.contains(QLatin1String("media of call")) ||
                !line.endsWith(QLatin1String(" 0 samples missing, 0 dropped")))
                std::fprintf(stderr, "tolvex: %s\n", qPrintable(line));
    }
    for (auto it = media.globalMatch(serverLog); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        sent += m.captured(1).toLongLong();
        received += m.captured(2).toLongLong();
        delayed += m.captured(3).toLongLong();
        late += m.captured(4).toLongLong();
        missing += m.captured(5).toLongLong();
        dropped += m.captured(6).toLongLong();
        ++calls;
    }
    // Lost: offered, but neither completed nor refused.
    const int lost = n - logged - refused;
    std::printf("%5d %9d %7d %5d %6d %9lld %9lld %8lld %7lld %9lld %8lld %12.5f %9.1f %7.1f%s\n", n,
                logged, refused, lost, exact, sent, received, delayed, late, missing, dropped,
                cpu / qMax(1.0, wallSeconds * logged), peak / 1024.0, wallSeconds,
                finished ? "" : "  (not all calls finished)");
    std::fflush(stdout);
    if (calls != n)
        std::fprintf(stderr, "N=%d: media figures for %d calls\n", n, calls);
    return finished && lost == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (const QString& arg : app.arguments().mid(1))
        sizes.append(arg.toInt());
    if (sizes.isEmpty())
        sizes = {50, 200, 500};
    std::printf("SIP load on loopback: Rings 1, spoken greeting, RecordTime %d s, RTP both ways\n",
                kRecordTime);
    std::printf("%5s %9s %7s %5s %6s %9s %9s %8s %7s %9s %8s %12s %9s %7s\n", "N", "completed",
                "refused", "lost", "exact", "rtp sent", "received", "delayed", "late", "missing",
                "dropped", "CPU s/call-s", "peak MiB", "wall s");
    int rc = 0;
    for (int n : sizes)
        rc |= runOnce(n);
    std::printf("refused: calls answered 503 (past max_calls or invite_rate); lost: offered but\n"
                "neither completed nor refused\n");
    std::printf("delayed: packets that came after their play-out time and were played after all\n"
                "(the jitter buffer grew); late: packets that came too late and were not played;\n"
                "missing: samples played as silence inside a caller's stream; dropped: packets\n"
                "from another address or law\n");
    return rc;
}
