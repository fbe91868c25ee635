// The call-flow tree of the main window and the dialogs it opens: the rings and record time
// dialogs with their arrows and bounds, the play selection, the voice properties and the
// about window.

#include "DesktopTesting.h"
#include "database/MessagePlayTable.h"
#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Twips.h"
#include "desktop/common/UpDown.h"
#include "desktop/dialogs/NumberDialog.h"
#include "desktop/dialogs/frmSplash.h"
#include "desktop/dialogs/frmVoice.h"
#include "desktop/main/frmMain.h"
#include "desktop/records/frmPlay.h"
#include "desktop/run/DesktopRun.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QTreeWidget>

using namespace orvane;

namespace {

QTreeWidgetItem* node(QTreeWidget* tree, const QString& text)
{
    const QList<QTreeWidgetItem*> found =
        tree->findItems(text, Qt::MatchStartsWith | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

QStringList texts(QTreeWidgetItem* parent)
{
    QStringList t;
    for (int i = 0; i < parent->childCount(); ++i)
        t << parent->child(i)->text(0);
    return t;
}

// Runs `steps` on the number dialog that opens and records the box after each.
template <typename Dialog>
void onNumberDialog(std::function<void(Dialog*, QLineEdit*, UpDown*)> steps)
{
    test::whenModal<Dialog>([steps](Dialog* dialog) {
        steps(dialog, dialog->template findChild<QLineEdit*>(),
              dialog->template findChild<UpDown*>("UpDown1"));
    });
}

} // namespace

class TestFlowAndDialogs : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    std::unique_ptr<DesktopRun> m_run;
    std::unique_ptr<frmMain> m_window;

    QTreeWidget* tree() { return m_window->tree(); }

    void edit(const QString& startOfText)
    {
        QTreeWidgetItem* item = node(tree(), startOfText);
        QVERIFY2(item, qPrintable(startOfText));
        tree()->setCurrentItem(item);
        m_window->EditFlowNode();
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("ORVANE_HOME", QFile::encodeName(m_home.path()));
        m_messages = std::make_unique<test::MessageRecorder>();
        QVERIFY(programfolder::prepare());
        m_run = std::make_unique<DesktopRun>();
        m_window = std::make_unique<frmMain>(*m_run);
        m_window->show();
    }

    void init() { m_messages->shown.clear(); }
    // A failed test must not leave a watch behind for the next one's dialog.
    void cleanup() { test::forgetModalWatches(); }

    void theDefaultFlow()
    {
        QCOMPARE(tree()->topLevelItemCount(), 2);
        QTreeWidgetItem* begin = tree()->topLevelItem(0);
        QTreeWidgetItem* end = tree()->topLevelItem(1);
        QCOMPARE(begin->text(0), QStringLiteral("Begin"));
        QVERIFY(begin->isExpanded());
        QCOMPARE(texts(begin),
                 QStringList({"Rings - 3", "Answer", "Play File - " + programfolder::greetingFile(),
                              "Record File - 5 sec"}));
        QCOMPARE(end->text(0), QStringLiteral("End"));
        QCOMPARE(end->childCount(), 0);
        QCOMPARE(tree()->currentItem()->text(0), QStringLiteral("Rings - 3"));
        QCOMPARE(begin->child(0)->data(0, Qt::UserRole).toString(), QStringLiteral("BChildRing0"));
        QCOMPARE(begin->child(3)->data(0, Qt::UserRole).toString(), QStringLiteral("BChildRec0"));
        // Collapsing and expanding change the image.
        const qint64 open = begin->icon(0).cacheKey();
        begin->setExpanded(false);
        QVERIFY(begin->icon(0).cacheKey() != open);
        begin->setExpanded(true);
        QCOMPARE(begin->icon(0).cacheKey(), open);
    }

    void beginEndAndAnswerHaveNothingToEdit()
    {
        bool opened = false;
        test::whenModal<QDialog>([&opened](QDialog* dialog) {
            opened = true;
            dialog->reject();
        });
        for (const char* text : {"Begin", "End", "Answer"}) {
            QTreeWidgetItem* item = node(tree(), text);
            QTest::mouseDClick(tree()->viewport(), Qt::LeftButton, {},
                               tree()->visualItemRect(item).center());
        }
        QVERIFY(!opened);
        // The tree menu: Edit is off on the answer step only.
        tree()->setCurrentItem(node(tree(), "Answer"));
        m_window->treeMenuRequested(m_window->mapToGlobal(QPoint(50, 50)));
        QVERIFY(!m_window->findChild<QAction*>("mTProp")->isEnabled());
        m_window->findChild<QMenu*>("mTree")->hide();
        tree()->setCurrentItem(node(tree(), "Begin"));
        m_window->treeMenuRequested(m_window->mapToGlobal(QPoint(50, 50)));
        QVERIFY(m_window->findChild<QAction*>("mTProp")->isEnabled());
        m_window->findChild<QMenu*>("mTree")->hide();
        // A right press does not move the selection.
        QTest::mousePress(tree()->viewport(), Qt::RightButton, {},
                          tree()->visualItemRect(node(tree(), "Rings")).center());
        m_window->findChild<QMenu*>("mTree")->hide();
        QCOMPARE(tree()->currentItem()->text(0), QStringLiteral("Begin"));
        QVERIFY(!opened);
    }

    void theRingArrowsStopAtTheirBounds()
    {
        AnsweringSettings.Rings = 14;
        QStringList shown;
        onNumberDialog<frmRings>([&shown](frmRings* dialog, QLineEdit* box, UpDown* arrows) {
            QCOMPARE(box->text(), QStringLiteral("14"));
            QCOMPARE(box->maxLength(), 2);
            arrows->upButton()->click();
            shown << box->text();
            arrows->upButton()->click();
            shown << box->text();
            dialog->findChild<QPushButton*>("cmdCancel")->click();
        });
        edit("Rings");
        QCOMPARE(shown, QStringList({"15", "15"}));
        QCOMPARE(AnsweringSettings.Rings, qint16(14));
        QCOMPARE(node(tree(), "Rings")->text(0), QStringLiteral("Rings - 14"));

        AnsweringSettings.Rings = 3;
        shown.clear();
        onNumberDialog<frmRings>([&shown](frmRings* dialog, QLineEdit* box, UpDown* arrows) {
            for (int i = 0; i < 3; ++i) {
                arrows->downButton()->click();
                shown << box->text();
            }
            dialog->findChild<QPushButton*>("cmdOk")->click();
        });
        edit("Rings");
        QCOMPARE(shown, QStringList({"2", "1", "1"}));
        QCOMPARE(AnsweringSettings.Rings, qint16(1));
        QCOMPARE(node(tree(), "Rings")->text(0), QStringLiteral("Rings - 1"));
    }

    void theKeyboardReachesTheStepsAndTheArrows()
    {
        // Return on a step opens its dialog; Up and Down in the box step as the arrows do.
        AnsweringSettings.Rings = 3;
        QStringList shown;
        onNumberDialog<frmRings>([&shown](frmRings* dialog, QLineEdit* box, UpDown*) {
            QTest::keyClick(box, Qt::Key_Up);
            shown << box->text();
            QTest::keyClick(box, Qt::Key_Up);
            shown << box->text();
            QTest::keyClick(box, Qt::Key_Down);
            shown << box->text();
            dialog->findChild<QPushButton*>("cmdOk")->click();
        });
        tree()->setCurrentItem(node(tree(), "Rings"));
        tree()->setFocus();
        QTest::keyClick(tree(), Qt::Key_Return);
        QCOMPARE(shown, QStringList({"4", "5", "4"}));
        QCOMPARE(AnsweringSettings.Rings, qint16(4));
        QCOMPARE(node(tree(), "Rings")->text(0), QStringLiteral("Rings - 4"));

        // The menu key and Shift+F10 open the tree menu at the step.
        auto* menu = m_window->findChild<QMenu*>("mTree");
        QTest::keyClick(tree(), Qt::Key_Menu);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
        QTest::keyClick(tree(), Qt::Key_F10, Qt::ShiftModifier);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
        AnsweringSettings.Rings = 3;
        node(tree(), "Rings")->setText(0, QStringLiteral("Rings - 3"));

        // Help and Exit have the desktop's keys.
        QCOMPARE(m_window->findChild<QAction*>("mHelpView")->shortcut(),
                 QKeySequence(QKeySequence::HelpContents));
        QCOMPARE(m_window->findChild<QAction*>("mFExit")->shortcut(),
                 QKeySequence(QKeySequence::Quit));
    }

    void theArrowsStepFromWhatIsTypedAndNonsenseIsRefused()
    {
        AnsweringSettings.Rings = 3;
        QString afterUp;
        bool stayedOpen = false;
        onNumberDialog<frmRings>([&](frmRings* dialog, QLineEdit* box, UpDown* arrows) {
            box->setText("7");
            arrows->upButton()->click();
            afterUp = box->text();
            box->setText("x9");
            dialog->findChild<QPushButton*>("cmdOk")->click();
            stayedOpen = dialog->isVisible();
            box->setText("16");
            dialog->findChild<QPushButton*>("cmdOk")->click();
            stayedOpen = stayedOpen && dialog->isVisible();
            box->setText("12");
            dialog->findChild<QPushButton*>("cmdOk")->click();
        });
        edit("Rings");
        QCOMPARE(afterUp, QStringLiteral("8"));
        QVERIFY(stayedOpen);
        QCOMPARE(m_messages->texts(), QStringList({"Enter a whole number from 1 to 15.",
                                                   "Enter a whole number from 1 to 15."}));
        QCOMPARE(AnsweringSettings.Rings, qint16(12));
        AnsweringSettings.Rings = 3;
    }

    void theRecordTimeGoesUpToSixty()
    {
        AnsweringSettings.RecordTime = 59;
        QStringList shown;
        onNumberDialog<frmRecord>([&shown](frmRecord* dialog, QLineEdit* box, UpDown* arrows) {
            QVERIFY(dialog->findChild<QLabel*>("lblSec"));
            arrows->upButton()->click();
            shown << box->text();
            arrows->upButton()->click();
            shown << box->text();
            dialog->findChild<QPushButton*>("cmdCancel")->click();
        });
        edit("Record File");
        QCOMPARE(shown, QStringList({"60", "60"}));
        AnsweringSettings.RecordTime = 5;
        // Cancel rewrites the text from the unchanged setting.
        onNumberDialog<frmRecord>([](frmRecord* dialog, QLineEdit*, UpDown*) {
            dialog->findChild<QPushButton*>("cmdCancel")->click();
        });
        edit("Record File");
        QCOMPARE(node(tree(), "Record File")->text(0), QStringLiteral("Record File - 5 sec"));
    }

    void choosingAMessageThroughThePlayStepShowsIt()
    {
        Database db;
        QVERIFY(db.OpenDatabase(programfolder::path()));
        QVERIFY(messageplay::add(db, "Please call back tomorrow."));
        db.CloseDatabase();
        test::whenModal<frmPlay>([](frmPlay* play) {
            auto* grid = play->findChild<MSFlexGrid*>("MSFlexGrid1");
            test::clickRow(grid, 1);
            play->findChild<QPushButton*>("cmdOk")->click();
        });
        edit("Play");
        QCOMPARE(node(tree(), "Play")->text(0),
                 QStringLiteral("Play Message - Please call back tomorrow."));
        // "&Record Message" writes the Play step too.
        test::whenModal<frmPlay>([](frmPlay* play) {
            play->findChild<QTabWidget*>("SSTab1")->setCurrentIndex(1);
            play->findChild<QLineEdit*>("txtPlay")->setText(programfolder::greetingFile());
            play->findChild<QPushButton*>("cmdOk")->click();
        });
        m_window->findChild<QAction*>("mFileRecord")->trigger();
        QCOMPARE(node(tree(), "Play")->text(0), "Play File - " + programfolder::greetingFile());
    }

    void theVoiceDialogOffersTheRangesAndStoresTheChoice()
    {
        resetAnsweringSettings(programfolder::greetingFile());
        {
            frmVoice dialog(m_window.get());
            auto* rate = dialog.findChild<QComboBox*>("cmbRate");
            auto* volume = dialog.findChild<QComboBox*>("cmbVolume");
            auto* voice = dialog.findChild<QComboBox*>("cmbVoice");
            QCOMPARE(dialog.windowTitle(), QStringLiteral("Voice Properties :"));
            QCOMPARE(rate->count(), 21);
            QCOMPARE(rate->currentText(), QStringLiteral("0"));
            QCOMPARE(volume->count(), 100);
            QCOMPARE(volume->itemText(0), QStringLiteral("1")); // 0 is not offered
            QCOMPARE(volume->currentText(), QStringLiteral("50"));
            QCOMPARE(voice->currentIndex(), 0);
            QVERIFY(voice->count() > 1);
            rate->setCurrentIndex(rate->findText("-10"));
            volume->setCurrentIndex(volume->findText("1"));
            voice->setCurrentIndex(1);
            dialog.findChild<QPushButton*>("cmdOk")->click();
        }
        QCOMPARE(AnsweringSettings.Rate, qint16(-10));
        QCOMPARE(AnsweringSettings.Volume, qint16(1));
        QCOMPARE(AnsweringSettings.Voice, qint16(1));
        {
            frmVoice dialog(m_window.get());
            QCOMPARE(dialog.findChild<QComboBox*>("cmbRate")->currentText(), QStringLiteral("-10"));
            QCOMPARE(dialog.findChild<QComboBox*>("cmbVolume")->currentText(), QStringLiteral("1"));
            QCOMPARE(dialog.findChild<QComboBox*>("cmbVoice")->currentIndex(), 1);
            dialog.findChild<QComboBox*>("cmbRate")->setCurrentIndex(0);
            dialog.findChild<QPushButton*>("cmdCancel")->click();
        }
        QCOMPARE(AnsweringSettings.Rate, qint16(-10));
        // A voice no longer installed: said so, nothing selected, and OK keeps the setting.
        AnsweringSettings.Voice = 5000;
        {
            frmVoice dialog(m_window.get());
            QCOMPARE(m_messages->texts(), QStringList{"Cannot Initialize Text To Speech"});
            QCOMPARE(m_messages->shown.first().icon, QMessageBox::Warning);
            QCOMPARE(dialog.findChild<QComboBox*>("cmbVoice")->currentIndex(), -1);
            dialog.findChild<QPushButton*>("cmdOk")->click();
        }
        QCOMPARE(AnsweringSettings.Voice, qint16(5000));
        resetAnsweringSettings(programfolder::greetingFile());
    }

    void theAboutWindowSitsBesideTheMainWindowAndClosesOnAnything()
    {
        m_window->move(twips::px(1000), twips::px(2000));
        {
            frmSplash about(m_window.get());
            // No title bar with the program's name in it, but a title for the task switcher
            // and screen readers.
            QVERIFY(about.windowFlags() & Qt::FramelessWindowHint);
            QCOMPARE(about.windowTitle(), QStringLiteral("About Orvane"));
            const QRect owner = m_window->frameGeometry();
            QCOMPARE(about.pos(),
                     QPoint(owner.left() + twips::px(130), owner.top() + twips::px(1300)));
            about.show();
            QTest::mouseClick(about.findChild<QLabel*>("lblWarning"), Qt::LeftButton,
                              Qt::NoModifier, QPoint(2, 2));
            QVERIFY(!about.isVisible());
            QCOMPARE(about.result(), int(QDialog::Accepted));
        }
        {
            frmSplash about(m_window.get());
            about.show();
            QTest::keyClick(&about, Qt::Key_Space);
            QVERIFY(!about.isVisible());
        }
        {
            frmSplash about(m_window.get());
            about.show();
            QTest::mouseClick(about.findChild<QLabel*>("Image3"), Qt::LeftButton, Qt::NoModifier,
                              QPoint(2, 2));
            QVERIFY(!about.isVisible());
            QVERIFY(!about.findChild<QLabel*>("Image1")->pixmap().isNull());
        }
    }
};

QTEST_MAIN(TestFlowAndDialogs)
#include "TestFlowAndDialogs.moc"
