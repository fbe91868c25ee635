// The main window with the real line server on simulated lines: what it shows after
// loading, Start and Stop from the menu and the toolbar with the enabled state of every
// command, the line selection window, a call running through a line's status cell, and the
// line server going away.

#include "DesktopTesting.h"
#include "database/RecMessageTable.h"
#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Twips.h"
#include "desktop/lines/frmAddress.h"
#include "desktop/main/SingleInstance.h"
#include "desktop/main/frmMain.h"
#include "desktop/records/frmPlay.h"
#include "desktop/records/frmRecordList.h"
#include "desktop/run/DesktopRun.h"
#include "desktop/run/LineServer.h"
#include "line_server/client/TolvexNames.h"

#include <QAction>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QToolBar>
#include <QTreeWidget>

#include <csignal>

using namespace orvane;
using test::chooseLines;
using test::simulator;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");
const QString kLine3 = QStringLiteral("Simulated Line 3");

int registrations(const QString& line)
{
    const QVariant info = simulator("LineInfo", {line}).arguments().value(0);
    return qdbus_cast<QVariantMap>(info).value("registrations").toInt();
}

void cancelSelection()
{
    test::whenModal<frmAddress>(
        [](frmAddress* window) { window->findChild<QPushButton*>("cmdCancel")->click(); });
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<DesktopRun> m_run;
    std::unique_ptr<frmMain> m_window;
    test::MessageRecorder* m_messages = nullptr;
    AnsweringSettingsRecord m_startSettings; // as the program started

    MSFlexGrid* grid() { return m_window->statusGrid(); }
    QAction* menu(const char* name) { return m_window->findChild<QAction*>(name); }
    QRadioButton* option(const char* name) { return m_window->findChild<QRadioButton*>(name); }
    void editFlowNode(const char* startOfText)
    {
        QTreeWidget* tree = m_window->tree();
        tree->setCurrentItem(
            tree->findItems(startOfText, Qt::MatchStartsWith | Qt::MatchRecursive).value(0));
        m_window->EditFlowNode();
    }
    void idle()
    {
        if (m_window->running())
            m_window->stop(true);
    }
    // Closes every window but the main one: dialogs (modal or not) and menus.
    void closeOtherWindows()
    {
        for (int i = 0; i < 20 && QApplication::activePopupWidget(); ++i)
            QApplication::activePopupWidget()->close();
        for (int i = 0; i < 20 && QApplication::activeModalWidget(); ++i) {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
            QCoreApplication::processEvents();
        }
        for (QWidget* window : QApplication::topLevelWidgets())
            if (window != m_window.get() && window->isVisible())
                window->close();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_messages = new test::MessageRecorder;
        m_window = test::startProgram(m_run, m_home.path(), "org.orvane.Tolvex.Desktop", "4");
        QVERIFY(m_window);
        m_startSettings = AnsweringSettings;
    }

    void cleanupTestCase()
    {
        idle();
        m_window.reset();
        m_run.reset();
        delete m_messages;
    }

    void init() { m_messages->shown.clear(); }
    // Whatever a test left behind (it may have failed half way), the next one starts from
    // the idle window as the program started, so that a failure stays its test's own.
    void cleanup()
    {
        test::forgetModalWatches();
        closeOtherWindows();
        idle();
        if (!m_window->isVisible())
            m_window->showNormal();
        AnsweringSettings = m_startSettings;
        for (const QString& line : {kLine1, kLine2, kLine3}) {
            // Either may have nothing to do; then the simulator says so, which is fine.
            simulator("ClearFaults", {line});
            simulator("HangUp", {line}); // a caller still ringing would meet the next test
        }
        QVERIFY2(QTest::qWaitFor(
                     [] {
                         return registrations(kLine1) + registrations(kLine2) +
                                    registrations(kLine3) ==
                                0;
                     },
                     10000),
                 "the lines of the test are still bound");
    }

    void afterLoadOnlyStartIsOffered()
    {
        QVERIFY(!m_window->toolbarButton(2)->isEnabled());
        QVERIFY(!menu("mRStop")->isEnabled());
        QVERIFY(m_window->toolbarButton(1)->isEnabled());
        QVERIFY(menu("mRStart")->isEnabled());
        QVERIFY(option("Option1")->isChecked());
        QCOMPARE(grid()->rows(), 2);
        QCOMPARE(grid()->textMatrix(0, 0), QStringLiteral("SNo."));
        QCOMPARE(grid()->textMatrix(0, 1), QStringLiteral("Device Name"));
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("Status"));
        QVERIFY(grid()->textMatrix(1, 2).isEmpty());
        auto* tree = m_window->findChild<QTreeWidget*>("treeViewFun");
        // The described first size; the tree under the toolbar, at the described left edge.
        QCOMPARE(m_window->centralWidget()->size(), QSize(twips::px(6810), twips::px(5325)));
        QVERIFY(tree && tree->x() == twips::px(45) &&
                tree->y() >= m_window->findChild<QToolBar*>("ToolMExecute")->height());
        QCOMPARE(m_window->toolbarButton(5)->text(), QStringLiteral("   Voice   "));
        QCOMPARE(m_window->toolbarButton(3)->objectName(), QStringLiteral("Modem"));
        QCOMPARE(m_window->toolbarButton(3)->toolTip(), QStringLiteral("Telephony Devices"));
        QCOMPARE(AnsweringSettings.Rings, qint16(3));
        QCOMPARE(AnsweringSettings.PlayFile, programfolder::greetingFile());
        QVERIFY(QFile::exists(programfolder::greetingFile()));
    }

    void threeLinesOfWhichTheSecondFailsToRegister()
    {
        QVERIFY(simulator("InjectFault", {kLine2, QStringLiteral("RegistrationFails")}).type() !=
                QDBusMessage::ErrorMessage);
        chooseLines({kLine1, kLine2, kLine3});
        menu("mRStart")->trigger();
        QVERIFY(m_window->running());
        QCOMPARE(grid()->rows(), 4);
        QTRY_COMPARE(grid()->textMatrix(2, 2),
                     QStringLiteral("Error In Initializing Device .... "));
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
        QTRY_COMPARE(grid()->textMatrix(3, 2), QStringLiteral("Waiting for call ...."));
        QCOMPARE(grid()->textMatrix(2, 1), kLine2);
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("Status (Answering Machine) "));
        QCOMPARE(m_run->gaTapiLines.size(), 3); // upper bound 2
        QVERIFY(!m_run->gaTapiLines[0].isNull() && !m_run->gaTapiLines[1].isNull() &&
                m_run->gaTapiLines[2].isNull());
        QCOMPARE(m_run->gaTapiLines[1].getAddress().value(), kLine3);
        // The line that failed was released at once; its reason is shown all the same.
        QTRY_VERIFY(!m_messages->shown.isEmpty());
        QCOMPARE(m_messages->texts().size(), 1);
        QVERIFY2(m_messages->shown.first().text.startsWith(kLine2 + " cannot take calls: "),
                 qPrintable(m_messages->shown.first().text));
        QCOMPARE(m_messages->shown.first().title, QStringLiteral("Answering Machine"));
        // The menu's Start leaves the mode buttons as they were.
        QVERIFY(option("Option1")->isEnabled());
        QVERIFY(!menu("mRStart")->isEnabled() && !m_window->toolbarButton(1)->isEnabled());
        QVERIFY(menu("mRStop")->isEnabled() && m_window->toolbarButton(2)->isEnabled());
        for (int b : {3, 4, 5, 7})
            QVERIFY(!m_window->toolbarButton(b)->isEnabled());
        for (int b : {6, 8, 9})
            QVERIFY(m_window->toolbarButton(b)->isEnabled());

        menu("mRStop")->trigger();
        QVERIFY(!m_window->running());
        QCOMPARE(grid()->rows(), 2);
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("Status"));
        for (int c = 0; c < 3; ++c)
            QVERIFY(grid()->textMatrix(1, c).isEmpty());
        QTRY_COMPARE(registrations(kLine1), 0);
        QTRY_COMPARE(registrations(kLine3), 0);
        QVERIFY(simulator("ClearFaults", {kLine2}).type() != QDBusMessage::ErrorMessage);
    }

    void theToolbarsStartAndStopAlsoLockTheModeButtons()
    {
        chooseLines({kLine1});
        m_window->toolbarButton(1)->trigger();
        QVERIFY(m_window->running());
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
        QVERIFY(!option("Option1")->isEnabled() && !option("Option2")->isEnabled());
        // The menu's Stop does not give them back...
        menu("mRStop")->trigger();
        QVERIFY(!option("Option1")->isEnabled());
        chooseLines({kLine1});
        m_window->toolbarButton(1)->trigger();
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
        // ...the toolbar's Stop does.
        m_window->toolbarButton(2)->trigger();
        QVERIFY(option("Option1")->isEnabled() && option("Option2")->isEnabled());
        QVERIFY(menu("mRStart")->isEnabled() && !menu("mRStop")->isEnabled());
    }

    void aCancelledStartEmptiesOnlyCell12()
    {
        grid()->setTextMatrix(1, 0, "x0");
        grid()->setTextMatrix(1, 1, "x1");
        grid()->setTextMatrix(1, 2, "x2");
        grid()->setTextMatrix(0, 1, "Device Name");
        cancelSelection();
        menu("mRStart")->trigger();
        QVERIFY(!m_window->running());
        QCOMPARE(grid()->textMatrix(1, 0), QStringLiteral("x0"));
        QCOMPARE(grid()->textMatrix(1, 1), QStringLiteral("x1"));
        QVERIFY(grid()->textMatrix(1, 2).isEmpty());
        QVERIFY(menu("mFileRecord")->isEnabled() && menu("mOModem")->isEnabled());
        grid()->setTextMatrix(1, 0, QString());
        grid()->setTextMatrix(1, 1, QString());
    }

    void theDeviceViewOffersOnlyCancel()
    {
        QString result = "unset";
        test::whenModal<frmAddress>([](frmAddress* window) {
            QVERIFY(!window->findChild<QPushButton*>("cmdOk")->isEnabled());
            auto* list = window->findChild<QListWidget*>("listAddress");
            QStringList names;
            for (int i = 0; i < list->count(); ++i)
                names << list->item(i)->text();
            // The voice lines only, in the telephony service's order.
            QCOMPARE(names, QStringList({kLine1, kLine2, kLine3}));
            window->findChild<QPushButton*>("cmdCancel")->click();
        });
        frmAddress window(*m_run, m_window.get());
        result = window.PopUp("Device");
        QCOMPARE(result, QStringLiteral("Cancel"));
    }

    void everyOkFirstReleasesTheEarlierLines()
    {
        chooseLines({kLine1});
        menu("mRStart")->trigger();
        QTRY_COMPARE(registrations(kLine1), 1);
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
        // OK with nothing chosen: the earlier lines go all the same; the window stays open.
        test::whenModal<frmAddress>([this](frmAddress* window) {
            window->findChild<QPushButton*>("cmdOk")->click();
            QCOMPARE(m_messages->texts(), QStringList{"Select Telephony Device"});
            QCOMPARE(m_messages->shown.first().title, QStringLiteral("IVR"));
            QVERIFY(window->isVisible());
            window->findChild<QPushButton*>("cmdCancel")->click();
        });
        frmAddress window(*m_run, m_window.get());
        QCOMPARE(window.PopUp("Start"), QStringLiteral("Cancel"));
        QTRY_COMPARE(registrations(kLine1), 0);
        m_window->stop(false);
    }

    void aCallRunsThroughTheStatusCellAndIsLogged()
    {
        AnsweringSettings.Rings = 2;
        AnsweringSettings.RecordTime = 1;
        chooseLines({kLine2});
        menu("mRStart")->trigger();
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
        const QDBusMessage placed = simulator("PlaceCall", {kLine2, QStringLiteral("5550177"), 4,
                                                            800, QString(), true, QString(), -1});
        QVERIFY2(placed.type() != QDBusMessage::ErrorMessage, qPrintable(placed.errorMessage()));
        QTRY_VERIFY_WITH_TIMEOUT(grid()->textMatrix(1, 2).startsWith("Incoming Call "), 10000);
        // Longer than its column: the whole text is the cell's tooltip (the table's row 0
        // is the grid's row 1, under the header).
        QCOMPARE(grid()->item(0, 2)->toolTip(), grid()->textMatrix(1, 2));
        QVERIFY(grid()->fontMetrics().horizontalAdvance(grid()->textMatrix(1, 2)) >
                grid()->columnWidth(2));
        QTRY_COMPARE_WITH_TIMEOUT(grid()->textMatrix(1, 2), QStringLiteral("Recording File .... "),
                                  15000);
        QTRY_COMPARE_WITH_TIMEOUT(grid()->textMatrix(1, 2),
                                  QStringLiteral("Waiting for Call .... "), 15000);
        Database db;
        QVERIFY(db.OpenDatabase(programfolder::path()));
        QCOMPARE(recmessage::listDay(db, QDate::currentDate()).value().size(), 1);
        m_window->stop(true);
        AnsweringSettings.Rings = 3;
        AnsweringSettings.RecordTime = 5;
    }

    void whatALineTellsIsShown()
    {
        // A greeting that cannot be played: the caller is greeted all the same, and the
        // user learns why from the line.
        const QString playFile = AnsweringSettings.PlayFile;
        AnsweringSettings.PlayFile = m_home.filePath("no-such-greeting.wav");
        AnsweringSettings.Rings = 1;
        AnsweringSettings.RecordTime = 1;
        auto restore = qScopeGuard([&] {
            AnsweringSettings.PlayFile = playFile;
            AnsweringSettings.Rings = 3;
            AnsweringSettings.RecordTime = 5;
        });
        chooseLines({kLine3});
        menu("mRStart")->trigger();
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
        const QDBusMessage placed = simulator("PlaceCall", {kLine3, QStringLiteral("5550188"), 3,
                                                            800, QString(), true, QString(), -1});
        QVERIFY2(placed.type() != QDBusMessage::ErrorMessage, qPrintable(placed.errorMessage()));
        QTRY_VERIFY_WITH_TIMEOUT(!m_messages->shown.isEmpty(), 20000);
        const MessageRequest told = m_messages->shown.first();
        QVERIFY2(told.text.startsWith(kLine3 + " could not play its greeting") &&
                     told.text.contains("no-such-greeting.wav"),
                 qPrintable(told.text));
        QCOMPARE(told.title, QStringLiteral("Answering Machine"));
        QTRY_COMPARE_WITH_TIMEOUT(grid()->textMatrix(1, 2),
                                  QStringLiteral("Waiting for Call .... "), 20000);
        m_window->stop(true);
    }

    void theFlowSettingsReachTheLinesAndAreLockedWhileAnswering()
    {
        auto typeInto = [](QDialog* dialog, const QString& value) {
            dialog->findChild<QLineEdit*>()->setText(value);
            dialog->findChild<QPushButton*>("cmdOk")->click();
        };
        test::whenModal<QDialog>([&](QDialog* d) { typeInto(d, QStringLiteral("5")); });
        editFlowNode("Rings");
        test::whenModal<QDialog>([&](QDialog* d) { typeInto(d, QStringLiteral("42")); });
        editFlowNode("Record File");
        QCOMPARE(AnsweringSettings.Rings, qint16(5));
        QCOMPARE(AnsweringSettings.RecordTime, qint16(42));

        chooseLines({kLine1, kLine3});
        menu("mRStart")->trigger();
        QTRY_COMPARE(grid()->textMatrix(2, 2), QStringLiteral("Waiting for call ...."));
        for (int i = 0; i < 2; ++i) {
            QCOMPARE(m_run->gaTapiLines[i].property("Rings").value(), QVariant(qint16(5)));
            QCOMPARE(m_run->gaTapiLines[i].property("RecordTime").value(), QVariant(qint16(42)));
        }

        // While the lines answer, the flow can be neither edited nor offered for editing.
        bool opened = false;
        test::whenModal<QDialog>([&opened](QDialog* d) {
            opened = true;
            d->reject();
        });
        editFlowNode("Rings");
        m_window->treeMenuRequested(m_window->mapToGlobal(QPoint(40, 40)));
        QVERIFY(!m_window->findChild<QMenu*>("mTree")->isVisible());
        m_window->stop(true);
        QVERIFY(!opened);
        AnsweringSettings.Rings = 3;
        AnsweringSettings.RecordTime = 5;
    }

    void theRecordWindowsOpenModalOrNot()
    {
        // "&Record Message" and toolbar button 4: the play selection window, modal.
        bool seen = false;
        test::whenModal<frmPlay>([&seen](frmPlay* window) {
            seen = true;
            window->findChild<QPushButton*>("cmdCancel")->click();
        });
        menu("mFileRecord")->trigger();
        QVERIFY2(seen, qPrintable(m_messages->texts().join(" | ") +
                                  (menu("mFileRecord")->isEnabled() ? " enabled" : " disabled")));
        seen = false;
        test::whenModal<frmPlay>([&seen](frmPlay* window) {
            seen = true;
            window->findChild<QPushButton*>("cmdCancel")->click();
        });
        m_window->toolbarButton(4)->trigger();
        QVERIFY(seen);
        // The menu's "&Recorded Calls" waits for the window; the toolbar's "Calls" does not.
        test::whenModal<frmRecordList>([&seen](frmRecordList* window) {
            seen = false;
            window->findChild<QPushButton*>("cmdCancel")->click();
        });
        menu("mVIncom")->trigger();
        QVERIFY(!seen);
        m_window->toolbarButton(6)->trigger();
        auto* calls = m_window->findChild<frmRecordList*>("frmRecordList");
        QVERIFY(calls && calls->isVisible() && !calls->isModal());
        QVERIFY(!QApplication::activeModalWidget());
        calls->findChild<QPushButton*>("cmdCancel")->click();
        QVERIFY(!calls->isVisible());
    }

    void aSecondStartBringsTheWindowBack()
    {
        const QString name = QStringLiteral("org.orvane.Orvane.Activation%1")
                                 .arg(QCoreApplication::applicationPid());
        SingleInstance first(QDBusConnection::sessionBus(), name);
        QVERIFY(first.claim());
        first.onActivate([this] { m_window->restoreFromTray(); });
        m_window->hide();
        // The second copy, on a connection of its own as another process would be.
        QDBusConnection other =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "second-copy");
        {
            SingleInstance second(other, name);
            QVERIFY(!second.claim());
            second.activateRunningCopy(false);
        }
        QTRY_VERIFY(m_window->isVisible());
        QVERIFY(!(m_window->windowState() & Qt::WindowMinimized));
        QDBusConnection::disconnectFromBus("second-copy");
        QDBusConnection::sessionBus().interface()->unregisterService(name);
    }

    void theTrayMenuOffersWhatTheWindowCanDo()
    {
        // (No tray on the offscreen platform: its notifications are given directly.)
        m_window->showNormal();
        m_window->trayActivated(QSystemTrayIcon::Context);
        QVERIFY(menu("mPopMin")->isEnabled());
        QVERIFY(!menu("mPopRestore")->isEnabled());
        m_window->hide();
        m_window->trayActivated(QSystemTrayIcon::Context);
        QVERIFY(!menu("mPopMin")->isEnabled());
        QVERIFY(menu("mPopRestore")->isEnabled());
        m_window->findChild<QMenu*>("mSysTray")->hide();
        m_window->trayActivated(QSystemTrayIcon::Trigger);
        QVERIFY(m_window->isVisible());
        QVERIFY(!(m_window->windowState() & Qt::WindowMinimized));
    }

    void theEndOfASendJobReturnsToIdleOnlyForTheCurrentJob()
    {
        // A fax send job's object in slot 0, the program running.
        Result<LineHandle> job = m_run->lineServer().client().createLine();
        Result<LineHandle> stale = m_run->lineServer().client().createLine();
        QVERIFY(job.isOk() && stale.isOk());
        chooseLines({kLine1});
        m_window->toolbarButton(1)->trigger();
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
        m_run->gaTapiLines.prepend(job.value()); // the send job, as the fax window would place it
        // The end of a job the user already stopped: ignored.
        m_window->EvClsTapi_test2(stale.value());
        QVERIFY(m_window->running());
        QVERIFY(!m_run->gaTapiLines.first().isNull());
        // The end of the current job: idle, and its object released.
        m_window->EvClsTapi_test2(job.value());
        QVERIFY(!m_window->running());
        QVERIFY(m_run->gaTapiLines.first().isNull());
        // What the grid showed stays until the next Start.
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("Status (Answering Machine) "));
        QVERIFY(option("Option1")->isEnabled() && menu("mRStart")->isEnabled());
        m_window->stop(true);
    }

    void losingTheLineServerIsShownAndStartBringsItBack()
    {
        chooseLines({kLine3});
        menu("mRStart")->trigger();
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
        const uint pid =
            QDBusConnection::sessionBus().interface()->servicePid(tolvex::serviceName());
        QVERIFY(pid > 0);
        ::kill(pid_t(pid), SIGKILL);
        QTRY_COMPARE_WITH_TIMEOUT(grid()->textMatrix(1, 2),
                                  QStringLiteral("Line Server Stopped ...."), 10000);
        QVERIFY(m_window->running());
        menu("mRStop")->trigger();
        QVERIFY(!m_window->running());
        QCOMPARE(grid()->rows(), 2);
        // The next Start starts the server again.
        chooseLines({kLine3});
        menu("mRStart")->trigger();
        QVERIFY(m_run->lineServer().running());
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for call ...."));
        menu("mRStop")->trigger();
    }
};

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"
