// Several line servers behind one SIP proxy, as an office or a provider outgrows one
// machine: two tolvex processes (alpha and beta) serve the same lines, each on its own SIP
// port and program folder; kamailio, with the dispatcher configuration Orvane ships, spreads
// sipp's calls over them; both log into one PostgreSQL database and keep their recordings
// under one storage root. Calls land on both and one log lists them all; a full server
// passes a call on; a server stopped mid-run loses nothing and its share goes to the other;
// rows written while the database is away wait and arrive once it is back.

#include "Kamailio.h"
#include "Postgres.h"
#include "ServerProcess.h"
#include "Signals.h"
#include "SipCaller.h"
#include "database/Database.h"
#include "database/RecMessageTable.h"
#include "line_server/client/AnsweringConf.h"
#include "line_server/client/TolvexNames.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace orvane;

namespace {

constexpr int kLines = 6;
constexpr int kRecordSeconds = 2;
constexpr qint64 kRecordingBytes = 44 + kRecordSeconds * 8000;
constexpr int kCallMs = 30000;

bool writeText(const QString& path, const QString& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text.toUtf8()) >= 0;
}

} // namespace

class TestLineServerCluster : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    test::Postgres m_database;
    test::Kamailio m_proxy;
    QString m_uri, m_scenario;

    struct Server {
        QString name;
        int maxCalls = 0;
        quint16 port = 0;
        qint16 rings = 1;
        std::unique_ptr<test::ServerProcess> process;
    };
    Server m_alpha{QStringLiteral("alpha"), 8, 0, 1, nullptr};
    Server m_beta{QStringLiteral("beta"), 2, 0, 1, nullptr};
    Server m_gamma{QStringLiteral("gamma"), 8, 0, 15, nullptr};

    QString store() const { return m_dir.filePath("store"); }
    QString confOf(const Server& s) const { return m_dir.filePath(s.name + "/orvane.conf"); }

    bool startServer(Server& s)
    {
        const QString folder = m_dir.filePath(s.name);
        if (!QDir().mkpath(folder + "/home"))
            return false;
        s.port = test::freeUdpPort();
        QString lines = QStringLiteral("max_calls = %1\n\n").arg(s.maxCalls);
        for (int k = 1; k <= kLines; ++k)
            lines += QStringLiteral("[Line %1]\nuri = sip:call%1@127.0.0.1\nport = %2\n"
                                    "address = 127.0.0.1\nring_interval_ms = 300\n\n")
                         .arg(k)
                         .arg(s.port);
        answering::AnsweringFile answering;
        answering.programFolder = folder + "/home";
        for (int k = 1; k <= kLines; ++k) {
            answering::StandingLine line;
            line.line = QStringLiteral("Line %1").arg(k);
            line.rings = s.rings;
            line.playFile = m_dir.filePath("greeting.wav");
            line.recordTime = kRecordSeconds;
            answering.lines.append(line);
        }
        if (!writeText(folder + "/lines.conf", lines) ||
            !writeText(confOf(s), QStringLiteral("database = %1\nstorage = %2\nserver_name = %3\n")
                                      .arg(m_uri, store(), s.name)) ||
            !writeText(folder + "/answering.conf",
                       QString::fromUtf8(answering::formatAnsweringFile(answering))))
            return false;
        QProcessEnvironment env;
        env.insert("ORVANE_LINES_CONF", folder + "/lines.conf");
        env.insert("ORVANE_ANSWERING_CONF", folder + "/answering.conf");
        env.insert("ORVANE_CONF", confOf(s));
        s.process =
            std::make_unique<test::ServerProcess>(QStringLiteral("org.orvane.Tolvex.Cluster%1%2")
                                                      .arg(s.name)
                                                      .arg(QCoreApplication::applicationPid()),
                                                  env);
        return s.process->onTheBus() &&
               QTest::qWaitFor([&] { return waitingLines(s) == kLines; }, kCallMs);
    }

    // The server's lines now showing a status that starts with `status`; -1 when it does not
    // answer.
    int linesShowing(const Server& s, const QString& status)
    {
        const QDBusMessage reply = QDBusConnection::sessionBus().call(
            QDBusMessage::createMethodCall(s.process->service(), tolvex::kFactoryPath,
                                           tolvex::kFactoryInterface, "LineStatus"),
            QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return -1;
        int showing = 0;
        for (const QVariantMap& line : qdbus_cast<QList<QVariantMap>>(reply.arguments().first()))
            showing += line.value("status").toString().startsWith(status, Qt::CaseInsensitive);
        return showing;
    }
    int waitingLines(const Server& s) { return linesShowing(s, QStringLiteral("Waiting for")); }

    // Calls to the users given, all at once through the proxy; the outcome of each.
    QList<test::SipCallerRun> callTogether(const QList<int>& lines,
                                           const std::function<void()>& meanwhile = {})
    {
        std::vector<std::unique_ptr<QProcess>> callers;
        for (int k : lines)
            callers.push_back(test::startSipCaller(m_scenario, QStringLiteral("call%1").arg(k),
                                                   m_proxy.port(), kCallMs));
        if (meanwhile)
            meanwhile();
        QList<test::SipCallerRun> runs;
        for (auto& caller : callers)
            runs.append(test::finishSipCaller(*caller, kCallMs));
        return runs;
    }

    // Whether every caller's call went as it should; a failure's own message is cut short,
    // so what the caller and the proxy printed comes whole before it.
    bool allCompleted(const QList<test::SipCallerRun>& runs)
    {
        for (const test::SipCallerRun& run : runs) {
            if (run.exitCode != 0) {
                qWarning().noquote() << "a caller failed:\n"
                                     << run.output << "\nthe proxy's log:\n"
                                     << m_proxy.log();
                return false;
            }
        }
        return true;
    }

    // Every row of the shared log, as alpha's side reads it (all are today's).
    QList<recmessage::CallRow> rows()
    {
        qputenv("ORVANE_CONF", QFile::encodeName(confOf(m_alpha)));
        Database db;
        const Status opened = db.OpenDatabase(m_dir.filePath("alpha/home"));
        const auto day = opened ? recmessage::listDay(db, QDate::currentDate())
                                : Result<QList<recmessage::CallRow>>(opened);
        qunsetenv("ORVANE_CONF");
        return day ? day.value() : QList<recmessage::CallRow>();
    }
    static int takenBy(const QList<recmessage::CallRow>& rows, const QString& server)
    {
        return int(std::count_if(rows.begin(), rows.end(),
                                 [&](const auto& r) { return r.server == server; }));
    }

    // Each row's recording is in the shared store; how many hold exactly the record time.
    int wholeRecordings(const QList<recmessage::CallRow>& rows)
    {
        int whole = 0;
        for (const recmessage::CallRow& row : rows) {
            const QFileInfo file(QDir(store()).filePath("Rec-Files/" + row.incomingCallFile));
            if (!file.exists())
                return -1;
            whole += file.size() == kRecordingBytes;
        }
        return whole;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const QString& why : {test::Postgres::unavailable(), test::Kamailio::unavailable()})
            if (!why.isEmpty())
                QSKIP(qPrintable(why));
        QString problem;
        QVERIFY2(m_database.start(&problem), qPrintable(problem));
        m_uri = m_database.uri("cluster", &problem);
        QVERIFY2(!m_uri.isEmpty(), qPrintable(problem));
        QVERIFY(
            test::writePcmWav(m_dir.filePath("greeting.wav"), test::tone(600, 0.3, 8000), 8000));
        const QString pcap = m_dir.filePath("caller.pcap");
        QVERIFY(test::writeRtpPcap(pcap, test::tone(1000, 4.0, 8000)));
        test::SipCallerScenario scenario;
        scenario.pcap = pcap;
        scenario.routed = true;
        m_scenario = m_dir.filePath("call.xml");
        QVERIFY(test::writeScenario(m_scenario, scenario));

        QVERIFY2(startServer(m_alpha), "alpha answers on every line");
        QVERIFY2(startServer(m_beta), "beta answers on every line");
        QVERIFY2(m_proxy.startDispatcher({QStringLiteral("127.0.0.1:%1").arg(m_alpha.port),
                                          QStringLiteral("127.0.0.1:%1").arg(m_beta.port)},
                                         &problem),
                 qPrintable(problem));
    }

    void callsLandOnBothServersAndOneLogListsThemAll()
    {
        const QList<test::SipCallerRun> runs = callTogether({1, 2, 3, 4});
        QVERIFY(allCompleted(runs));
        QList<recmessage::CallRow> logged;
        QVERIFY(QTest::qWaitFor([&] { return (logged = rows()).size() == 4; }, kCallMs));
        // In turn: two each.
        QCOMPARE(takenBy(logged, "alpha"), 2);
        QCOMPARE(takenBy(logged, "beta"), 2);
        QCOMPARE(wholeRecordings(logged), 4);

        // orvanectl on a third machine (its own program folder and mount of the store)
        // lists every call of the shared log, and finds each recording.
        QTemporaryDir desk;
        QVERIFY(writeText(desk.filePath("orvane.conf"),
                          QStringLiteral("database = %1\nstorage = %2\n").arg(m_uri, store())));
        QProcess ctl;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVANE_CONF", desk.filePath("orvane.conf"));
        env.insert("ORVANE_HOME", desk.path());
        ctl.setProcessEnvironment(env);
        ctl.start(qEnvironmentVariable("ORVANE_ORVANECTL"), {"calls", "--json"});
        QVERIFY(ctl.waitForFinished(kCallMs));
        const QJsonArray listed = QJsonDocument::fromJson(ctl.readAllStandardOutput()).array();
        QCOMPARE(listed.size(), 4);
        QSet<QString> servers;
        for (const QJsonValue& call : listed) {
            servers.insert(call["server"].toString());
            QVERIFY(call["path"].toString().startsWith(store() + "/Rec-Files/"));
            QCOMPARE(call["seconds"].toDouble(), double(kRecordSeconds));
        }
        QCOMPARE(servers, QSet<QString>({"alpha", "beta"}));
    }

    void aFullServerPassesItsCallToTheNext()
    {
        // beta carries two calls at most: the third one sent to it is answered 503, and the
        // proxy takes it to alpha.
        const int before = int(rows().size());
        const int passedOn = m_proxy.count("on to");
        const QList<test::SipCallerRun> runs = callTogether({1, 2, 3, 4, 5, 6});
        QVERIFY(allCompleted(runs));
        QList<recmessage::CallRow> logged;
        QVERIFY(QTest::qWaitFor([&] { return (logged = rows()).size() == before + 6; }, kCallMs));
        QCOMPARE(takenBy(logged.mid(before), "beta"), 2);
        QCOMPARE(takenBy(logged.mid(before), "alpha"), 4);
        QVERIFY2(m_proxy.count("on to") > passedOn, qPrintable(m_proxy.log()));
        QCOMPARE(wholeRecordings(logged), before + 6);
    }

    void aServerStoppedMidRunLosesNothing()
    {
        const int before = int(rows().size());
        const int betaBefore = takenBy(rows(), "beta");
        // Three calls; once beta records one of them it is stopped (as a machine taken
        // down), and three more calls follow.
        QList<test::SipCallerRun> runs = callTogether({1, 2, 3}, [&] {
            QVERIFY(QTest::qWaitFor([&] { return waitingLines(m_beta) < kLines; }, kCallMs));
            QVERIFY(m_beta.process->signal(SIGTERM));
            QVERIFY(m_beta.process->waitForEnd());
        });
        runs += callTogether({4, 5, 6});
        // Even a call the stopping server had answered a moment before (its ACK not yet in)
        // goes on until the server hangs up.
        QVERIFY(allCompleted(runs));
        QList<recmessage::CallRow> logged;
        (void)QTest::qWaitFor([&] { return (logged = rows()).size() >= before + 6; }, 2 * kCallMs);
        if (logged.size() != before + 6)
            qWarning().noquote() << "the proxy's log:\n" << m_proxy.log();
        QVERIFY2(logged.size() == before + 6,
                 qPrintable(QStringLiteral("%1 rows for 6 calls: alpha %2, beta %3")
                                .arg(logged.size() - before)
                                .arg(takenBy(logged.mid(before), "alpha"))
                                .arg(takenBy(logged.mid(before), "beta"))));
        // Beta's calls in progress were cut short, each kept and listed with what it recorded
        // (one that still rang went back to the proxy and to alpha); every later call went to
        // alpha.
        const int cut = takenBy(logged, "beta") - betaBefore;
        QVERIFY2(cut >= 0 && cut <= 2, qPrintable(QString::number(cut)));
        QCOMPARE(takenBy(logged.mid(before), "alpha"), 6 - cut);
        QVERIFY(wholeRecordings(logged) >= before + 6 - cut);
    }

    void aCallRingingAsItsServerEndsIsHandedBackForAnother()
    {
        // A server taken down while a line rings: the caller's proxy gets 503 with
        // Retry-After, on which it takes the call to another server (a 480 would end it).
        QVERIFY(startServer(m_gamma));
        test::SipCallerScenario refused;
        refused.expectFinal = 503;
        const QString scenario = m_dir.filePath("refused.xml");
        QVERIFY(test::writeScenario(scenario, refused));
        const std::unique_ptr<QProcess> caller =
            test::startSipCaller(scenario, QStringLiteral("call1"), m_gamma.port, kCallMs);
        QVERIFY(QTest::qWaitFor(
            [&] { return linesShowing(m_gamma, QStringLiteral("Incoming Call")) == 1; }, kCallMs));
        QVERIFY(m_gamma.process->signal(SIGTERM));
        const test::SipCallerRun run = test::finishSipCaller(*caller, kCallMs);
        QVERIFY2(run.exitCode == 0, qPrintable(run.output));
        QVERIFY(m_gamma.process->waitForEnd());
    }

    void rowsWaitWhileTheDatabaseIsAwayAndArriveWhenItIsBack()
    {
        const int before = int(rows().size());
        m_database.stop();
        const QList<test::SipCallerRun> runs = callTogether({1});
        QVERIFY(allCompleted(runs));
        // The recording is kept meanwhile: one file more in the store than rows.
        QVERIFY(QTest::qWaitFor(
            [&] {
                return QDir(store() + "/Rec-Files").entryList({"*.wav"}, QDir::Files).size() ==
                       before + 1;
            },
            kCallMs));
        // The line says so meanwhile.
        QVERIFY(QTest::qWaitFor(
            [&] { return linesShowing(m_alpha, QStringLiteral("Call Not Logged")) == 1; },
            kCallMs));
        QString problem;
        QVERIFY2(m_database.start(&problem), qPrintable(problem));
        // Tried again within the keeper's retry interval.
        QList<recmessage::CallRow> logged;
        QVERIFY(QTest::qWaitFor([&] { return (logged = rows()).size() == before + 1; }, 40000));
        QCOMPARE(logged.last().server, QStringLiteral("alpha"));
        QCOMPARE(wholeRecordings(logged.mid(before)), 1);
        QVERIFY(QTest::qWaitFor(
            [&] { return linesShowing(m_alpha, QStringLiteral("Call Not Logged")) == 0; },
            kCallMs));
    }
};

QTEST_MAIN(TestLineServerCluster)
#include "TestLineServerCluster.moc"
