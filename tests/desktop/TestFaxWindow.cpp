// The fax window with the real line server on simulated lines (50 times faster): what it
// shows when it opens, the checks of OK in their order, the received-fax list with Delete
// and Delete All, a received fax opened in the viewer and deleted with the Delete key, and
// fax jobs submitted from it through the main window's Start, to the
// end of a send job returning the program to idle by itself.

#include "DesktopTesting.h"
#include "PrintStandIn.h"
#include "Signals.h"
#include "database/RecieveFaxTable.h"
#include "desktop/common/ListGrid.h"
#include "desktop/common/MSFlexGrid.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/fax/FolderChooser.h"
#include "desktop/fax/frmFax.h"
#include "desktop/main/frmMain.h"
#include "desktop/run/DesktopRun.h"
#include "desktop/run/LineServer.h"
#include "line_server/client/TolvexNames.h"
#include "platform/fax/TiffFax.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QUrl>

#include <csignal>

using namespace orvane;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");
constexpr int kWaitMs = 60000;

template <typename T>
T* child(QWidget* window, const char* name)
{
    T* found = window->findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("no control %s", name);
    return found;
}

void select(QListWidget* list, const QString& text)
{
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSelected(list->item(i)->text() == text);
}

// The simulated call on a line now, as the line server's simulator tells it; 0: none.
quint64 simulatorCall(const QString& line)
{
    QDBusMessage info = QDBusMessage::createMethodCall(
        tolvex::serviceName(), tolvex::kSimulatorPath, tolvex::kSimulatorInterface, "LineInfo");
    info << line;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(info);
    return qdbus_cast<QVariantMap>(reply.arguments().value(0)).value("currentCall").toULongLong();
}

QStringList logged()
{
    Database db;
    if (!db.OpenDatabase(programfolder::path()))
        return {QStringLiteral("cannot open the database")};
    return recievefax::listAll(db, programfolder::path()).value();
}

// A double-click as the user makes it: a click, then the second press.
void doubleClickRow(MSFlexGrid* grid, int row)
{
    const QPoint at = grid->cellRect(row, 1).center();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
}

void logFaxes(const QStringList& paths)
{
    Database db;
    QVERIFY(db.OpenDatabase(programfolder::path()));
    QVERIFY(recievefax::removeAll(db));
    for (const QString& p : paths)
        QVERIFY(recievefax::logFax(db, p));
}

} // namespace

class TestFaxWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    QTemporaryDir m_files;
    QString m_printed;
    std::unique_ptr<DesktopRun> m_run;
    std::unique_ptr<frmMain> m_window;
    test::MessageRecorder* m_messages = nullptr;

    MSFlexGrid* grid() { return m_window->statusGrid(); }

    QString document(const QString& name, int pages)
    {
        QString text;
        for (int p = 1; p <= pages; ++p)
            text += QStringLiteral("%1Page %2 of %3\n").arg(p > 1 ? "\f" : "").arg(p).arg(pages);
        const QString path = m_files.filePath(name);
        QFile f(path);
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text.toUtf8());
        return path;
    }

    QString printed() { return QString::fromUtf8(test::readFile(m_printed)); }

private Q_SLOTS:
    void initTestCase()
    {
        // The line server prints through a stand-in for lp that notes the file.
        m_printed = test::installPrintStandIn(m_files.filePath(QStringLiteral("bin")));
        m_messages = new test::MessageRecorder;
        m_window = test::startProgram(m_run, m_home.path(), "org.orvane.Tolvex.Fax", "50");
        QVERIFY(m_window);
    }

    void cleanupTestCase()
    {
        if (m_window->running())
            m_window->stop(true);
        m_window.reset();
        m_run.reset();
        delete m_messages;
    }

    void init()
    {
        if (m_window->running()) // a failed test must not leave the next one locked out
            m_window->stop(true);
        m_messages->shown.clear();
        m_messages->answer = QMessageBox::Ok;
    }
    void cleanup() { test::forgetModalWatches(); }

    void theWindowOpensOnSend()
    {
        logFaxes({});
        frmFax window(*m_run, m_window.get());
        QCOMPARE(window.windowTitle(), QStringLiteral("Fax"));
        QVERIFY(!(window.windowFlags() & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(window.windowFlags() & Qt::WindowMaximizeButtonHint));
        auto* tabs = child<QTabWidget>(&window, "SSTab1");
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->tabText(0), QStringLiteral("Send"));
        QCOMPARE(tabs->tabText(1), QStringLiteral("Recieve"));
        QCOMPARE(child<QLineEdit>(&window, "txtNum")->maxLength(), 25);
        QCOMPARE(child<QPushButton>(&window, "cmdSelectFile")->text(), QStringLiteral("...."));
        QCOMPARE(child<QPushButton>(&window, "cmdOkR")->text(), QStringLiteral("&Ok"));
        QCOMPARE(child<QPushButton>(&window, "cmdCancelR")->text(), QStringLiteral("&Cancel"));
        QVERIFY(!child<QCheckBox>(&window, "Check2")->isChecked());

        // Both lists: the voice lines with their place in the line collection, none chosen.
        for (const char* name : {"listAddress", "ListAddress1"}) {
            auto* list = child<QListWidget>(&window, name);
            QCOMPARE(list->count(), 3);
            QCOMPARE(list->item(0)->text(), kLine1);
            QCOMPARE(list->item(0)->data(Qt::UserRole).toInt(), 1);
            QCOMPARE(list->item(1)->text(), kLine2);
            QCOMPARE(list->item(1)->data(Qt::UserRole).toInt(), 3); // after "H323 Line"
            QCOMPARE(list->selectedItems().size(), 0);
            QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
        }
        // The send folder starts at the current folder, received faxes at the program
        // folder's Faxes/; the box follows the folder list.
        QCOMPARE(child<QLineEdit>(&window, "txtDir")->text(), QDir::currentPath());
        QCOMPARE(child<QLineEdit>(&window, "txtDirRec")->text(),
                 QDir(programfolder::path()).filePath("Faxes"));
        QVERIFY(QFileInfo(QDir(programfolder::path()).filePath("Faxes")).isDir());
        QVERIFY(window.sendFolder().setFolder(m_files.path()));
        QCOMPARE(child<QLineEdit>(&window, "txtDir")->text(), m_files.path());
        auto* folders = child<QListWidget>(&window, "Dir1");
        QCOMPARE(folders->item(0)->text(), QStringLiteral(".."));
        emit folders->itemActivated(folders->findItems("bin", Qt::MatchExactly).value(0));
        QCOMPARE(child<QLineEdit>(&window, "txtDir")->text(), m_files.filePath("bin"));
        QVERIFY(!window.sendFolder().setFolder(m_files.filePath("absent")));
        QCOMPARE(child<QLineEdit>(&window, "txtDir")->text(), m_files.filePath("bin"));
        QCOMPARE(child<QComboBox>(&window, "Drive1")->itemData(0).toString(), QStringLiteral("/"));
        // A drive that cannot be read (a card reader without a card): said, and nothing moves.
        auto* drives = child<QComboBox>(&window, "Drive2");
        const int before = drives->currentIndex();
        drives->addItem(QStringLiteral("/media/no-card"), m_files.filePath("no-card"));
        drives->setCurrentIndex(drives->count() - 1);
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->shown.first().title, QStringLiteral("Answering Machine "));
        QCOMPARE(m_messages->shown.first().icon, QMessageBox::Information);
        QCOMPARE(drives->currentIndex(), before);
        QCOMPARE(child<QLineEdit>(&window, "txtDirRec")->text(),
                 QDir(programfolder::path()).filePath("Faxes"));
        const int home = drives->findData(QDir::homePath());
        const int other = home != before ? home : 0; // a drive other than the current one
        drives->setCurrentIndex(other);
        QCOMPARE(child<QLineEdit>(&window, "txtDirRec")->text(),
                 drives->itemData(other).toString());

        // The received faxes: none yet.
        auto* faxes = child<MSFlexGrid>(&window, "MSFlexGrid1");
        QCOMPARE(faxes->textMatrix(0, 0), QStringLiteral("SNo."));
        QCOMPARE(faxes->textMatrix(0, 1), QStringLiteral("File Name"));
        QCOMPARE(faxes->rows(), 2);
        QCOMPARE(faxes->textMatrix(1, 0), QString());
        QCOMPARE(faxes->textMatrix(1, 1), QStringLiteral("No Records"));
    }

    void okChecksInTheirOrder()
    {
        frmFax window(*m_run, m_window.get());
        auto* ok = child<QPushButton>(&window, "cmdOkR");
        auto* number = child<QLineEdit>(&window, "txtNum");
        window.show();
        ok->click();
        select(child<QListWidget>(&window, "listAddress"), kLine1);
        number->setText(QStringLiteral("   "));
        child<QPushButton>(&window, "cmdCancelR")->setFocus();
        ok->click();
        QCOMPARE(window.focusWidget(), number);
        number->setText(QStringLiteral("2002"));
        child<QLineEdit>(&window, "txtFileSend")->setText(QStringLiteral("  "));
        ok->click();
        child<QTabWidget>(&window, "SSTab1")->setCurrentIndex(1);
        ok->click();
        QCOMPARE(m_messages->texts(), QStringList({"Select Device Name", "Enter Number Please",
                                                   "Enter File To Send", "Select Device Name"}));
        for (const MessageRequest& r : m_messages->shown) {
            QCOMPARE(r.title, QStringLiteral("Answering Machine"));
            QCOMPARE(r.icon, QMessageBox::Information);
        }
        // Nothing was submitted: the window is still open.
        QVERIFY(window.isVisible());
        QCOMPARE(window.result(), 0);
    }

    void deleteAndDeleteAll()
    {
        // Three faxes, one of them already gone from the disk, one with an apostrophe.
        QStringList paths;
        for (const char* name : {"fax-a.tif", "O'Brien fax.tif", "fax-c.tif"}) {
            const QString p = m_files.filePath(QLatin1String(name));
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            paths << p;
        }
        QFile::remove(paths.at(0));
        logFaxes(paths);

        frmFax window(*m_run, m_window.get());
        window.show();
        window.findChild<QTabWidget*>("SSTab1")->setCurrentIndex(1);
        auto* faxes = child<MSFlexGrid>(&window, "MSFlexGrid1");
        auto* del = child<QPushButton>(&window, "cmdDelete");
        QCOMPARE(faxes->rows(), 4);
        QCOMPARE(faxes->textMatrix(2, 0), QStringLiteral("2"));
        QCOMPARE(faxes->textMatrix(2, 1), paths.at(1));

        // Delete needs a click in the list first, every time; the header is not a row (its
        // "File Name" would have been taken for a file to delete).
        del->click();
        QCOMPARE(m_messages->texts(), QStringList({"Select Row Please"}));
        QHeaderView* header = faxes->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        del->click();
        QCOMPARE(m_messages->texts(), QStringList({"Select Row Please", "Select Row Please"}));
        test::clickRow(faxes, 2);
        m_messages->answer = QMessageBox::No;
        del->click();
        QCOMPARE(m_messages->shown.last().text,
                 QStringLiteral("Are You Sure You want to Delete SNo -> 2"));
        QCOMPARE(m_messages->shown.last().title, QStringLiteral("Orvane"));
        QCOMPARE(logged().size(), 3);
        QVERIFY(QFile::exists(paths.at(1)));
        del->click();
        QCOMPARE(m_messages->shown.last().text, QStringLiteral("Select Row Please"));

        m_messages->answer = QMessageBox::Yes;
        test::clickRow(faxes, 2);
        del->click();
        QVERIFY(!QFile::exists(paths.at(1)));
        QCOMPARE(logged(), QStringList({paths.at(0), paths.at(2)}));
        QCOMPARE(faxes->rows(), 3);
        QCOMPARE(faxes->textMatrix(2, 0), QStringLiteral("2"));
        QCOMPARE(faxes->textMatrix(2, 1), paths.at(2));

        // Delete All: every file and row, also the row whose file was already gone.
        m_messages->shown.clear();
        child<QPushButton>(&window, "cmdDeleteAll")->click();
        QCOMPARE(m_messages->texts(), QStringList({"Are You Sure You want to Delete All Records"}));
        QVERIFY(!QFile::exists(paths.at(2)));
        QCOMPARE(logged(), QStringList());
        QCOMPARE(faxes->rows(), 2);
        QCOMPARE(faxes->textMatrix(1, 1), QStringLiteral("No Records"));

        // Nothing left: both say so.
        m_messages->shown.clear();
        child<QPushButton>(&window, "cmdDeleteAll")->click();
        test::clickRow(faxes, 1);
        del->click();
        QCOMPARE(m_messages->texts(),
                 QStringList({"No Records To Delete", "No Records To Delete"}));
    }

    void aReceivedFaxOpensInTheViewer()
    {
        // Two faxes, the second gone from the disk.
        const QString there = m_files.filePath("shown.tif");
        const QString gone = m_files.filePath("gone.tif");
        for (const QString& p : {there, gone}) {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QFile::remove(gone);
        logFaxes({there, gone});
        QList<QUrl> opened;
        bool viewerTakesIt = true;
        setFaxOpener([&](const QUrl& url) {
            opened << url;
            return viewerTakesIt;
        });
        auto restore = qScopeGuard([] { setFaxOpener({}); });

        frmFax window(*m_run, m_window.get());
        window.show();
        child<QTabWidget>(&window, "SSTab1")->setCurrentIndex(1);
        auto* faxes = child<MSFlexGrid>(&window, "MSFlexGrid1");
        const QList<QUrl> shown = {QUrl::fromLocalFile(there)};

        // Return before a row is chosen asks for one (and does not press OK).
        QTest::keyClick(faxes, Qt::Key_Return);
        QCOMPARE(m_messages->texts(), QStringList({"Select Row Please"}));
        QVERIFY(opened.isEmpty());
        QVERIFY(window.isVisible());

        // A double-click on the row.
        m_messages->shown.clear();
        doubleClickRow(faxes, 1);
        QCOMPARE(opened, shown);
        // Return, and the keypad's Enter, on the chosen row.
        test::clickRow(faxes, 1);
        QTest::keyClick(faxes, Qt::Key_Return);
        QTest::keyClick(faxes, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(opened, shown + shown + shown);
        // Nothing else happened: OK was not pressed ("Select Device Name"), the window stays.
        QCOMPARE(m_messages->texts(), QStringList());
        QVERIFY(window.isVisible());
        QCOMPARE(window.result(), 0);

        // The file that is gone: said, and nothing opened, by the arrow key and Return or a
        // double-click.
        QTest::keyClick(faxes, Qt::Key_Down);
        QCOMPARE(faxes->currentRow() + 1, 2);
        QTest::keyClick(faxes, Qt::Key_Return);
        doubleClickRow(faxes, 2);
        const QString goneText =
            QStringLiteral("The fax %1 is no longer there: it was moved or deleted.").arg(gone);
        QCOMPARE(m_messages->texts(), QStringList({goneText, goneText}));
        QCOMPARE(m_messages->shown.first().title, QStringLiteral("Answering Machine"));
        QCOMPARE(opened.size(), 3);

        // No program that shows it: said.
        m_messages->shown.clear();
        viewerTakesIt = false;
        doubleClickRow(faxes, 1);
        QCOMPARE(opened.size(), 4);
        QCOMPARE(m_messages->texts(),
                 QStringList({QStringLiteral("The fax %1 cannot be shown: no program on this "
                                             "computer opens it.")
                                  .arg(there)}));

        // An empty list has nothing to open.
        logFaxes({});
        frmFax empty(*m_run, m_window.get());
        empty.show();
        auto* none = child<MSFlexGrid>(&empty, "MSFlexGrid1");
        m_messages->shown.clear();
        doubleClickRow(none, 1);
        QCOMPARE(m_messages->texts(), QStringList({"No Records To Open"}));
        QCOMPARE(opened.size(), 4);
    }

    void theDeleteKeyDeletesAsTheButtonDoes()
    {
        QStringList paths;
        for (const char* name : {"key-a.tif", "key-b.tif"}) {
            const QString p = m_files.filePath(QLatin1String(name));
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            paths << p;
        }
        logFaxes(paths);
        frmFax window(*m_run, m_window.get());
        window.show();
        child<QTabWidget>(&window, "SSTab1")->setCurrentIndex(1);
        auto* faxes = child<MSFlexGrid>(&window, "MSFlexGrid1");

        QTest::keyClick(faxes, Qt::Key_Delete);
        QCOMPARE(m_messages->texts(), QStringList({"Select Row Please"}));
        // The same confirmation as the button; No keeps the fax.
        test::clickRow(faxes, 2);
        m_messages->answer = QMessageBox::No;
        QTest::keyClick(faxes, Qt::Key_Delete);
        QCOMPARE(m_messages->shown.last().text,
                 QStringLiteral("Are You Sure You want to Delete SNo -> 2"));
        QCOMPARE(m_messages->shown.last().title, QStringLiteral("Orvane"));
        QCOMPARE(m_messages->shown.last().buttons, QMessageBox::Yes | QMessageBox::No);
        QCOMPARE(logged(), paths);
        QVERIFY(QFile::exists(paths.at(1)));
        // Yes: the file and its row go.
        m_messages->answer = QMessageBox::Yes;
        test::clickRow(faxes, 2);
        QTest::keyClick(faxes, Qt::Key_Delete);
        QVERIFY(!QFile::exists(paths.at(1)));
        QCOMPARE(logged(), QStringList({paths.at(0)}));
        QCOMPARE(faxes->rows(), 2);
        QCOMPARE(faxes->textMatrix(1, 1), paths.at(0));
        QVERIFY(window.isVisible());
    }

    void faxesGoBothWaysThroughTheWindow()
    {
        logFaxes({});
        const QString folder = m_files.filePath(QStringLiteral("received faxes"));
        QVERIFY(QDir().mkpath(folder));

        // Receiving on line 2, printed on arrival, started from the toolbar.
        child<QRadioButton>(m_window.get(), "Option2")->setChecked(true);
        test::whenModal<frmFax>([&](frmFax* w) {
            child<QTabWidget>(w, "SSTab1")->setCurrentIndex(1);
            select(child<QListWidget>(w, "ListAddress1"), kLine2);
            w->receiveFolder().setFolder(folder);
            child<QCheckBox>(w, "Check2")->setChecked(true);
            child<QPushButton>(w, "cmdOkR")->click();
        });
        m_window->toolbarButton(1)->trigger();
        QVERIFY(m_window->running());
        QVERIFY(m_window->isEnabled());
        QCOMPARE(m_run->gsFaxMode, QStringLiteral("Rec"));
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("Status ( Fax Machine - Receive ) "));
        QTRY_COMPARE(grid()->textMatrix(1, 2), QStringLiteral("Waiting for fax call ...."));
        QCOMPARE(grid()->textMatrix(1, 1), kLine2);

        // A fax from line 1 (the test's own job) arrives, is logged and printed.
        Result<LineHandle> sender = m_run->lineServer().client().createLine();
        QVERIFY(sender);
        QVERIFY(sender->FnSendFax("2002", document("in.txt", 1), QString(), kLine1, nullptr));
        QTRY_COMPARE_WITH_TIMEOUT(logged().size(), 1, kWaitMs);
        QVERIFY(logged().first().startsWith(folder + u'/'));
        QTRY_COMPARE(printed(), QStringLiteral("--\n") + logged().first() + u'\n');
        m_window->toolbarButton(2)->trigger(); // Stop
        QVERIFY(!m_window->running());
        sender->reset();

        // Sending from line 1 to line 2, where a receive job of the test's own waits.
        Result<LineHandle> receiver = m_run->lineServer().client().createLine();
        QVERIFY(receiver);
        QVERIFY(receiver->FnReceiveFax(kLine2, folder, 1, 2, nullptr, programfolder::path()));
        test::whenModal<frmFax>([&](frmFax* w) {
            select(child<QListWidget>(w, "listAddress"), kLine1);
            child<QLineEdit>(w, "txtNum")->setText(QStringLiteral(" 2002 "));
            child<QLineEdit>(w, "txtFileSend")->setText(document("out.txt", 2));
            child<QPushButton>(w, "cmdOkR")->click();
        });
        m_window->toolbarButton(1)->trigger();
        QCOMPARE(m_run->gsFaxMode, QStringLiteral("Send"));
        QCOMPARE(m_run->gaTapiLines.size(), 2);
        QVERIFY(!m_run->gaTapiLines.first().isNull());
        QVERIFY(m_window->running());
        QVERIFY(m_window->isEnabled());
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("Status ( Fax Machine - Send )"));
        QTRY_COMPARE(grid()->textMatrix(1, 1), kLine1);

        // The end of the send job returns the program to idle by itself; how it ended stays
        // in the grid until the next Start.
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kWaitMs);
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("Status ( Fax Machine - Send )"));
        QCOMPARE(grid()->textMatrix(1, 1), kLine1);
        QCOMPARE(grid()->textMatrix(1, 2), QStringLiteral("Completed"));
        // How it went is in the row's tooltip: the receiving line asked for T.38 (before
        // or after the sending session started, as the two lines' threads run).
        QTRY_VERIFY2(
            grid()->item(0, 2)->toolTip().contains(QStringLiteral("Last fax: Sent as T.38")),
            qPrintable(grid()->item(0, 2)->toolTip()));
        QVERIFY2(grid()->item(0, 2)->toolTip().contains(
                     QStringLiteral("at 14400 bit/s: 2 pages, error correction on")),
                 qPrintable(grid()->item(0, 2)->toolTip()));
        QVERIFY(child<QAction>(m_window.get(), "mRStart")->isEnabled());
        QVERIFY(m_run->gaTapiLines.first().isNull());
        QTRY_COMPARE_WITH_TIMEOUT(logged().size(), 2, kWaitMs);
        Result<fax::TiffSummary> fax = fax::inspectTiff(logged().last());
        QVERIFY2(fax, qPrintable(fax.status().toString()));
        QCOMPARE(fax->pages, 2);
        QCOMPARE(fax->widths, QList<int>({1728, 1728}));
        // Print flag 2: only the first fax was printed.
        QCOMPARE(printed().count(u'\n'), 2);
        receiver->reset();
        // The next Start begins on a clean grid.
        test::whenModal<frmFax>([](frmFax* w) { child<QPushButton>(w, "cmdCancelR")->click(); });
        m_window->toolbarButton(1)->trigger();
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("Status"));
        QCOMPARE(grid()->textMatrix(1, 1), QString());
        QCOMPARE(grid()->textMatrix(1, 2), QString());
    }

    void aFaxThatFailsSaysWhyAndTheOutcomeStays()
    {
        m_messages->shown.clear();
        child<QRadioButton>(m_window.get(), "Option2")->setChecked(true);
        test::whenModal<frmFax>([&](frmFax* w) {
            select(child<QListWidget>(w, "listAddress"), kLine1);
            child<QLineEdit>(w, "txtNum")->setText(QStringLiteral("2999"));
            child<QLineEdit>(w, "txtFileSend")->setText(document("nowhere.txt", 1));
            child<QPushButton>(w, "cmdOkR")->click();
        });
        m_window->toolbarButton(1)->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!m_window->running(), kWaitMs);
        QCOMPARE(grid()->textMatrix(1, 2), QStringLiteral("Bad Address"));
        QTRY_VERIFY(!m_messages->shown.isEmpty());
        const MessageRequest told = m_messages->shown.last();
        QVERIFY2(told.text.startsWith(kLine1 + " could not send the fax to 2999: Bad Address"),
                 qPrintable(told.text));
        QCOMPARE(told.title, QStringLiteral("Answering Machine"));
    }

    void stopEndsASendJob()
    {
        // A long fax to a receive job of the test's own; Stop ends it while it goes out.
        const QString folder = m_files.filePath(QStringLiteral("stopped faxes"));
        Result<LineHandle> receiver = m_run->lineServer().client().createLine();
        QVERIFY(receiver);
        QVERIFY(receiver->FnReceiveFax(kLine2, folder, 1, 2, nullptr, programfolder::path()));
        QString text;
        for (int p = 0; p < 12; ++p)
            for (int l = 0; l < 60; ++l)
                text += QStringLiteral("%1A dense line of text that takes a while to fax.\n")
                            .arg(l == 0 && p > 0 ? "\f" : "");
        const QString letter = m_files.filePath(QStringLiteral("long.txt"));
        QFile f(letter);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text.toUtf8());
        f.close();
        child<QRadioButton>(m_window.get(), "Option2")->setChecked(true);
        test::whenModal<frmFax>([&](frmFax* w) {
            select(child<QListWidget>(w, "listAddress"), kLine1);
            child<QLineEdit>(w, "txtNum")->setText(QStringLiteral("2002"));
            child<QLineEdit>(w, "txtFileSend")->setText(letter);
            child<QPushButton>(w, "cmdOkR")->click();
        });
        m_window->toolbarButton(1)->trigger();
        QVERIFY(m_window->running());
        QTRY_VERIFY_WITH_TIMEOUT(grid()->textMatrix(1, 2).startsWith("Sending page "), kWaitMs);
        QVERIFY(simulatorCall(kLine1) != 0);
        m_window->toolbarButton(2)->trigger(); // Stop
        QVERIFY(!m_window->running());
        // The call is hung up at once, and the ending job writes nothing more into the grid.
        QTRY_COMPARE_WITH_TIMEOUT(simulatorCall(kLine1), quint64(0), 1500);
        QTest::qWait(1500);
        QCOMPARE(grid()->textMatrix(1, 1), QString());
        QCOMPARE(grid()->textMatrix(1, 2), QString());
        QCOMPARE(grid()->textMatrix(0, 2), QStringLiteral("Status"));
        receiver->reset();
    }

    void theFaxButtonOpensTheFaxWindow()
    {
        child<QRadioButton>(m_window.get(), "Option1")->setChecked(true);
        bool opened = false;
        test::whenModal<frmFax>([&](frmFax* w) {
            opened = true;
            child<QPushButton>(w, "cmdCancelR")->click();
        });
        m_window->toolbarButton(7)->trigger();
        QVERIFY(opened);
        QVERIFY(child<QRadioButton>(m_window.get(), "Option2")->isChecked());
        // Cancelled: nothing runs, Start is offered again.
        QVERIFY(!m_window->running());
        QVERIFY(child<QAction>(m_window.get(), "mRStart")->isEnabled());
        QVERIFY(m_window->toolbarButton(1)->isEnabled());
    }

    void aFailedSendLeavesTheProgramUsable()
    {
        // No line server, and none that can be started.
        const QByteArray tolvexProgram = qgetenv("ORVANE_TOLVEX");
        qputenv("ORVANE_TOLVEX", "/nonexistent/tolvex");
        const uint pid =
            QDBusConnection::sessionBus().interface()->servicePid(tolvex::serviceName());
        QVERIFY(pid > 0);
        ::kill(pid_t(pid), SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(!m_run->lineServer().running(), 10000);

        child<QRadioButton>(m_window.get(), "Option2")->setChecked(true);
        test::whenModal<frmFax>([&](frmFax* w) {
            select(child<QListWidget>(w, "listAddress"), kLine1);
            child<QLineEdit>(w, "txtNum")->setText(QStringLiteral("2002"));
            child<QLineEdit>(w, "txtFileSend")->setText(document("x.txt", 1));
            child<QPushButton>(w, "cmdOkR")->click();
        });
        m_window->toolbarButton(1)->trigger();
        qputenv("ORVANE_TOLVEX", tolvexProgram);
        QVERIFY2(m_messages->texts().contains(QStringLiteral("Unable To Send Fax")),
                 qPrintable(m_messages->texts().join(u'|')));
        QVERIFY(m_window->isEnabled());
        QVERIFY(!m_window->running());
        QVERIFY(child<QAction>(m_window.get(), "mRStart")->isEnabled());
        QVERIFY(m_run->lineServer().ensureRunning());
    }
};

QTEST_MAIN(TestFaxWindow)
#include "TestFaxWindow.moc"
