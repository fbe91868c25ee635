// SIP load on loopback: N concurrent calls from sipp to N SIP lines of one line server (one
// port, users line1..lineN). Each call rings once, is answered, hears a spoken greeting and
// is recorded for 10 s while sipp sends RTP (a tone), then the line hangs up. The server
// takes them all (max_calls and invite_rate as large as the run, at least their defaults).
// Prints, per N: calls completed (logged), refused, lost (neither), recordings of exactly
// 10 x 8000 bytes, RTP packets late or samples missing at the server, packets the server
// dropped, line-server CPU per call-second, and its peak memory. The server moves the calls'
// audio on one thread per core unless ORVANE_BENCH_MEDIA_THREADS says how many (0: on the
// SIP loop, as a server did before it had media threads).
//
//   dbus-run-session -- build/bin/bench_sip [N ...]     (default 50 200 500)

#include "ProcessFigures.h"
#include "SippLoad.h"
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
using namespace orvane::bench;

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

int runOnce(int n)
{
    QTemporaryDir home;
    const quint16 sipPort = freePort();
    QFile conf(home.filePath("lines.conf"));
    QFile users(home.filePath("users.csv"));
    if (!conf.open(QIODevice::WriteOnly) || !users.open(QIODevice::WriteOnly))
        return 1;
    users.write("SEQUENTIAL\n");
    // Room for every call of the run; the media threads as the environment chooses (the
    // server's default: one per core).
    conf.write(QStringLiteral("max_calls = %1\ninvite_rate = %1\n").arg(qMax(1000, n)).toUtf8());
    if (const QString threads = qEnvironmentVariable("ORVANE_BENCH_MEDIA_THREADS");
        !threads.isEmpty())
        conf.write(QStringLiteral("media_threads = %1\n").arg(threads).toUtf8());
    conf.write("\n");
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
    xml.write(loadScenario(audio).toUtf8());
    xml.close();

    const QString service = QStringLiteral("org.orvane.Tolvex.SipBench%1x%2").arg(getpid()).arg(n);
    QProcess tolvex;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ORVANE_LINES_CONF", conf.fileName());
    // Each call's media figures are a debug line of the SIP loop's.
    env.insert("QT_LOGGING_RULES", "orvane.line.info=false;orvane.sip.debug=true");
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
                        "-mp", "40000", "-nostdin", "-timeout", "120s", "-max_socket",
                        QString::number(qMax(2048, 2 * n + 100))});
    // sipp ends when every call has ended or been refused; the last recordings are then
    // still being saved and logged.
    const bool sippEnded = waitFor([&] { return sipp.state() == QProcess::NotRunning; }, 180000);
    const QString sippScreen = QString::fromLocal8Bit(sipp.readAll());
    const int answered = sippCount(sippScreen, QStringLiteral("200")),
              refused = sippCount(sippScreen, QStringLiteral("503"));
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
