// Several line servers as one: two tolvex processes behind kamailio (the dispatcher
// configuration of docs/kamailio), logging into one PostgreSQL database and keeping their
// recordings under one storage root, all made here on loopback. N calls from sipp at once
// (default 1000: 500 a server), each to a line of its own that both servers serve: rings
// once, hears a spoken greeting, is recorded for 10 s while sipp sends RTP, and the line
// hangs up. Prints calls completed, refused (503), lost, the rows in the shared log and
// those each server wrote, recordings of exactly 10 s, line-server CPU per call-second and
// the wall time. Needs root (kamailio, and
// PostgreSQL as its own system user).
//
//   dbus-run-session -- build/bin/bench_cluster [N ...]

#include "Kamailio.h"
#include "Postgres.h"
#include "ProcessFigures.h"
#include "SippLoad.h"
#include "database/Database.h"
#include "database/RecMessageTable.h"
#include "line_server/client/AnsweringConf.h"
#include "line_server/client/TolvexNames.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>
#include <memory>

using namespace orvane;
using namespace orvane::bench;

namespace {

constexpr int kRecordTime = 10;

bool writeText(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

struct Server {
    QString name;
    QString folder;
    quint16 port = 0;
    std::unique_ptr<QProcess> process;
    QString service;
};

// The lines of the server now waiting for a call.
int waitingLines(const Server& s)
{
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        QDBusMessage::createMethodCall(s.service, tolvex::kFactoryPath, tolvex::kFactoryInterface,
                                       QStringLiteral("LineStatus")),
        QDBus::Block, 20000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return -1;
    int waiting = 0;
    for (const QVariantMap& line : qdbus_cast<QList<QVariantMap>>(reply.arguments().first()))
        waiting += line.value(QStringLiteral("status"))
                       .toString()
                       .startsWith(QLatin1String("Waiting for"), Qt::CaseInsensitive);
    return waiting;
}

bool startServer(Server& s, const QString& base, int lines, const QString& uri,
                 const QString& store)
{
    s.folder = QDir(base).filePath(s.name);
    if (!QDir().mkpath(s.folder + QStringLiteral("/home")))
        return false;
    s.port = freePort();
    QByteArray conf = QStringLiteral("max_calls = %1\ninvite_rate = %1\n\n").arg(lines).toUtf8();
    answering::AnsweringFile answering;
    answering.programFolder = s.folder + QStringLiteral("/home");
    for (int k = 1; k <= lines; ++k) {
        conf += QStringLiteral("[Line %1]\nuri = sip:line%1@127.0.0.1\nport = %2\n"
                               "address = 127.0.0.1\nring_interval_ms = 1000\n\n")
                    .arg(k)
                    .arg(s.port)
                    .toUtf8();
        answering::StandingLine line;
        line.line = QStringLiteral("Line %1").arg(k);
        line.rings = 1;
        line.playType = QStringLiteral("MESS");
        line.playMessage = QStringLiteral("Hello. Please leave a message.");
        line.volume = 80;
        line.recordTime = kRecordTime;
        answering.lines.append(line);
    }
    if (!writeText(s.folder + QStringLiteral("/lines.conf"), conf) ||
        !writeText(s.folder + QStringLiteral("/answering.conf"),
                   answering::formatAnsweringFile(answering)) ||
        !writeText(s.folder + QStringLiteral("/orvane.conf"),
                   QStringLiteral("database = %1\nstorage = %2\nserver_name = %3\n")
                       .arg(uri, store, s.name)
                       .toUtf8()))
        return false;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORVANE_LINES_CONF"), s.folder + QStringLiteral("/lines.conf"));
    env.insert(QStringLiteral("ORVANE_ANSWERING_CONF"),
               s.folder + QStringLiteral("/answering.conf"));
    env.insert(QStringLiteral("ORVANE_CONF"), s.folder + QStringLiteral("/orvane.conf"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("orvane.line.info=false"));
    s.service = QStringLiteral("org.orvane.Tolvex.Cluster%1x%2")
                    .arg(s.name)
                    .arg(QCoreApplication::applicationPid());
    s.process = std::make_unique<QProcess>();
    s.process->setProcessEnvironment(env);
    s.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    s.process->start(
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("tolvex")),
        {QStringLiteral("--service"), s.service});
    return waitFor([&] { return waitingLines(s) == lines; }, 300000);
}

// Every row of the shared log today, as the first server's configuration reads it.
QList<recmessage::CallRow> rows(const Server& s)
{
    qputenv("ORVANE_CONF", QFile::encodeName(s.folder + QStringLiteral("/orvane.conf")));
    Database db;
    QList<recmessage::CallRow> day;
    if (db.OpenDatabase(s.folder + QStringLiteral("/home")))
        day = recmessage::listDay(db, QDate::currentDate()).value();
    return day;
}

int runOnce(int n)
{
    QTemporaryDir base;
    test::Postgres database;
    test::Kamailio proxy;
    QString problem;
    if (!database.start(&problem)) {
        std::fprintf(stderr, "PostgreSQL: %s\n", qPrintable(problem));
        return 1;
    }
    const QString uri = database.uri(QStringLiteral("cluster%1").arg(n), &problem);
    const QString store = base.filePath(QStringLiteral("store"));
    Server alpha{QStringLiteral("alpha"), {}, 0, nullptr, {}};
    Server beta{QStringLiteral("beta"), {}, 0, nullptr, {}};
    if (uri.isEmpty() || !startServer(alpha, base.path(), n, uri, store) ||
        !startServer(beta, base.path(), n, uri, store) ||
        !proxy.startDispatcher({QStringLiteral("127.0.0.1:%1").arg(alpha.port),
                                QStringLiteral("127.0.0.1:%1").arg(beta.port)},
                               &problem, 2000, 5)) {
        std::fprintf(stderr, "N=%d: cannot set up: %s\n", n, qPrintable(problem));
        return 1;
    }

    QFile users(base.filePath(QStringLiteral("users.csv")));
    if (!users.open(QIODevice::WriteOnly))
        return 1;
    users.write("SEQUENTIAL\n");
    for (int k = 1; k <= n; ++k)
        users.write(QStringLiteral("line%1\n").arg(k).toUtf8());
    users.close();
    const QString audio = base.filePath(QStringLiteral("caller.ulaw"));
    const QString xml = base.filePath(QStringLiteral("load.xml"));
    if (!writeToneUlaw(audio, kRecordTime + 6) ||
        !writeText(xml, loadScenario(audio, /*routed=*/true).toUtf8()))
        return 1;

    const double cpuBefore =
        cpuSeconds(alpha.process->processId()) + cpuSeconds(beta.process->processId());
    QElapsedTimer wall;
    wall.start();
    QProcess sipp;
    sipp.setWorkingDirectory(base.path());
    sipp.setProcessChannelMode(QProcess::MergedChannels);
    sipp.start(QStringLiteral("sipp"), {"-sf",
                                        xml,
                                        QStringLiteral("127.0.0.1:%1").arg(proxy.port()),
                                        "-inf",
                                        users.fileName(),
                                        "-m",
                                        QString::number(n),
                                        "-l",
                                        QString::number(n),
                                        "-r",
                                        QString::number(n),
                                        "-rp",
                                        "1000",
                                        "-i",
                                        "127.0.0.1",
                                        "-p",
                                        QString::number(freePort()),
                                        "-mp",
                                        "40000",
                                        "-nostdin",
                                        "-timeout",
                                        "180s",
                                        "-max_socket",
                                        QString::number(qMax(2048, 2 * n + 100))});
    const bool sippEnded = waitFor([&] { return sipp.state() == QProcess::NotRunning; }, 240000);
    const QString screen = QString::fromLocal8Bit(sipp.readAll());
    const int answered = sippCount(screen, QStringLiteral("200"));
    const int refused = sippCount(screen, QStringLiteral("503"));
    // Completed: answered, recorded, and hung up by the line.
    const int completed = sippCount(screen, QStringLiteral("BYE"));
    // The last recordings are still being saved and logged as sipp ends.
    QList<recmessage::CallRow> logged;
    const bool finished = sippEnded && waitFor(
                                           [&] {
                                               logged = rows(alpha);
                                               return logged.size() >= answered;
                                           },
                                           60000);
    const double wallSeconds = wall.elapsed() / 1000.0;
    const double cpu =
        cpuSeconds(alpha.process->processId()) + cpuSeconds(beta.process->processId()) - cpuBefore;
    int byAlpha = 0, byBeta = 0, exact = 0;
    for (const recmessage::CallRow& row : logged) {
        byAlpha += row.server == alpha.name;
        byBeta += row.server == beta.name;
        exact +=
            QFileInfo(QDir(store).filePath(QStringLiteral("Rec-Files/") + row.incomingCallFile))
                .size() == 44 + qint64(kRecordTime) * 8000;
    }
    if (!qEnvironmentVariableIsEmpty("ORVANE_BENCH_VERBOSE"))
        std::fprintf(stderr, "%s\n", qPrintable(screen.right(6000)));
    // Lost: offered, but neither refused nor in the log.
    const int lost = n - int(logged.size()) - refused;
    std::printf("%5d %9d %7d %5d %6d %6d %6d %6d %12.5f %7.1f%s\n", n, completed, refused, lost,
                int(logged.size()), byAlpha, byBeta, exact,
                cpu / qMax(1.0, wallSeconds * logged.size()), wallSeconds,
                finished ? "" : "  (not all calls finished)");
    std::fflush(stdout);
    for (Server* s : {&alpha, &beta}) {
        s->process->terminate();
        s->process->waitForFinished(60000);
    }
    return finished && lost == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    for (const QString& why : {test::Postgres::unavailable(), test::Kamailio::unavailable()})
        if (!why.isEmpty()) {
            std::fprintf(stderr, "bench_cluster cannot run here: %s\n", qPrintable(why));
            return 1;
        }
    QList<int> sizes;
    for (const QString& arg : app.arguments().mid(1))
        sizes.append(arg.toInt());
    if (sizes.isEmpty())
        sizes = {1000};
    std::printf("Two line servers behind kamailio, one PostgreSQL log: Rings 1, spoken greeting,\n"
                "RecordTime %d s, RTP both ways\n",
                kRecordTime);
    std::printf("%5s %9s %7s %5s %6s %6s %6s %6s %12s %7s\n", "N", "completed", "refused", "lost",
                "rows", "alpha", "beta", "exact", "CPU s/call-s", "wall s");
    int rc = 0;
    for (int n : sizes)
        rc |= runOnce(n);
    std::printf("completed: calls answered and hung up by a line; refused: answered 503 by both\n"
                "servers; lost: offered but neither refused nor in the log; rows: in the shared\n"
                "log, alpha and beta those each server wrote; exact: recordings of exactly %d s;\n"
                "CPU: both line servers' from the first call until the last row, over that time\n"
                "times the calls (as bench_sip counts it)\n",
                kRecordTime);
    return rc;
}
