// News of calls while the desktop runs: a new message is notified once, with its caller,
// by the desktop (or by the line server when no desktop is there); the notification's Play
// plays it and it is heard; an open list of the day refreshes and keeps the chosen row;
// the tray counts what is not yet heard; Delete on the list deletes the chosen row.

#include "DesktopTesting.h"
#include "NotificationServer.h"
#include "database/RecMessageTable.h"
#include "desktop/common/AnsweringSettings.h"
#include "desktop/main/SingleInstance.h"
#include "desktop/records/RecordingPlayer.h"
#include "desktop/records/frmRecordList.h"
#include "line_server/client/TolvexNames.h"
#include "platform/audio/PacedPlaybackSink.h"
#include "platform/notify/Notifications.h"

#include <QAction>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QPointer>
#include <QTemporaryDir>

using namespace orvane;
using test::chooseLines;
using test::simulator;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");

} // namespace

class TestNews : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<test::NotificationServer> m_notifications;
    std::unique_ptr<DesktopRun> m_run;
    std::unique_ptr<frmMain> m_window;
    std::unique_ptr<test::MessageRecorder> m_messages;
    std::unique_ptr<SingleInstance> m_desktopName;
    QString m_serverName;               // the line server's unique name on the bus
    QPointer<PacedPlaybackSink> m_sink; // where the recorded calls play

    MSFlexGrid* grid() { return m_window->statusGrid(); }
    frmRecordList* records() { return m_window->findChild<frmRecordList*>("frmRecordList"); }
    MSFlexGrid* recordsGrid() { return records()->findChild<MSFlexGrid*>("MSFlexGrid1"); }

    // A call from `number` on line 1, answered and recorded, until the line waits again.
    void call(const QString& number)
    {
        const QDBusMessage placed =
            simulator("PlaceCall", {kLine1, number, 1, 800, QString(), true, QString(), -1});
        QVERIFY2(placed.type() != QDBusMessage::ErrorMessage, qPrintable(placed.errorMessage()));
        QTRY_COMPARE_WITH_TIMEOUT(grid()->textMatrix(1, 2), QStringLiteral("Recording File .... "),
                                  15000);
        QTRY_COMPARE_WITH_TIMEOUT(grid()->textMatrix(1, 2),
                                  QStringLiteral("Waiting for Call .... "), 15000);
    }

    QString busName() const { return QDBusConnection::sessionBus().baseService(); }
    // The notes of this test's desktop and line server: ctest runs other tests on the same
    // session bus, and their programs notify here too.
    QList<test::NotificationServer::Note> notes() const
    {
        return m_notifications->notesFrom({busName(), m_serverName});
    }

private Q_SLOTS:
    void initTestCase()
    {
        // The actions of the line server's own notifications start "the desktop": here a
        // script that writes down how it was started.
        const QString desktop = m_home.filePath("desktop.sh");
        QFile script(desktop);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("ORVANE_DESKTOP", QFile::encodeName(desktop));
        qputenv("ORVANE_DESKTOP_SERVICE",
                "org.orvane.Orvane.News" + QByteArray::number(QCoreApplication::applicationPid()));

        m_notifications = std::make_unique<test::NotificationServer>();
        QVERIFY(m_notifications->start());
        m_messages = std::make_unique<test::MessageRecorder>();
        m_desktopName = std::make_unique<SingleInstance>(QDBusConnection::sessionBus(),
                                                         SingleInstance::serviceName());
        QVERIFY(m_desktopName->claim());
        m_window =
            test::startProgram(m_run, m_home.filePath("home"), "org.orvane.Tolvex.News", "8");
        QVERIFY(m_window);
        m_serverName =
            QDBusConnection::sessionBus().interface()->serviceOwner(tolvex::serviceName());
        QVERIFY(!m_serverName.isEmpty());
        setPlaybackSinkFactory([this] {
            auto sink = std::make_unique<PacedPlaybackSink>(20.0);
            m_sink = sink.get();
            return sink;
        });
        AnsweringSettings.Rings = 1;
        AnsweringSettings.RecordTime = 1;
        chooseLines({kLine1});
        m_window->findChild<QAction*>("mRStart")->trigger();
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
    }

    void cleanupTestCase()
    {
        setPlaybackSinkFactory({});
        if (m_window)
            m_window->stop(false);
        m_window.reset();
        m_run.reset();
    }

    void aNewMessageIsNotifiedOnceAndItsPlayActionPlaysIt()
    {
        // Another program on the session notifies as well, as the tests beside this one do.
        {
            Notifications other(
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, "other"));
            uint otherId = 0;
            other.notify(Notifications::messageNote(QStringLiteral("5550199"), QString(), kLine1, 1,
                                                    QStringLiteral("now")),
                         [&otherId](uint id) { otherId = id; });
            QTRY_VERIFY(otherId != 0);
        }
        QDBusConnection::disconnectFromBus("other");

        call(QStringLiteral("5550100"));
        QTRY_COMPARE(notes().size(), 1);
        const test::NotificationServer::Note note = notes().first();
        // From the desktop, which owns its name: the line server leaves it to it.
        QCOMPARE(note.sender, busName());
        QVERIFY2(note.summary.startsWith("New message from 5550100 on " + kLine1 + " ("),
                 qPrintable(note.summary));
        QCOMPARE(note.actions, (QStringList{"play", "Play", "show", "Show"}));
        QTRY_COMPARE(m_window->trayToolTip(), QStringLiteral("Orvane\n1 message not yet heard"));
        // The status grid's row of the line tells its last caller.
        QVERIFY2(grid()->item(0, 1)->toolTip().contains("Last message: 5550100"),
                 qPrintable(grid()->item(0, 1)->toolTip()));

        m_notifications->invoke(note.id, QStringLiteral("play"));
        QTRY_VERIFY(records() && records()->isVisible());
        QTRY_VERIFY(m_sink && m_sink->played().size() > 0);
        // The call's row is chosen, with its caller, line and length.
        QCOMPARE(recordsGrid()->row(), 1);
        QCOMPARE(recordsGrid()->textMatrix(0, 3), QStringLiteral("Caller"));
        QCOMPARE(recordsGrid()->textMatrix(1, 3), QStringLiteral("5550100"));
        QCOMPARE(recordsGrid()->textMatrix(1, 4), kLine1);
        QVERIFY(recordsGrid()->textMatrix(1, 5).startsWith("0:0"));
        QTRY_COMPARE(m_window->trayToolTip(), QStringLiteral("Orvane"));
        QCOMPARE(notes().size(), 1); // never twice
    }

    void anOpenListRefreshesWithANewCallAndKeepsTheChosenRow()
    {
        m_messages->shown.clear();
        QVERIFY(records() && records()->isVisible());
        test::clickRow(recordsGrid(), 1);
        const QString chosen = recordsGrid()->textMatrix(1, 2);
        call(QStringLiteral("5550101"));
        QTRY_COMPARE(recordsGrid()->rows(), 3);
        QCOMPARE(recordsGrid()->textMatrix(2, 3), QStringLiteral("5550101"));
        QCOMPARE(recordsGrid()->row(), 1);
        QCOMPARE(recordsGrid()->textMatrix(recordsGrid()->row(), 2), chosen);
        // Still chosen: Delete (the key) asks about it, and No keeps it.
        m_messages->answer = QMessageBox::No;
        QTest::keyClick(recordsGrid(), Qt::Key_Delete);
        QCOMPARE(m_messages->texts().last(),
                 QStringLiteral("Are You Sure You want to Delete SNo -> 1"));
        QCOMPARE(recordsGrid()->rows(), 3);
        test::clickRow(recordsGrid(), 2);
        m_messages->answer = QMessageBox::Yes;
        QTest::keyClick(recordsGrid(), Qt::Key_Delete);
        QCOMPARE(recordsGrid()->rows(), 2);
        QCOMPARE(recordsGrid()->textMatrix(1, 2), chosen);
        QTRY_COMPARE(m_window->trayToolTip(), QStringLiteral("Orvane"));
    }

    void aSecondStartHandsItsActionToTheRunningDesktop()
    {
        // What `orvane --show FILE` does when a copy runs: ActivateAction on its name.
        m_desktopName->onAction([this](const QString& name, const QString& file) {
            m_window->showCall(file, name == QLatin1String("play"));
        });
        QVERIFY(records());
        const QString second = recordsGrid()->textMatrix(1, 2);
        records()->hide();
        SingleInstance later(QDBusConnection::connectToBus(QDBusConnection::SessionBus, "later"),
                             SingleInstance::serviceName());
        QVERIFY(!later.claim());
        later.activateActionOnRunningCopy(QStringLiteral("show"), second);
        QTRY_VERIFY(records()->isVisible());
        QCOMPARE(recordsGrid()->textMatrix(recordsGrid()->row(), 2), second);
        QDBusConnection::disconnectFromBus("later");
    }

    void withNoDesktopTheLineServerNotifiesAndItsPlayStartsTheDesktop()
    {
        QVERIFY(QDBusConnection::sessionBus().unregisterService(SingleInstance::serviceName()));
        const qsizetype before = notes().size();
        call(QStringLiteral("5550102"));
        // The desktop still follows the news (this test is both): two notifications now,
        // one of them the line server's.
        QTRY_COMPARE(notes().size(), before + 2);
        const QList<test::NotificationServer::Note> now = notes();
        const auto fromServer = std::find_if(
            now.cbegin() + before, now.cend(),
            [this](const test::NotificationServer::Note& n) { return n.sender == m_serverName; });
        QVERIFY(fromServer != now.cend());
        QVERIFY(fromServer->summary.startsWith("New message from 5550102"));

        Database db;
        QVERIFY(db.OpenDatabase(programfolder::path()));
        const QList<recmessage::CallRow> calls =
            recmessage::listDay(db, QDate::currentDate()).value();
        QVERIFY(!calls.isEmpty());
        const QString file = calls.last().incomingCallFile;
        QCOMPARE(calls.last().details.callerNumber, QStringLiteral("5550102"));
        QVERIFY(!calls.last().heard);

        m_notifications->invoke(fromServer->id, QStringLiteral("play"));
        QFile args(m_home.filePath("desktop.sh.args"));
        QTRY_VERIFY(args.exists() && args.size() > 0);
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(args.readAll()), "--play\n" + file + "\n");
    }
};

QTEST_MAIN(TestNews)
#include "TestNews.moc"
