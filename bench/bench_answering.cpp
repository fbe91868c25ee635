// Concurrent answering: N simulated lines each receive a call at the same moment (Rings 2,
// a spoken greeting, RecordTime 5). Prints, per N: calls answered and recorded, exact
// recordings, samples lost, answer latency from the Rings-th ring and time from the answer
// to the first greeting byte sent (median, p99), line-server CPU seconds per call, and the
// line server's peak memory.
//
//   dbus-run-session -- build/bin/bench_answering [N ...]     (default 10 100 1000)

#include "ProcessFigures.h"
#include "database/RecMessageTable.h"
#include "line_server/client/LineHandle.h"
#include "line_server/client/StatusGridExport.h"
#include "line_server/client/TolvexNames.h"

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <unistd.h>

using namespace orvane;
using namespace orvane::bench;

namespace {

constexpr int kRings = 2;
constexpr int kRecordTime = 5;
constexpr int kRingIntervalMs = 1000;
const QString kGreeting = QStringLiteral("Hello. Please leave a message after the tone.");

class StatusCounter : public StatusGridSink {
public:
    void setRow(int) override {}
    void setTextMatrix(int row, int column, const QString& text) override
    {
        if (column != 2)
            return;
        if (text == QLatin1String("Recording File .... "))
            recording.insert(row);
        if (text == QLatin1String("Waiting for Call .... ") && recording.contains(row))
            done.insert(row);
    }
    QSet<int> recording, done;
};

double percentile(QVector<double> v, double p)
{
    if (v.isEmpty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v[qsizetype(std::min<double>(v.size() - 1, std::ceil(p * v.size()) - 1))];
}

bool writeToneWav(const QString& path)
{
    QByteArray data;
    for (int i = 0; i < 8000 * 3; ++i) {
        const qint16 s = qint16(6000 * std::sin(2 * M_PI * 1000 * i / 8000.0));
        char b[2];
        qToLittleEndian(s, b);
        data.append(b, 2);
    }
    QByteArray h("RIFF");
    auto le32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        h.append(b, 4);
    };
    auto le16 = [&](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        h.append(b, 2);
    };
    le32(36 + quint32(data.size()));
    h.append("WAVEfmt ");
    le32(16);
    le16(1);
    le16(1);
    le32(8000);
    le32(16000);
    le16(2);
    le16(16);
    h.append("data");
    le32(quint32(data.size()));
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(h + data) > 0;
}

int runOnce(int n)
{
    QTemporaryDir home;
    const QString service = QStringLiteral("org.orvane.Tolvex.Bench%1x%2").arg(getpid()).arg(n);
    QProcess tolvex;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ORVANE_SIM_LINES", QString::number(n));
    env.insert("QT_LOGGING_RULES", "orvane.line.info=false");
    tolvex.setProcessEnvironment(env);
    tolvex.setProcessChannelMode(QProcess::ForwardedErrorChannel);
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
                                QStringLiteral("/bench/grid%1").arg(n));
    gridExport.publish();

    const qint64 bareKiB = statusKiB(pid, "VmRSS:");
    QElapsedTimer setup;
    setup.start();
    QList<LineHandle> lines;
    QStringList names;
    for (int i = 1; i <= n; ++i) {
        const QString name = QStringLiteral("Simulated Line %1").arg(i);
        Result<LineHandle> line = client.createLine();
        if (!line || !line->InitTAPI(name, gridExport, qint16(i), home.path()) ||
            !line->setRings(kRings) || !line->setPlayType("MESS") ||
            !line->setPlayMessage(kGreeting) || !line->setVolume(80) ||
            !line->setRecordTime(kRecordTime) ||
            line->getMessage().value() != QLatin1String("NOERROR")) {
            std::fprintf(stderr, "N=%d: line %d could not be set up\n", n, i);
            return 1;
        }
        lines.append(line.value());
        names.append(name);
    }
    const double setupSeconds = setup.elapsed() / 1000.0;
    // What the lines cost while they wait for calls.
    const double idlePerLineKiB = double(statusKiB(pid, "VmRSS:") - bareKiB) / n;
    const QString caller = home.filePath("caller.wav");
    writeToneWav(caller);

    const double cpuBefore = cpuSeconds(pid);
    QElapsedTimer wall;
    wall.start();
    QDBusMessage place = QDBusMessage::createMethodCall(service, tolvex::kSimulatorPath,
                                                        tolvex::kSimulatorInterface, "PlaceCalls");
    place << names << QStringLiteral("5550100") << kRings + 2 << kRingIntervalMs << caller << true
          << -1;
    const QDBusMessage placed = QDBusConnection::sessionBus().call(place, QDBus::Block, 120000);
    if (placed.type() == QDBusMessage::ErrorMessage) {
        std::fprintf(stderr, "N=%d: %s\n", n, qPrintable(placed.errorMessage()));
        return 1;
    }
    const QList<quint64> ids = qdbus_cast<QList<quint64>>(placed.arguments().value(0));
    const bool finished = waitFor([&] { return grid.done.size() == n; }, 300000);
    const double wallSeconds = wall.elapsed() / 1000.0;
    const double cpu = cpuSeconds(pid) - cpuBefore;
    const qint64 peak = peakKiB(pid);

    QVector<double> latency, firstSound;
    int answered = 0;
    qint64 gaps = 0;
    for (quint64 id : ids) {
        QDBusMessage info = QDBusMessage::createMethodCall(service, tolvex::kSimulatorPath,
                                                           tolvex::kSimulatorInterface, "CallInfo");
        info << id;
        const QVariantMap m =
            qdbus_cast<QVariantMap>(QDBusConnection::sessionBus().call(info).arguments().value(0));
        if (m.value("answeredAtRing").toInt() == kRings)
            ++answered;
        if (m.value("answerLatencyMs").toDouble() >= 0)
            latency.append(m.value("answerLatencyMs").toDouble());
        if (m.value("firstSoundMs").toDouble() >= 0)
            firstSound.append(m.value("firstSoundMs").toDouble());
        gaps += m.value("underrunBytes").toLongLong();
    }

    const qint64 expected = 44 + qint64(kRecordTime) * 8000;
    int exact = 0;
    qint64 lost = 0;
    const QFileInfoList files = QDir(home.filePath("Rec-Files")).entryInfoList(QDir::Files);
    for (const QFileInfo& f : files) {
        exact += f.size() == expected ? 1 : 0;
        lost += qMax<qint64>(0, expected - f.size());
    }
    lost += qint64(n - files.size()) * (expected - 44);
    Database db;
    int logged = 0;
    if (db.OpenDatabase(home.path()))
        logged = int(recmessage::listDay(db, QDate::currentDate()).value().size());
    db.CloseDatabase();

    std::printf("%6d %9d %9d %7d %9lld %8.2f %8.2f %8.1f %8.1f %9.4f %9.1f %8.1f %8lld%s\n", n,
                answered, logged, exact, lost, percentile(latency, 0.5), percentile(latency, 0.99),
                percentile(firstSound, 0.5), percentile(firstSound, 0.99), cpu / n, peak / 1024.0,
                wallSeconds, gaps / 8, finished ? "" : "  (not all calls finished)");
    std::fflush(stdout);
    std::fprintf(stderr, "N=%d: setting up the lines took %.1f s; an idle line holds %.0f KiB\n", n,
                 setupSeconds, idlePerLineKiB);

    lines.clear();
    tolvex.terminate();
    tolvex.waitForFinished(60000);
    return finished ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QList<int> sizes;
    for (const QString& arg : app.arguments().mid(1))
        sizes.append(arg.toInt());
    if (sizes.isEmpty())
        sizes = {10, 100, 1000};
    std::printf("Concurrent calls: Rings %d, spoken greeting, RecordTime %d s, rings every %d ms\n",
                kRings, kRecordTime, kRingIntervalMs);
    std::printf("%6s %9s %9s %7s %9s %8s %8s %8s %8s %9s %9s %8s %8s\n", "N", "answered", "logged",
                "exact", "lost(B)", "ans p50", "ans p99", "1st p50", "1st p99", "CPU s/cl",
                "peak MiB", "wall s", "gaps(ms)");
    int rc = 0;
    for (int n : sizes)
        rc |= runOnce(n);
    std::printf("ans: answer latency from the Rings-th ring (ms); 1st: answer to first greeting "
                "byte sent (ms); gaps: silence inside greetings, in ms summed over calls\n");
    return rc;
}
