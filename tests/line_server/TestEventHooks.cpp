// The user's hooks: what a hook is given, how its end is logged, and that nothing it does
// (failing, hanging, talking without end, not being there) reaches the call it is run for.

#include "Signals.h"
#include "TestServer.h"
#include "database/Database.h"
#include "database/RecMessageTable.h"
#include "line_server/bus/EventHooks.h"
#include "line_server/client/LineHandle.h"
#include "platform/telephony/sim/Simulator.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace orvane;

namespace {

constexpr int kWaitMs = 30000;

// What the line server logs, kept for the test to read.
struct LogLine {
    QtMsgType type;
    QString text;
};
QMutex logMutex;
QList<LogLine> logLines;
QtMessageHandler previousHandler = nullptr;

void keepLog(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (context.category && QLatin1String(context.category) == QLatin1String("orvane.line")) {
        QMutexLocker lock(&logMutex);
        logLines.append({type, text});
    }
    previousHandler(type, context, text);
}

QList<LogLine> logged(QtMsgType type, const QString& containing)
{
    QMutexLocker lock(&logMutex);
    QList<LogLine> found;
    for (const LogLine& line : logLines)
        if (line.type == type && line.text.contains(containing))
            found << line;
    return found;
}

// What was logged above debug.
int loggedCount()
{
    QMutexLocker lock(&logMutex);
    return int(std::count_if(logLines.begin(), logLines.end(),
                             [](const LogLine& line) { return line.type != QtDebugMsg; }));
}

bool writeHook(const QString& path, const QByteArray& body, bool executable = true)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write("#!/bin/sh\n" + body);
    file.close();
    QFileDevice::Permissions permissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    if (executable)
        permissions |= QFileDevice::ExeOwner;
    return file.setPermissions(permissions);
}

// `KEY=value` lines of `env`, as a map.
QHash<QString, QString> readEnvironment(const QString& path)
{
    QHash<QString, QString> values;
    const QStringList lines = QString::fromUtf8(test::readFile(path)).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            values.insert(line.left(equals), line.mid(equals + 1));
    }
    return values;
}

// A process is gone once it no longer exists or is a zombie nobody has reaped yet.
bool processGone(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    const qsizetype close = text.lastIndexOf(')');
    return close > 0 && text.mid(close + 2, 1) == "Z";
}

qint64 pidIn(const QString& path)
{
    return test::readFile(path).trimmed().toLongLong();
}

const QString kCallerName = QStringLiteral("O'Brien \"Bob\" $(touch pwned); *");

LoggedEvent loggedEvent(LoggedEvent::Kind kind, const QString& path,
                        const QString& caller = "5550123")
{
    LoggedEvent e;
    e.kind = kind;
    e.key = QFileInfo(path).fileName();
    e.path = path;
    e.time = QDateTime(QDate(2026, 12, 7), QTime(11, 57, 58));
    e.line = QStringLiteral("Simulated Line 1");
    e.callerNumber = caller;
    e.callerName = kCallerName;
    e.seconds = 5;
    e.pages = 2;
    return e;
}

} // namespace

class TestEventHooks : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_hooksDir; // where the hooks are
    std::unique_ptr<QTemporaryDir> m_out;      // what the hooks write
    std::unique_ptr<EventHooks> m_hooks;

    QString hook(const char* name) const { return m_hooksDir->filePath(QLatin1String(name)); }
    QString out(const QString& name) const { return m_out->filePath(name); }
    QString recording() const { return m_out->filePath(QStringLiteral("Rec Files/a call.wav")); }

private Q_SLOTS:
    void initTestCase()
    {
        previousHandler = qInstallMessageHandler(keepLog);
        qputenv("ORVANE_TEST_PASSTHROUGH", "kept");
        // Strays of the server's own environment, never to pass for the event's.
        qputenv("ORVANE_PAGES", "stray");
        qputenv("ORVANE_SECONDS", "stray");
    }

    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }

    void init()
    {
        // A folder whose name a shell would take apart, and would run a part of.
        m_hooksDir = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                     "/orvane hooks; $(touch pwned) XXXXXX");
        m_out = std::make_unique<QTemporaryDir>();
        QVERIFY(m_hooksDir->isValid() && m_out->isValid());
        qputenv("ORVANE_TEST_OUT", m_out->path().toUtf8());
        m_hooks = std::make_unique<EventHooks>();
        m_hooks->setFolder(m_hooksDir->path());
        QMutexLocker lock(&logMutex);
        logLines.clear();
    }

    void cleanup()
    {
        m_hooks.reset();
        m_hooksDir.reset();
        m_out.reset();
    }

    void everyVariableArrivesAsItIs_data()
    {
        QTest::addColumn<bool>("fax");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("shown");
        QTest::newRow("message") << false << 5 << "5";
        QTest::newRow("message of unknown length") << false << -1 << "";
        QTest::newRow("fax") << true << 3 << "3";
        QTest::newRow("fax of unknown pages") << true << -1 << "";
    }

    void everyVariableArrivesAsItIs()
    {
        QFETCH(bool, fax);
        QFETCH(int, count);
        QFETCH(QString, shown);
        // A stdin left open would hang `read` until the timeout.
        m_hooks->setTimeout(10000);
        const QByteArray body = "env > \"$ORVANE_TEST_OUT/env\"\n"
                                "if read x; then echo open; else echo closed; fi"
                                " > \"$ORVANE_TEST_OUT/stdin\"\n"
                                "pwd -P > \"$ORVANE_TEST_OUT/pwd\"\n";
        QVERIFY(writeHook(hook(fax ? "on-fax" : "on-message"), body));
        LoggedEvent e =
            loggedEvent(fax ? LoggedEvent::Kind::Fax : LoggedEvent::Kind::Message, recording());
        e.seconds = fax ? 7 : count;
        e.pages = fax ? count : 7;

        QSignalSpy ended(m_hooks.get(), &EventHooks::ended);
        m_hooks->run(e);
        QVERIFY(ended.wait(kWaitMs));
        QCOMPARE(ended.first().at(2).value<EventHooks::End>(), EventHooks::Exited);
        QCOMPARE(ended.first().at(3).toInt(), 0);

        const QHash<QString, QString> env = readEnvironment(out("env"));
        QCOMPARE(env.value("ORVANE_EVENT"), fax ? QString("fax") : QString("message"));
        QCOMPARE(env.value("ORVANE_LINE"), QString("Simulated Line 1"));
        QCOMPARE(env.value("ORVANE_CALLER"), QString("5550123"));
        QCOMPARE(env.value("ORVANE_CALLER_NAME"), kCallerName);
        QCOMPARE(env.value("ORVANE_FILE"), recording());
        const QString countName = fax ? "ORVANE_PAGES" : "ORVANE_SECONDS";
        const QString other = fax ? "ORVANE_SECONDS" : "ORVANE_PAGES";
        QVERIFY(env.contains(countName));
        QCOMPARE(env.value(countName), shown);
        QVERIFY2(!env.contains(other), qPrintable(env.value(other)));
        QCOMPARE(env.value("ORVANE_TEST_PASSTHROUGH"), QString("kept"));

        // Local time with its offset: the same instant, the same clock time.
        const QString time = env.value("ORVANE_TIME");
        QVERIFY2(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$")
                     .match(time)
                     .hasMatch(),
                 qPrintable(time));
        QCOMPARE(QDateTime::fromString(time, Qt::ISODate).toMSecsSinceEpoch(),
                 e.time.toMSecsSinceEpoch());
        QVERIFY(time.startsWith(e.time.toLocalTime().toString("yyyy-MM-dd'T'HH:mm:ss")));

        QCOMPARE(test::readFile(out("stdin")).trimmed(), QByteArray("closed"));
        QCOMPARE(QString::fromUtf8(test::readFile(out("pwd")).trimmed()),
                 QDir(m_hooksDir->path()).canonicalPath());
        // No shell ever read the folder's name or the caller's.
        QVERIFY(!QFile::exists(m_hooksDir->filePath("pwned")));
        QVERIFY(!QFile::exists(QDir::current().filePath("pwned")));
        QCOMPARE(logged(QtInfoMsg, "ended with exit code 0").size(), 1);
    }

    void aFailingHookIsLoggedAndTouchesNothingElse()
    {
        QVERIFY(QDir().mkpath(QFileInfo(recording()).path()));
        QFile file(recording());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("the caller's words");
        file.close();
        QVERIFY(
            writeHook(hook("on-message"), "echo 'no mail server'\necho 'to stderr' >&2\nexit 3\n"));

        QSignalSpy ended(m_hooks.get(), &EventHooks::ended);
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording()));
        QVERIFY(ended.wait(kWaitMs));
        QCOMPARE(ended.first().at(2).value<EventHooks::End>(), EventHooks::Exited);
        QCOMPARE(ended.first().at(3).toInt(), 3);
        const QList<LogLine> warnings = logged(QtWarningMsg, "exit code 3");
        QCOMPARE(warnings.size(), 1);
        QVERIFY(warnings.first().text.contains("on-message"));
        QVERIFY(warnings.first().text.contains("a call.wav"));
        QVERIFY(warnings.first().text.contains("no mail server"));
        QVERIFY(warnings.first().text.contains("to stderr"));
        QCOMPARE(test::readFile(recording()), QByteArray("the caller's words"));
        QCOMPARE(m_hooks->running(), 0);

        // A failure disables nothing: the next event runs its hook again.
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording()));
        QVERIFY(ended.wait(kWaitMs));
        QCOMPARE(ended.size(), 2);
    }

    void aHookThatCannotStartIsLoggedAndTheNextRuns()
    {
        // No #! line: the kernel cannot run it, and no shell steps in.
        QFile file(hook("on-message"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("touch \"$ORVANE_TEST_OUT/ran\"\n");
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                    QFileDevice::ExeOwner));
        QSignalSpy ended(m_hooks.get(), &EventHooks::ended);
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording()));
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 1, kWaitMs);
        QCOMPARE(ended.first().at(2).value<EventHooks::End>(), EventHooks::FailedToStart);
        QCOMPARE(logged(QtWarningMsg, "could not be started").size(), 1);
        QVERIFY(!QFile::exists(out("ran")));
        QCOMPARE(m_hooks->running(), 0);

        QVERIFY(writeHook(hook("on-message"), "touch \"$ORVANE_TEST_OUT/ran\"\n"));
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording()));
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), 2, kWaitMs);
        QVERIFY(QFile::exists(out("ran")));
    }

    void aHangingHookAndWhatItStartedAreKilledAfterTheTimeout()
    {
        m_hooks->setTimeout(300);
        QVERIFY(writeHook(hook("on-fax"), "sleep 600 &\n"
                                          "echo $! > \"$ORVANE_TEST_OUT/child\"\n"
                                          "echo waiting\n"
                                          "wait\n"));
        QSignalSpy ended(m_hooks.get(), &EventHooks::ended);
        QElapsedTimer clock;
        clock.start();
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Fax, recording()));
        QVERIFY(ended.wait(kWaitMs));
        QVERIFY(clock.elapsed() >= 300 * 9 / 10); // a coarse timer may fire 5 % early
        QCOMPARE(ended.first().at(2).value<EventHooks::End>(), EventHooks::TimedOut);
        QCOMPARE(ended.first().at(4).toByteArray().trimmed(), QByteArray("waiting"));
        QCOMPARE(logged(QtWarningMsg, "killed after 0.3 s").size(), 1);
        const qint64 child = pidIn(out("child"));
        QVERIFY(child > 0);
        QTRY_VERIFY_WITH_TIMEOUT(processGone(child), kWaitMs);
        QCOMPARE(m_hooks->running(), 0);
    }

    void aMissingHookDoesNothing()
    {
        QSignalSpy ended(m_hooks.get(), &EventHooks::ended);
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording()));
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Fax, recording()));
        QCOMPARE(m_hooks->running(), 0);
        QCOMPARE(m_hooks->waiting(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(ended.size(), 0);
        QCOMPARE(loggedCount(), 0);
    }

    void aHookThatIsNotExecutableIsWarnedOnce()
    {
        const QString path = hook("on-message");
        QVERIFY(writeHook(path, "touch \"$ORVANE_TEST_OUT/ran\"\n", false));
        QSignalSpy ended(m_hooks.get(), &EventHooks::ended);
        for (int i = 0; i < 3; ++i)
            m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording()));
        QCOMPARE(m_hooks->running(), 0);
        QCOMPARE(logged(QtWarningMsg, "not an executable").size(), 1);
        QVERIFY(logged(QtWarningMsg, "not an executable").first().text.contains(path));

        // Made executable it runs; made not executable again it is warned of again.
        QVERIFY(writeHook(path, "touch \"$ORVANE_TEST_OUT/ran\"\n", true));
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording()));
        QVERIFY(ended.wait(kWaitMs));
        QVERIFY(QFile::exists(out("ran")));
        QVERIFY(writeHook(path, "exit 0\n", false));
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording()));
        QCOMPARE(logged(QtWarningMsg, "not an executable").size(), 2);
    }

    void aChattyHookKeepsOnlyTheFirstOutput()
    {
        QVERIFY(writeHook(hook("on-message"), "head -c 1000000 /dev/zero | tr '\\0' x\n"));
        QSignalSpy ended(m_hooks.get(), &EventHooks::ended);
        m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording()));
        QVERIFY(ended.wait(kWaitMs));
        QCOMPARE(ended.first().at(3).toInt(), 0);
        QCOMPARE(ended.first().at(4).toByteArray(), QByteArray(EventHooks::kOutputLimit, 'x'));
        QCOMPARE(
            logged(QtInfoMsg, QString::number(1000000 - EventHooks::kOutputLimit) + " more bytes")
                .size(),
            1);
    }

    void eventsBeyondTheRunningLimitWaitTheirTurn()
    {
        QVERIFY(writeHook(hook("on-message"),
                          "touch \"$ORVANE_TEST_OUT/started-$ORVANE_CALLER\"\n"
                          "while [ ! -e \"$ORVANE_TEST_OUT/go\" ]; do sleep 0.05; done\n"));
        QSignalSpy ended(m_hooks.get(), &EventHooks::ended);
        const int events = EventHooks::kMaxRunning + 6;
        for (int i = 0; i < events; ++i)
            m_hooks->run(loggedEvent(LoggedEvent::Kind::Message, recording(), QString::number(i)));
        QCOMPARE(m_hooks->running(), EventHooks::kMaxRunning);
        QCOMPARE(m_hooks->waiting(), events - EventHooks::kMaxRunning);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(m_out->path()).entryList({"started-*"}).size(),
                                  EventHooks::kMaxRunning, kWaitMs);

        QFile go(out("go"));
        QVERIFY(go.open(QIODevice::WriteOnly));
        go.close();
        QTRY_COMPARE_WITH_TIMEOUT(ended.size(), events, kWaitMs);
        for (int i = 0; i < events; ++i)
            QVERIFY2(QFile::exists(out("started-" + QString::number(i))),
                     qPrintable(QString::number(i)));
        for (const QList<QVariant>& end : ended)
            QCOMPARE(end.at(3).toInt(), 0);
        QCOMPARE(m_hooks->running(), 0);
        QCOMPARE(m_hooks->waiting(), 0);
    }

    void stoppingKillsRunningHooksAndNamesTheEventsNotRun()
    {
        QVERIFY(writeHook(hook("on-fax"), "sleep 600 &\n"
                                          "echo $! > \"$ORVANE_TEST_OUT/child-$ORVANE_CALLER\"\n"
                                          "wait\n"));
        QSignalSpy ended(m_hooks.get(), &EventHooks::ended);
        const int events = EventHooks::kMaxRunning + EventHooks::kMaxWaiting + 1;
        for (int i = 0; i < events; ++i)
            m_hooks->run(loggedEvent(LoggedEvent::Kind::Fax, recording(), QString::number(i)));
        QCOMPARE(m_hooks->running(), EventHooks::kMaxRunning);
        QCOMPARE(m_hooks->waiting(), EventHooks::kMaxWaiting);
        // The one too many is not lost without a word.
        QCOMPARE(logged(QtWarningMsg, "hooks already wait").size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(QDir(m_out->path()).entryList({"child-*"}).size(),
                                  EventHooks::kMaxRunning, kWaitMs);
        // Each has written the pid of what it started.
        QList<qint64> children;
        QTRY_VERIFY_WITH_TIMEOUT(
            [&] {
                children.clear();
                for (const QString& name : QDir(m_out->path()).entryList({"child-*"}))
                    if (const qint64 pid = pidIn(out(name)); pid > 0)
                        children << pid;
                return children.size() == EventHooks::kMaxRunning;
            }(),
            kWaitMs);

        QElapsedTimer clock;
        clock.start();
        m_hooks->stop(200);
        QVERIFY(clock.elapsed() >= 200);
        QVERIFY(clock.elapsed() < kWaitMs);
        QCOMPARE(ended.size(), EventHooks::kMaxRunning);
        for (const QList<QVariant>& end : ended)
            QCOMPARE(end.at(2).value<EventHooks::End>(), EventHooks::Stopped);
        QCOMPARE(logged(QtWarningMsg, "not run for").size(), EventHooks::kMaxWaiting + 1);
        QCOMPARE(m_hooks->running(), 0);
        QCOMPARE(m_hooks->waiting(), 0);
        for (qint64 child : children)
            QTRY_VERIFY_WITH_TIMEOUT(processGone(child), kWaitMs);
    }

    // A simulated call through a line server: the call is logged and kept whatever its hook
    // does, and the hook learns of it.
    void aCallIsKeptWhateverItsHookDoes_data()
    {
        QTest::addColumn<QByteArray>("then");
        QTest::newRow("the hook fails") << QByteArray("exit 3\n");
        QTest::newRow("the hook hangs") << QByteArray("sleep 600 &\n"
                                                      "echo $! > \"$ORVANE_TEST_OUT/child\"\n"
                                                      "wait\n");
    }

    void aCallIsKeptWhateverItsHookDoes()
    {
        QFETCH(QByteArray, then);
        qputenv("ORVANE_SIM_SPEED", "4");
        qputenv("ORVANE_HOOKS_DIR", m_hooksDir->path().toUtf8());
        QVERIFY(writeHook(hook("on-message"), "env > \"$ORVANE_TEST_OUT/env.part\"\n"
                                              "mv \"$ORVANE_TEST_OUT/env.part\" "
                                              "\"$ORVANE_TEST_OUT/env\"\n" +
                                                  then));
        QTemporaryDir home;
        const QString greeting = m_out->filePath("greeting.wav");
        QVERIFY(test::writePcmWav(greeting, test::tone(600, 0.5, 8000), 8000));
        const QString callerAudio = m_out->filePath("caller.wav");
        QVERIFY(test::writePcmWav(callerAudio, test::tone(1000, 3.0, 8000), 8000));

        auto server = std::make_unique<test::TestServer>();
        QVERIFY(server->isRunning());
        {
            LineHandle line = server->newLine();
            line.InitTAPI("Simulated Line 1", server->gridExport(), 1, home.path());
            line.setRings(1);
            line.setPlayType("FILE");
            line.setPlayFile(greeting);
            line.setRecordTime(2);
            QCOMPARE(line.getMessage().value(), QString("NOERROR"));

            sim::CallRequest call;
            call.line = "Simulated Line 1";
            call.callerNumber = "5550123";
            call.rings = 3;
            call.ringIntervalMs = 400;
            call.callerAudioPath = callerAudio;
            QVERIFY(sim::Simulator::instance().placeCall(call).isOk());

            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out("env")), kWaitMs);
            const QHash<QString, QString> env = readEnvironment(out("env"));
            QCOMPARE(env.value("ORVANE_EVENT"), QString("message"));
            QCOMPARE(env.value("ORVANE_CALLER"), QString("5550123"));
            QCOMPARE(env.value("ORVANE_LINE"), QString("Simulated Line 1"));
            QCOMPARE(env.value("ORVANE_SECONDS"), QString("2"));

            // The row and the recording are there, whole, and the line waits for the next
            // call, while the hook fails or still runs.
            Database db;
            QVERIFY(db.OpenDatabase(home.path()));
            const Result<QList<recmessage::CallRow>> rows =
                recmessage::listDay(db, QDate::currentDate());
            QVERIFY(rows.isOk());
            QCOMPARE(rows->size(), 1);
            const QString file = rows->first().incomingCallFile;
            QCOMPARE(env.value("ORVANE_FILE"), home.filePath("Rec-Files/" + file));
            QCOMPARE(test::readFile(env.value("ORVANE_FILE")).size(), 44 + 2 * 8000);
            QCOMPARE(rows->first().details.callerNumber, QString("5550123"));
            QTRY_COMPARE_WITH_TIMEOUT(server->grid().cell(1, 2), QString("Waiting for Call .... "),
                                      kWaitMs);
            db.CloseDatabase();
        }
        const bool hangs = then.contains("sleep");
        if (!hangs)
            QTRY_VERIFY_WITH_TIMEOUT(!logged(QtWarningMsg, "exit code 3").isEmpty(), kWaitMs);
        if (hangs)
            QTRY_VERIFY_WITH_TIMEOUT(pidIn(out("child")) > 0, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(server->lineCount(), 0, kWaitMs);
        server.reset();
        // The server's end took the hanging hook, and what it started, with it.
        if (hangs) {
            QCOMPARE(logged(QtWarningMsg, "killed: the line server ends").size(), 1);
            QTRY_VERIFY_WITH_TIMEOUT(processGone(pidIn(out("child"))), kWaitMs);
        }
        qunsetenv("ORVANE_HOOKS_DIR");
    }
};

QTEST_GUILESS_MAIN(TestEventHooks)
#include "TestEventHooks.moc"
