// The desktop program as a Linux desktop expects it: every control a screen reader can name,
// message boxes wide enough for their title, Help's pages that exist, and the desktop's own
// folder dialog in the fax window.

#include "DesktopTesting.h"
#include "desktop/common/Translations.h"
#include "desktop/dialogs/NumberDialog.h"
#include "desktop/dialogs/frmSplash.h"
#include "desktop/dialogs/frmVoice.h"
#include "desktop/fax/FolderChooser.h"
#include "desktop/fax/frmFax.h"
#include "desktop/records/frmNewMess.h"
#include "desktop/records/frmPlay.h"
#include "desktop/records/frmRecordList.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSet>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QXmlStreamReader>

#include <algorithm>
#include <functional>
#include <vector>

using namespace orvane;

namespace {

bool interactive(const QWidget* w)
{
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractItemView*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QTextEdit*>(w) || qobject_cast<const QTabBar*>(w);
}

// The interactive controls of `window` shown now that a screen reader finds no name for.
QStringList nameless(QWidget* window)
{
    QStringList missing;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (!interactive(w) || !w->isVisibleTo(window))
            continue;
        // A combo box's own line edit and an item view's scroll bars are parts of their
        // control, named with it.
        // So are a grid's header and a scroll area's scroll bars.
        QWidget* parent = w->parentWidget();
        if (qobject_cast<QComboBox*>(parent) || qobject_cast<QHeaderView*>(w) ||
            (qobject_cast<QAbstractSlider*>(w) && parent &&
             (parent->inherits("QAbstractScrollArea") ||
              parent->objectName().startsWith(QLatin1String("qt_scrollarea")))) ||
            w->objectName().startsWith(QLatin1String("qt_")))
            continue;
        // A name without a word ("....") says nothing. A combo box's name on Linux is its
        // current text; a screen reader names it by its label, or by a name of its own.
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
        QString name = a ? a->text(QAccessible::Name) : QString();
        if (qobject_cast<QComboBox*>(w))
            name =
                !w->accessibleName().isEmpty() || (a && !a->relations(QAccessible::Label).isEmpty())
                    ? QStringLiteral("named")
                    : QString();
        if (std::none_of(name.cbegin(), name.cend(), [](QChar c) { return c.isLetter(); }))
            missing << QStringLiteral("%1 (%2)").arg(
                w->objectName(), QString::fromLatin1(w->metaObject()->className()));
    }
    return missing;
}

// Pairs of controls of `window` that overlap as it is laid out now, or that reach out of
// their parent: controls that take input or show text (pictures may lie under text).
QStringList overlaps(QWidget* window)
{
    QList<QWidget*> controls;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const auto* label = qobject_cast<QLabel*>(w);
        const bool shown = w->isVisibleTo(window) && !w->objectName().isEmpty() &&
                           !w->objectName().startsWith(QLatin1String("qt_"));
        if (shown && ((interactive(w) && !qobject_cast<QComboBox*>(w->parentWidget())) ||
                      (label && label->pixmap().isNull() && !label->text().isEmpty())))
            controls.append(w);
    }
    QStringList found;
    for (QWidget* a : controls) {
        const QRect inside = a->parentWidget()->rect();
        if (!inside.contains(a->geometry()))
            found << QStringLiteral("%1 out of its parent").arg(a->objectName());
        for (QWidget* b : controls)
            if (a < b && a->parentWidget() == b->parentWidget() &&
                a->geometry().intersects(b->geometry()))
                found << QStringLiteral("%1 over %2").arg(a->objectName(), b->objectName());
    }
    return found;
}

// The desktop's text at its usual size and larger (a user's font setting, "large text");
// the described first sizes stay, the layouts must make room.
void textSizes()
{
    QTest::addColumn<double>("scale");
    QTest::newRow("text 100 %") << 1.0;
    QTest::newRow("text 125 %") << 1.25;
    QTest::newRow("text 150 %") << 1.5;
}

// Sets the program's text to `scale` times the usual size until it goes.
struct TextSize {
    QFont usual = QApplication::font();
    explicit TextSize(double scale)
    {
        QFont larger = usual;
        larger.setPointSizeF(usual.pointSizeF() * scale);
        QApplication::setFont(larger);
    }
    ~TextSize() { QApplication::setFont(usual); }
};

// Every text `window` shows, or names its controls by for screen readers, keyed by where it
// is (the same key in a second window built the same way).
QMap<QString, QString> textsOf(QWidget* window)
{
    QMap<QString, QString> texts;
    const auto add = [&](const QString& where, const QString& text) {
        if (std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.isLetter(); }))
            texts.insert(where, text);
    };
    add(QStringLiteral("title"), window->windowTitle());
    int index = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        const QString at = QStringLiteral("%1 %2 ").arg(++index).arg(w->objectName());
        add(at + "tooltip", w->toolTip());
        add(at + "name", w->accessibleName());
        add(at + "description", w->accessibleDescription());
        if (auto* b = qobject_cast<QAbstractButton*>(w))
            add(at + "text", b->text());
        if (auto* l = qobject_cast<QLabel*>(w))
            add(at + "text", l->text());
        if (auto* tabs = qobject_cast<QTabWidget*>(w))
            for (int t = 0; t < tabs->count(); ++t)
                add(at + QString::number(t), tabs->tabText(t));
        if (auto* grid = qobject_cast<MSFlexGrid*>(w))
            for (int c = 0; c < grid->cols(); ++c) {
                add(at + QStringLiteral("header %1").arg(c), grid->textMatrix(0, c));
                if (grid->rows() > 1 && grid->textMatrix(1, c) == QLatin1String("No Records"))
                    add(at + QStringLiteral("empty %1").arg(c), grid->textMatrix(1, c));
            }
        if (auto* tree = qobject_cast<QTreeWidget*>(w))
            for (QTreeWidgetItemIterator it(tree); *it; ++it)
                add(at + QString::number(index++), (*it)->text(0));
    }
    for (QAction* a : window->findChildren<QAction*>()) {
        const QString at = QStringLiteral("action %1 ").arg(a->objectName());
        if (a->objectName().isEmpty())
            continue;
        add(at + "text", a->text());
        add(at + "tooltip", a->toolTip());
    }
    return texts;
}

// The texts the German translation keeps as they are in English (Status).
QSet<QString> keptInGerman()
{
    QFile ts(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../../desktop/translations/orvane_de.ts"));
    QSet<QString> kept;
    if (!ts.open(QIODevice::ReadOnly))
        return kept;
    QXmlStreamReader xml(&ts);
    QString source;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("source"))
            source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation") && xml.readElementText() == source)
            kept.insert(source);
    }
    return kept;
}

// What `look` finds in `window` as it is shown now and on every page of its tabs.
QStringList onEveryPage(QWidget* window, const std::function<QStringList(QWidget*)>& look)
{
    QStringList found = look(window);
    for (QTabWidget* tabs : window->findChildren<QTabWidget*>())
        for (int page = 0; page < tabs->count(); ++page) {
            tabs->setCurrentIndex(page);
            QCoreApplication::processEvents();
            found += look(window);
        }
    found.removeDuplicates();
    return found;
}

} // namespace

class TestDesktopAtHome : public QObject {
    Q_OBJECT

    QTemporaryDir m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
    std::unique_ptr<DesktopRun> m_run;
    std::unique_ptr<frmMain> m_window;

    void checkNamed(QWidget* window)
    {
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        const QStringList missing = onEveryPage(window, nameless);
        QVERIFY2(missing.isEmpty(), qPrintable(window->objectName() + QStringLiteral(": ") +
                                               missing.join(QStringLiteral(", "))));
        window->hide();
    }

    // Every window but the main one, owned by `owner`.
    std::vector<std::unique_ptr<QWidget>> dialogs(QWidget* owner)
    {
        std::vector<std::unique_ptr<QWidget>> all;
        all.emplace_back(new frmRings(owner));
        all.emplace_back(new frmRecord(owner));
        all.emplace_back(new frmVoice(owner));
        all.emplace_back(new frmSplash(owner));
        all.emplace_back(new frmPlay(owner));
        all.emplace_back(new frmNewMess(owner));
        all.emplace_back(new frmRecordList(owner));
        all.emplace_back(new frmAddress(*m_run, owner));
        all.emplace_back(new frmFax(*m_run, owner));
        return all;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("ORVANE_HOME", QFile::encodeName(m_home.path()));
        m_messages = std::make_unique<test::MessageRecorder>();
        QVERIFY(programfolder::prepare());
        m_run = std::make_unique<DesktopRun>();
        m_window = std::make_unique<frmMain>(*m_run);
    }

    void everyControlHasAName()
    {
        checkNamed(m_window.get());
        for (const auto& window : dialogs(m_window.get()))
            checkNamed(window.get());
    }

    void theKeyboardReachesEveryCommand()
    {
        // Each toolbar button's command is in a menu (reached with Alt and the underlined
        // letters) or has a key of its own.
        const QMap<QString, QString> inMenus{{"Start", "mRStart"},       {"Stop", "mRStop"},
                                             {"Modem", "mOModem"},       {"Record", "mFileRecord"},
                                             {"Settings", "mOSettings"}, {"Calls", "mVIncom"},
                                             {"Help", "mHelpView"},      {"Exit", "mFExit"}};
        for (int position = 1; position <= 9; ++position) {
            QAction* button = m_window->toolbarButton(position);
            const QString menuItem = inMenus.value(button->objectName());
            if (!menuItem.isEmpty()) {
                auto* item = m_window->findChild<QAction*>(menuItem);
                QVERIFY2(item && item->text().contains(u'&'), qPrintable(menuItem));
            } else {
                QVERIFY2(!button->shortcut().isEmpty(), qPrintable(button->objectName()));
            }
        }
        // No key is taken twice.
        QList<QKeySequence> taken;
        for (QAction* action : m_window->findChildren<QAction*>())
            if (!action->shortcut().isEmpty())
                taken << action->shortcut();
        for (const QKeySequence& key : std::as_const(taken))
            QCOMPARE(taken.count(key), 1);
    }

    void noControlOverlapsAnotherAtAnySize_data() { textSizes(); }
    void noControlOverlapsAnotherAtAnySize()
    {
        // The main window at its first size, at 1280x800 maximised, and as small as it goes.
        QFETCH(double, scale);
        TextSize text(scale);
        frmMain window(*m_run);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QSize first = window.size();
        if (scale == 1.0) // fits a 1280x800 screen at 150 % scale, as the dialogs below
            QVERIFY(window.minimumSizeHint().boundedTo(QSize(853, 480)) ==
                    window.minimumSizeHint());
        for (const QSize size : {first, QSize(1280, 800), window.minimumSizeHint()}) {
            window.resize(size);
            QCoreApplication::processEvents();
            const QStringList found = overlaps(&window);
            QVERIFY2(found.isEmpty(),
                     qPrintable(QStringLiteral("%1x%2: ").arg(size.width()).arg(size.height()) +
                                found.join(QStringLiteral(", "))));
            // No toolbar caption is cut.
            auto* toolbar = window.findChild<QToolBar*>(QStringLiteral("ToolMExecute"));
            for (int position = 1; position <= 9; ++position) {
                QWidget* button = toolbar->widgetForAction(window.toolbarButton(position));
                QVERIFY(button->isVisible());
                QVERIFY(button->size().expandedTo(button->sizeHint()) == button->size());
            }
        }
        window.resize(first);
        // The grid's status column takes the room the window gives it.
        window.resize(1280, 800);
        QCoreApplication::processEvents();
        QVERIFY(window.statusGrid()->width() > first.width() - 40);
    }

    void noControlOfADialogOverlapsAnother_data() { textSizes(); }
    void noControlOfADialogOverlapsAnother()
    {
        QFETCH(double, scale);
        TextSize text(scale);
        for (const auto& owned : dialogs(m_window.get())) {
            QWidget* window = owned.get();
            // The about window is a fixed picture whose described warning runs under its
            // Close button.
            if (qobject_cast<frmSplash*>(window))
                continue;
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window));
            const QSize first = window->size();
            // At the usual text size every window fits a 1280x800 screen at 150 % scale
            // (853x533), below a title bar and beside a panel.
            if (scale == 1.0)
                QVERIFY2(window->minimumSize().boundedTo(QSize(853, 480)) == window->minimumSize(),
                         qPrintable(window->objectName()));
            QList<QSize> sizes{first};
            if (window->minimumSize() != window->maximumSize())
                sizes << window->minimumSize() << QSize(1280, 760);
            for (const QSize size : sizes) {
                window->resize(size);
                QCoreApplication::processEvents();
                const QStringList found = onEveryPage(window, overlaps);
                QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("%1 at %2x%3: ")
                                                         .arg(window->objectName())
                                                         .arg(size.width())
                                                         .arg(size.height()) +
                                                     found.join(QStringLiteral(", "))));
            }
            window->hide();
        }
    }

    void aMessageWhileTheWindowIsInTheTrayDoesNotEndTheProgram()
    {
        // Run as the program runs (in exec, where Qt quits by itself): the window goes to the
        // tray, a line's message comes and is closed, and the program must go on answering;
        // closing the window ends it.
        frmMain window(*m_run);
        window.endsTheProgram();
        int quitsAfterTheMessage = -1;
        struct QuitCounter : QObject {
            int count = 0;
            bool swallow = true;
            bool eventFilter(QObject*, QEvent* e) override
            {
                if (e->type() != QEvent::Quit)
                    return false;
                ++count;
                return swallow;
            }
        } quits;
        qApp->installEventFilter(&quits);
        QTimer::singleShot(0, &window, [&] {
            window.show();
            window.hide(); // in the tray
            const std::unique_ptr<QMessageBox> box =
                Messages::box({QStringLiteral("Line 1 cannot take calls"), tr("Answering Machine"),
                               QMessageBox::Information, QMessageBox::Ok, QString()});
            box->show();
            box->close();
            // After whatever the box's closing posted.
            QTimer::singleShot(0, &window, [&] {
                quitsAfterTheMessage = quits.count;
                quits.swallow = false;
                window.show();
                window.close();
            });
        });
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, qApp, [&] {
            quits.swallow = false;
            QCoreApplication::exit(1);
        });
        guard.start(20000);
        const int rc = QCoreApplication::exec();
        qApp->removeEventFilter(&quits);
        QCOMPARE(quitsAfterTheMessage, 0);
        QCOMPARE(rc, 0); // ended by the window's close, not by the guard
        QCOMPARE(quits.count, 1);
    }

    void onlineSupportAndFeedbackLeadToTheHelpPage()
    {
        // No web site to lead to: sections of the help page that is there.
        QFile page(programfolder::helpPage());
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QByteArray html = page.readAll();
        for (const char* section : {"support", "feedback"}) {
            const QUrl url = frmMain::helpSection(QLatin1String(section));
            QVERIFY(url.isLocalFile());
            QCOMPARE(url.toLocalFile(), programfolder::helpPage());
            QVERIFY2(html.contains("id=\"" + QByteArray(section) + "\""), section);
        }
    }

    void theFaxWindowChoosesFoldersWithTheDesktopsDialog()
    {
        QTemporaryDir chosen;
        QVERIFY(QDir(chosen.path()).mkdir(QStringLiteral("Letters")));
        QString askedWith;
        FolderChooser::setFolderDialog([&](QWidget*, const QString& title, const QString&) {
            askedWith = title;
            return chosen.path();
        });
        frmFax fax(*m_run, m_window.get());
        fax.show();
        auto* button = fax.findChild<QToolButton*>(QStringLiteral("cmdDir"));
        QVERIFY(button && button->isVisible());
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(askedWith, QStringLiteral("Directory Where Send Files will be Saved"));
        // The described controls follow: the box shows it, the list its sub-folders.
        QCOMPARE(fax.findChild<QLineEdit*>(QStringLiteral("txtDir"))->text(), chosen.path());
        QVERIFY(!fax.findChild<QListWidget*>(QStringLiteral("Dir1"))
                     ->findItems(QStringLiteral("Letters"), Qt::MatchExactly)
                     .isEmpty());
        // Cancelled, nothing changes.
        FolderChooser::setFolderDialog(
            [](QWidget*, const QString&, const QString&) { return QString(); });
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(fax.findChild<QLineEdit*>(QStringLiteral("txtDir"))->text(), chosen.path());
        FolderChooser::setFolderDialog({});
    }

    void theWindowsSpeakTheLanguageOfTheLocale()
    {
        QVERIFY(translations::install(QLocale(QLocale::German, QLocale::Germany)));
        {
            frmMain german(*m_run);
            QCOMPARE(german.findChild<QMenu*>(QStringLiteral("mFile"))->title(),
                     QStringLiteral("&Datei"));
            QCOMPARE(german.findChild<QRadioButton*>(QStringLiteral("Option1"))->text(),
                     QStringLiteral("Anrufbeantworter"));
            QCOMPARE(german.toolbarButton(3)->toolTip(), QStringLiteral("Telefoniegeräte"));
            QCOMPARE(german.statusGrid()->textMatrix(0, 1), QStringLiteral("Gerätename"));
            // The other windows too.
            frmFax fax(*m_run, &german);
            QCOMPARE(fax.findChild<QTabWidget*>(QStringLiteral("SSTab1"))->tabText(0),
                     QStringLiteral("Senden"));
            frmRecordList calls(&german);
            QCOMPARE(calls.findChild<QPushButton*>(QStringLiteral("cmdDelete"))->text(),
                     QStringLiteral("&Löschen"));
            frmRings rings(&german);
            QCOMPARE(rings.findChild<QPushButton*>(QStringLiteral("cmdCancel"))->text(),
                     QStringLiteral("&Abbrechen"));
        }
        // A language without a translation keeps the English texts, as does English.
        QVERIFY(!translations::install(QLocale(QLocale::Finnish)));
        QVERIFY(!translations::install(QLocale(QLocale::English)));
        frmMain english(*m_run);
        QCOMPARE(english.findChild<QMenu*>(QStringLiteral("mFile"))->title(),
                 QStringLiteral("&File"));
        QCOMPARE(english.toolbarButton(5)->text(), QStringLiteral("   Voice   "));
        translations::remove();
    }

    void noWindowShowsEnglishUnderGerman()
    {
        // Each window built in English and in German: a text that stays the same is one that
        // never went through the translation, unless the translator kept it. (Line names,
        // paths and the program's name are not texts of ours.)
        const QSet<QString> kept = keptInGerman();
        QVERIFY(!kept.isEmpty());
        QList<QMap<QString, QString>> english;
        {
            frmMain main(*m_run);
            english << textsOf(&main);
            for (const auto& w : dialogs(&main))
                english << textsOf(w.get());
        }
        QVERIFY(translations::install(QLocale(QLocale::German, QLocale::Germany)));
        const auto back = qScopeGuard([] { translations::remove(); });
        QList<QMap<QString, QString>> german;
        {
            frmMain main(*m_run);
            german << textsOf(&main);
            for (const auto& w : dialogs(&main))
                german << textsOf(w.get());
        }
        QCOMPARE(german.size(), english.size());
        QStringList untranslated;
        for (qsizetype k = 0; k < english.size(); ++k)
            for (auto it = english[k].cbegin(); it != english[k].cend(); ++it)
                if (german[k].value(it.key()) == it.value() && !kept.contains(it.value()) &&
                    !it.value().startsWith(Messages::programTitle()) &&
                    !it.value().startsWith(QLatin1String("Simulated Line")) &&
                    !it.value().startsWith(QLatin1Char('/')))
                    untranslated << QStringLiteral("%1: \"%2\"").arg(it.key(), it.value());
        QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(QStringLiteral("\n"))));
    }

    void everyTranslationIsFinished()
    {
        // scripts/translations brings new texts in unfinished; a language that has them
        // would show them in English among its own.
        const QDir folder(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../../desktop/translations"));
        const QStringList files = folder.entryList({QStringLiteral("orvane_*.ts")});
        QVERIFY(!files.isEmpty());
        for (const QString& name : files) {
            QFile ts(folder.filePath(name));
            QVERIFY(ts.open(QIODevice::ReadOnly));
            const QByteArray text = ts.readAll();
            QVERIFY2(!text.contains("type=\"unfinished\""), qPrintable(name));
            QVERIFY2(text.contains("<translation>"), qPrintable(name));
        }
    }

    void aMessageBoxIsWideEnoughForItsTitle()
    {
        const MessageRequest request{QStringLiteral("Done."),
                                     QStringLiteral("Answering Machine and Fax Machine"),
                                     QMessageBox::Information, QMessageBox::Ok, QString()};
        const std::unique_ptr<QMessageBox> box = Messages::box(request);
        box->show();
        QVERIFY(QTest::qWaitForWindowExposed(box.get()));
        const int title = QFontMetrics(QApplication::font("QMdiSubWindowTitleBar"))
                              .horizontalAdvance(request.title);
        QVERIFY2(
            box->width() >= title + 100,
            qPrintable(QStringLiteral("%1 wide for a title of %2").arg(box->width()).arg(title)));
        // A short title leaves the box as the toolkit sizes it.
        const std::unique_ptr<QMessageBox> small =
            Messages::box({QStringLiteral("Done."), QStringLiteral("Orvane"),
                           QMessageBox::Information, QMessageBox::Ok, QString()});
        small->show();
        QVERIFY(QTest::qWaitForWindowExposed(small.get()));
        QVERIFY(small->width() < box->width());
    }
};

QTEST_MAIN(TestDesktopAtHome)
#include "TestDesktopAtHome.moc"
