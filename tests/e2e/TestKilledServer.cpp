// A line server killed between a recording's file and its row. The program folder's
// database is held locked (as another program's long write would), so the line keeps the
// finished recording and cannot list it; then the server is killed. Once the database is
// free, the next server that binds a line on the folder lists the recording, at the time
// it began.

#include "RecordingGrid.h"
#include "ServerProcess.h"
#include "Signals.h"

#include "database/Database.h"
#include "database/RecMessageTable.h"
#include "line_server/client/LineHandle.h"
#include "line_server/client/StatusGridExport.h"
#include "line_server/client/TolvexNames.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace orvane;
using test::ServerProcess;

namespace {

const QString kLine = QStringLiteral("Simulated Line 1");
constexpr int kWaitMs = 60000;

// The rows of the folder's call log, whatever their day.
QList<recmessage::CallRow> loggedCalls(const QString& folder)
{
    Database db;
    if (!db.OpenDatabase(folder))
        return {};
    const Result<QList<DbRow>> rows =
        db.query(QStringLiteral("SELECT INCOMING_CALL, INCOMING_CALL_FILE FROM rec_message"));
    QList<recmessage::CallRow> calls;
    if (rows)
        for (const DbRow& row : rows.value())
            calls.append({QDateTime::fromString(row.value(0).toString(), Qt::ISODate),
                          row.value(1).toString(),
                          {},
                          true,
                          {}});
    return calls;
}

} // namespace

class TestKilledServer : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    test::RecordingGrid m_grid;
    std::unique_ptr<StatusGridExport> m_export;

    // A line of the server on the program folder, answering at the first ring with a short
    // greeting and recording a second.
    LineHandle bind(const ServerProcess& server, const QString& home)
    {
        TolvexClient client(QDBusConnection::sessionBus(), server.service());
        Result<LineHandle> line = client.createLine();
        if (!line)
            return {};
        line->InitTAPI(kLine, *m_export, 1, home);
        line->setRings(1);
        line->setPlayType(QStringLiteral("FILE"));
        line->setPlayFile(m_dir.filePath(QStringLiteral("greeting.wav")));
        line->setRecordTime(1);
        return line.value();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("ORVANE_SIM_SPEED", "1"); // the recording's length is its line time
        QVERIFY(test::writePcmWav(m_dir.filePath(QStringLiteral("greeting.wav")),
                                  test::tone(600, 0.3, 8000), 8000));
        m_export = std::make_unique<StatusGridExport>(m_grid, QDBusConnection::sessionBus());
        QVERIFY(m_export->publish());
    }

    void aRecordingWhoseRowWasNeverWrittenIsListedByTheNextServer()
    {
        const QString home = m_dir.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(home));
        {
            Database made; // with its tables, as a first run leaves it
            QVERIFY(made.OpenDatabase(home));
        }
        const QString stem =
            QStringLiteral("org.orvane.Tolvex.Killed%1x").arg(QCoreApplication::applicationPid());

        auto first = std::make_unique<ServerProcess>(stem + QStringLiteral("1"));
        QVERIFY(first->onTheBus());
        LineHandle line = bind(*first, home);
        QVERIFY(!line.isNull());
        QCOMPARE(line.getMessage().value(), QStringLiteral("NOERROR"));

        // Another connection holds the database: nothing can be written into it.
        {
            QSqlDatabase holder = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "holder");
            holder.setDatabaseName(Database::filePath(home));
            QVERIFY2(holder.open(), qPrintable(holder.lastError().text()));
            QSqlQuery begin(holder);
            QVERIFY2(begin.exec(QStringLiteral("BEGIN EXCLUSIVE")),
                     qPrintable(begin.lastError().text()));
        }

        const QDateTime placed = QDateTime::currentDateTime();
        QDBusMessage call = QDBusMessage::createMethodCall(first->service(), tolvex::kSimulatorPath,
                                                           tolvex::kSimulatorInterface,
                                                           QStringLiteral("PlaceCall"));
        call.setArguments(
            {kLine, QStringLiteral("5550123"), 2, 500, QString(), true, QString(), -1});
        const QDBusMessage placedReply = QDBusConnection::sessionBus().call(call);
        QVERIFY2(placedReply.type() != QDBusMessage::ErrorMessage,
                 qPrintable(placedReply.errorMessage()));
        // The recording is kept, its row is not: the line says so.
        QTRY_COMPARE_WITH_TIMEOUT(m_grid.cell(1, 2), QStringLiteral("Call Not Logged ...."),
                                  kWaitMs);
        const QDir recordings(QDir(home).filePath(QStringLiteral("Rec-Files")));
        const QStringList files = recordings.entryList({QStringLiteral("*.wav")}, QDir::Files);
        QCOMPARE(files.size(), 1);
        const QString file = files.first();
        const QFileInfo kept(recordings.filePath(file));
        QCOMPARE(kept.size(), 44 + 8000);

        // The server dies at once, before the database is free again.
        QVERIFY(::kill(pid_t(first->pid()), SIGKILL) == 0);
        QVERIFY(first->waitForEnd());
        QCOMPARE(first->exitStatus(), QProcess::CrashExit);
        line = LineHandle();
        {
            QSqlDatabase holder = QSqlDatabase::database("holder");
            QSqlQuery rollback(holder);
            QVERIFY(rollback.exec(QStringLiteral("ROLLBACK")));
            holder.close();
        }
        QSqlDatabase::removeDatabase("holder");
        QVERIFY(loggedCalls(home).isEmpty()); // the row was never written

        // The next server on the folder lists the recording, at the time it began.
        auto second = std::make_unique<ServerProcess>(stem + QStringLiteral("2"));
        QVERIFY(second->onTheBus());
        LineHandle again = bind(*second, home);
        QVERIFY(!again.isNull());
        QCOMPARE(again.getMessage().value(), QStringLiteral("NOERROR"));
        QTRY_COMPARE_WITH_TIMEOUT(loggedCalls(home).size(), 1, kWaitMs);
        const recmessage::CallRow row = loggedCalls(home).first();
        QCOMPARE(row.incomingCallFile, file);
        // Its time: after the call was placed (the row holds whole seconds), before the
        // recording was finished.
        const QDateTime placedSecond = placed.addMSecs(-placed.time().msec());
        QVERIFY2(row.incomingCall >= placedSecond && row.incomingCall <= kept.lastModified(),
                 qPrintable(QStringLiteral("%1 is not between %2 and %3")
                                .arg(row.incomingCall.toString(Qt::ISODateWithMs),
                                     placed.toString(Qt::ISODateWithMs),
                                     kept.lastModified().toString(Qt::ISODateWithMs))));
        QCOMPARE(QFileInfo(recordings.filePath(file)).size(), 44 + 8000);
    }
};

QTEST_GUILESS_MAIN(TestKilledServer)
#include "TestKilledServer.moc"
