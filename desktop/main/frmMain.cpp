#include "desktop/main/frmMain.h"

#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/Artwork.h"
#include "desktop/common/Controls.h"
#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Twips.h"
#include "desktop/dialogs/frmSplash.h"
#include "desktop/dialogs/frmVoice.h"
#include "desktop/fax/frmFax.h"
#include "desktop/lines/frmAddress.h"
#include "desktop/main/ProductIcon.h"
#include "desktop/records/frmPlay.h"
#include "desktop/records/frmRecordList.h"
#include "desktop/run/BackgroundLines.h"
#include "desktop/run/DesktopRun.h"
#include "desktop/run/LineServer.h"
#include "desktop/run/MessageNews.h"

#include "line_server/client/AnsweringConf.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QMenuBar>
#include <QRadioButton>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

namespace orvane {

namespace {

const char* const kTitle = QT_TRANSLATE_NOOP("orvane::frmMain", "Answering Machine");
// There is no web site: support and feedback are sections of the installed help page.
const char* const kSupportSection = "support";
const char* const kFeedbackSection = "feedback";

// The main window's client area: no smaller than its described size, nor than its controls
// need (a longer translation, larger text).
class ClientArea : public QWidget {
public:
    using QWidget::QWidget;
    QSize minimumSizeHint() const override
    {
        return QWidget::minimumSizeHint().expandedTo(QSize(twips::px(6810), twips::px(5325)));
    }
};

// A toolbar that keeps every button in sight: the window grows no narrower than its buttons,
// at any text size, rather than hiding commands behind an overflow menu.
class WholeToolBar : public QToolBar {
public:
    using QToolBar::QToolBar;
    QSize minimumSizeHint() const override { return sizeHint(); }
};

} // namespace

frmMain::frmMain(DesktopRun& run)
    : m_run(run)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Orvane %1").arg(QStringLiteral(ORVANE_VERSION)));
    setWindowIcon(productIcon());

    // Loading, in order: the tray icon, the greeting, the settings, the commands, the tree,
    // the grid.
    buildMenus();
    buildControls();
    buildToolbar();
    // The first size is the described one, not what the controls would like; only wider
    // where the toolbar's captions need it (a translation's longer words, larger text).
    resize(minimumSizeHint());
    buildTray();
    sGreetingFile = programfolder::greetingFile();
    resetAnsweringSettings(sGreetingFile);
    bRunning = false;
    m_buttons.at(1)->setEnabled(false);
    mRStop->setEnabled(false);
    MSFlexGrid1->setTextMatrix(0, 0, tr("SNo."));
    MSFlexGrid1->setTextMatrix(0, 1, tr("Device Name"));
    MSFlexGrid1->setTextMatrix(0, 2, tr("Status"));
    MSFlexGrid1->setColWidthTwips(0, 420);
    MSFlexGrid1->setColWidthTwips(1, 3670);
    MSFlexGrid1->setColWidthTwips(2, 2500);
    MSFlexGrid1->setRow(0);
    BuildDefaultFlow();

    m_run.showStatusIn(MSFlexGrid1);
    connect(&m_run.lineServer(), &LineServer::lost, this, &frmMain::serverLost);
    // The standing lines, beside the window's own: in the grid's tooltip.
    BackgroundLines& background = m_run.backgroundLines();
    connect(&background, &BackgroundLines::changed, MSFlexGrid1,
            [this, &background] { MSFlexGrid1->setToolTip(background.summary()); });
    MSFlexGrid1->setToolTip(background.summary());
    followNews();
}

frmMain::~frmMain()
{
    // Termination: the tray icon goes, and every line object is released.
    if (m_tray)
        m_tray->hide();
    m_run.setTakingPuts(false);
    m_run.showStatusIn(nullptr);
    m_run.ReleaseLines();
    EvClsTapi.reset();
}

void frmMain::buildMenus()
{
    auto action = [this](QMenu* menu, const char* name, const char* caption) {
        QAction* a = menu->addAction(tr(caption));
        a->setObjectName(QLatin1String(name));
        return a;
    };
    auto menu = [this](const char* name, const char* caption) {
        QMenu* m = menuBar()->addMenu(tr(caption));
        m->setObjectName(QLatin1String(name));
        return m;
    };
    mFile = menu("mFile", QT_TR_NOOP("&File"));
    mFileRecord = action(mFile, "mFileRecord", QT_TR_NOOP("&Record Message"));
    mFExit = action(mFile, "mFExit", QT_TR_NOOP("&Exit"));
    mView = menu("mView", QT_TR_NOOP("&View"));
    mVIncom = action(mView, "mVIncom", QT_TR_NOOP("&Recorded Calls"));
    mOptions = menu("mOptions", QT_TR_NOOP("&Options"));
    mOModem = action(mOptions, "mOModem", QT_TR_NOOP("&Device"));
    mOSettings = action(mOptions, "mOSettings", QT_TR_NOOP("&Voice"));
    mOBackground = action(mOptions, "mOBackground", QT_TR_NOOP("Answer in the &Background"));
    mRun = menu("mRun", QT_TR_NOOP("&Run"));
    mRStart = action(mRun, "mRStart", QT_TR_NOOP("&Start"));
    mRStop = action(mRun, "mRStop", QT_TR_NOOP("S&top"));
    mHelp = menu("mHelp", QT_TR_NOOP("&Help"));
    mHelpView = action(mHelp, "mHelpView", QT_TR_NOOP("&Help View"));
    mSupport = action(mHelp, "mSupport", QT_TR_NOOP("&Online Support"));
    mFeedback = action(mHelp, "mFeedback", QT_TR_NOOP("&Feedback"));
    mSep = mHelp->addSeparator();
    mSep->setObjectName(QStringLiteral("mSep"));
    mAbout = action(mHelp, "mAbout", QT_TR_NOOP("&About"));

    // Popup menus, never in the menu bar.
    mSysTray = new QMenu(QStringLiteral("&SytemTray"), this);
    mSysTray->setObjectName(QStringLiteral("mSysTray"));
    mPopMin = action(mSysTray, "mPopMin", QT_TR_NOOP("&Minimize"));
    mPopRestore = action(mSysTray, "mPopRestore", QT_TR_NOOP("&Restore"));
    msExit = action(mSysTray, "msExit", QT_TR_NOOP("&Exit"));
    mTree = new QMenu(QStringLiteral("&TreeFunction"), this);
    mTree->setObjectName(QStringLiteral("mTree"));
    mTProp = action(mTree, "mTProp", QT_TR_NOOP("&Edit"));

    connect(mFileRecord, &QAction::triggered, this, &frmMain::openRecordMessage);
    mFExit->setShortcut(QKeySequence::Quit);
    mHelpView->setShortcut(QKeySequence::HelpContents);
    connect(mFExit, &QAction::triggered, this, &QWidget::close);
    connect(mVIncom, &QAction::triggered, this, [this] { openRecordedCalls(true); });
    connect(mOModem, &QAction::triggered, this, &frmMain::openDevices);
    connect(mOSettings, &QAction::triggered, this, &frmMain::openVoice);
    connect(mOBackground, &QAction::triggered, this, &frmMain::answerInBackground);
    connect(mRStart, &QAction::triggered, this, &frmMain::startFromMenu);
    connect(mRStop, &QAction::triggered, this, [this] { stop(false); });
    connect(mHelpView, &QAction::triggered, this, &frmMain::openHelp);
    connect(mSupport, &QAction::triggered, this,
            [] { QDesktopServices::openUrl(helpSection(QLatin1String(kSupportSection))); });
    connect(mFeedback, &QAction::triggered, this,
            [] { QDesktopServices::openUrl(helpSection(QLatin1String(kFeedbackSection))); });
    connect(mAbout, &QAction::triggered, this, &frmMain::openAbout);
    connect(mPopRestore, &QAction::triggered, this, &frmMain::restoreFromTray);
    connect(mPopMin, &QAction::triggered, this, &frmMain::minimizeToTray);
    connect(msExit, &QAction::triggered, this, &QWidget::close);
}

void frmMain::buildControls()
{
    // The described first size is the window's first and least: it grows from there, the
    // tree and the status grid taking the room (the grid's status column the most).
    auto* client = new ClientArea(this);
    setCentralWidget(client);
    auto* column = new QVBoxLayout(client);
    const int margin = twips::px(45);
    column->setContentsMargins(0, 0, 0, margin);
    column->setSpacing(margin);

    treeViewFun = new QTreeWidget(client);
    treeViewFun->setObjectName(QStringLiteral("treeViewFun"));
    treeViewFun->setHeaderHidden(true);
    nameForReaders(treeViewFun, tr("Call Flow"),
                   tr("How a line answers: rings, greeting and recording"));

    MSFlexGrid1 = new MSFlexGrid(client);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setCols(3);
    MSFlexGrid1->setRows(2);
    nameForReaders(MSFlexGrid1, tr("Line Status"), tr("Each line that runs and what it is doing"));
    // The status column takes what the grid has left; a status longer than that ends in
    // "..." and shows whole as its tooltip.
    MSFlexGrid1->horizontalHeader()->setStretchLastSection(true);

    // Beside the tree's upper right part, so that long node texts and the selection bar
    // never pass under their captions.
    Option1 = new QRadioButton(tr("Answering Machine"), client);
    Option1->setObjectName(QStringLiteral("Option1"));
    Option1->setChecked(true);
    Option2 = new QRadioButton(tr("Fax Machine"), client);
    Option2->setObjectName(QStringLiteral("Option2"));
    auto* modes = new QVBoxLayout;
    modes->setContentsMargins(0, twips::px(60), 0, 0);
    modes->addWidget(Option1);
    modes->addWidget(Option2);
    modes->addStretch();
    auto* flow = new QHBoxLayout;
    flow->setContentsMargins(margin, 0, margin, 0);
    flow->addWidget(treeViewFun, 1);
    flow->addLayout(modes);

    // The toolbar goes first (buildToolbar), then the tree and the grid in their described
    // proportions (3255 to 1335).
    column->addLayout(flow, 3255);
    auto* grid = new QHBoxLayout;
    grid->setContentsMargins(margin, 0, margin, 0);
    grid->addWidget(MSFlexGrid1);
    column->addLayout(grid, 1335);
}

void frmMain::buildToolbar()
{
    struct Button {
        const char* caption;
        const char* key;
        const char* tooltip;
        artwork::Glyph icon;
    };
    using artwork::Glyph;
    static const Button buttons[] = {
        {QT_TR_NOOP("Start"), "Start", QT_TR_NOOP("Start"), Glyph::Start},
        {QT_TR_NOOP("Stop"), "Stop", QT_TR_NOOP("Stop"), Glyph::Stop},
        {QT_TR_NOOP("Device"), "Modem", QT_TR_NOOP("Telephony Devices"), Glyph::Device},
        {QT_TR_NOOP("Record"), "Record", QT_TR_NOOP("Record Message"), Glyph::Record},
        {QT_TR_NOOP("   Voice   "), "Settings", QT_TR_NOOP("Voice Settings"), Glyph::Voice},
        {QT_TR_NOOP("Calls"), "Calls", QT_TR_NOOP("Recorded Calls"), Glyph::Calls},
        {QT_TR_NOOP("Fax"), "Fax", QT_TR_NOOP("Fax"), Glyph::Fax},
        {QT_TR_NOOP("Help"), "Help", QT_TR_NOOP("Help"), Glyph::Help},
        {QT_TR_NOOP("Exit"), "Exit", QT_TR_NOOP("Exit"), Glyph::Exit},
    };
    ToolMExecute = new WholeToolBar(centralWidget());
    ToolMExecute->setObjectName(QStringLiteral("ToolMExecute"));
    ToolMExecute->setMinimumHeight(twips::px(630));
    qobject_cast<QBoxLayout*>(centralWidget()->layout())->insertWidget(0, ToolMExecute);
    ToolMExecute->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    // 16 pixels at 96 dpi, larger with the desktop's font resolution (the icons carry
    // pictures up to 48 pixels).
    const int iconSize = qMax(16, qRound(16 * logicalDpiY() / 96.0));
    ToolMExecute->setIconSize(QSize(iconSize, iconSize));
    ToolMExecute->setMovable(false);
    int position = 1;
    for (const Button& b : buttons) {
        QAction* a = ToolMExecute->addAction(artwork::icon(b.icon), tr(b.caption));
        a->setObjectName(QLatin1String(b.key));
        a->setToolTip(tr(b.tooltip));
        a->setData(position);
        connect(a, &QAction::triggered, this,
                [this, position] { ToolMExecute_ButtonClick(position); });
        m_buttons.append(a);
        ++position;
    }
    // The Fax button is the one command no menu carries: a key of its own reaches it.
    m_buttons.at(6)->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    m_buttons.at(6)->setShortcutContext(Qt::WindowShortcut);
}

QAction* frmMain::toolbarButton(int position) const
{
    return position >= 1 && position <= m_buttons.size() ? m_buttons.at(position - 1) : nullptr;
}

void frmMain::buildTray()
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return; // without a tray, minimising works as usual
    m_tray = new QSystemTrayIcon(windowIcon(), this);
    m_tray->setToolTip(m_trayToolTip);
    connect(m_tray, &QSystemTrayIcon::activated, this, &frmMain::trayActivated);
    m_tray->show();
}

void frmMain::ToolMExecute_ButtonClick(int position)
{
    switch (position) {
    case 1:
        startFromToolbar();
        break;
    case 2:
        stop(true);
        break;
    case 3:
        openDevices();
        break;
    case 4:
        openRecordMessage();
        break;
    case 5:
        openVoice();
        break;
    case 6:
        openRecordedCalls(false);
        break;
    case 7:
        // Straight to the fax window: Start in the fax machine's mode.
        Option2->setChecked(true);
        startFromToolbar();
        break;
    case 8:
        openHelp();
        break;
    case 9:
        close();
        break;
    default:
        break;
    }
}

// --- run control -----------------------------------------------------------------------

void frmMain::setRunLocked(bool locked, bool modeButtonsToo)
{
    for (int position : {1, 3, 4, 5, 7})
        m_buttons.at(position - 1)->setEnabled(!locked);
    for (QAction* item : {mFileRecord, mOModem, mOSettings, mRStart})
        item->setEnabled(!locked);
    m_buttons.at(1)->setEnabled(locked);
    mRStop->setEnabled(locked);
    if (modeButtonsToo) {
        Option1->setEnabled(!locked);
        Option2->setEnabled(!locked);
    }
}

void frmMain::startBegins()
{
    if (m_outcomeShown) {
        m_outcomeShown = false;
        MSFlexGrid1->setRows(2);
        MSFlexGrid1->setTextMatrix(0, 2, tr("Status"));
        for (int c = 0; c < 3; ++c)
            MSFlexGrid1->setTextMatrix(1, c, QString());
    }
    m_run.setTakingPuts(true);
}

void frmMain::startCancelled()
{
    m_run.setTakingPuts(false);
    MSFlexGrid1->setRow(1);
    MSFlexGrid1->setCol(2);
    MSFlexGrid1->setTextMatrix(1, 2, QString());
    mFileRecord->setEnabled(true);
    mOModem->setEnabled(true);
    bRunning = false;
}

void frmMain::started(bool fromToolbar)
{
    setRunLocked(true, fromToolbar);
    bRunning = true;
}

void frmMain::startFromMenu()
{
    startBegins();
    frmAddress window(m_run, this);
    if (window.PopUp(QStringLiteral("Start")) != QLatin1String("Ok")) {
        startCancelled();
        return;
    }
    started(false);
}

void frmMain::startFromToolbar()
{
    if (!Option1->isChecked() && !Option2->isChecked())
        return;
    startBegins();
    if (Option1->isChecked()) {
        frmAddress window(m_run, this);
        if (window.PopUp(QStringLiteral("Start")) != QLatin1String("Ok")) {
            startCancelled();
            return;
        }
        started(true);
    } else if (Option2->isChecked()) {
        frmFax window(m_run, this);
        // While the job is submitted the window takes no input; a failed submission gives
        // it back.
        connect(&window, &frmFax::ownerEnabled, this, &QWidget::setEnabled);
        if (window.PopUp() != QLatin1String("Ok")) {
            startCancelled();
            return;
        }
        // A send job's end returns the program to idle by itself; a receive job runs until
        // the user stops it.
        if (m_run.gsFaxMode == QLatin1String("Send"))
            watchSendJob(m_run.gaTapiLines.first());
        setEnabled(true);
        started(true);
    }
}

void frmMain::stop(bool fromToolbar)
{
    m_run.setTakingPuts(false);
    // A send job that is stopped ends now: its object goes with the last handle on it.
    EvClsTapi.reset();
    QList<LineHandle>& gaTapiLines = m_run.gaTapiLines;
    const qsizetype upper = gaTapiLines.size() - 1;
    for (qsizetype i = 0; i < upper; ++i) {
        for (int c = 0; c < 3; ++c)
            MSFlexGrid1->setTextMatrix(1, c, QString());
        MSFlexGrid1->setRows(int(upper - i));
        gaTapiLines[i].reset();
    }
    MSFlexGrid1->setRows(2);
    MSFlexGrid1->setTextMatrix(0, 2, tr("Status"));
    for (int c = 0; c < 3; ++c)
        MSFlexGrid1->setTextMatrix(1, c, QString());
    setRunLocked(false, fromToolbar);
    bRunning = false;
}

namespace {

// The lines the run's own line objects answer now.
QStringList answeringLines(const QList<LineHandle>& lines)
{
    QStringList names;
    for (const LineHandle& line : lines)
        if (!line.isNull())
            if (Result<QString> name = line.getAddress(); name && !name->isEmpty())
                names.append(name.value());
    return names;
}

} // namespace

void frmMain::closeEvent(QCloseEvent* event)
{
    const QStringList lines = bRunning ? answeringLines(m_run.gaTapiLines) : QStringList();
    if (!lines.isEmpty() &&
        !Messages::confirm(tr("%1 stop answering when this window closes. Lines "
                              "set to answer in the background go on.\n\nClose "
                              "the window?")
                               .arg(lines.join(QStringLiteral(", "))),
                           tr(kTitle))) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

void frmMain::endsTheProgram()
{
    QApplication::setQuitOnLastWindowClosed(false);
    connect(this, &frmMain::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

void frmMain::answerInBackground()
{
    const QStringList lines = bRunning ? answeringLines(m_run.gaTapiLines) : QStringList();
    if (lines.isEmpty()) {
        Messages::inform(tr("Start answering on the lines first: the lines that "
                            "answer now, with the settings they answer with, are "
                            "the ones that go on answering in the background."),
                         tr(kTitle));
        return;
    }
    Result<answering::AnsweringFile> file = answering::readAnsweringFile();
    if (!file) {
        Messages::warn(file.status().description(), tr(kTitle));
        return;
    }
    const AnsweringSettingsRecord& s = AnsweringSettings;
    for (const QString& name : lines) {
        answering::StandingLine line;
        line.line = name;
        line.rings = s.Rings;
        line.recordTime = s.RecordTime;
        line.playType = s.PlayType;
        line.playFile = s.PlayFile;
        line.playMessage = s.PlayMessage;
        line.volume = s.Volume;
        line.rate = s.Rate;
        line.voice = s.Voice;
        file->lines.removeIf([&](const answering::StandingLine& l) { return l.line == name; });
        file->lines.append(line);
    }
    // What the server will read back, checked before anything changes.
    if (Result<answering::AnsweringFile> check =
            answering::parseAnsweringFile(answering::formatAnsweringFile(file.value()));
        !check) {
        Messages::warn(check.status().description(), tr(kTitle));
        return;
    }
    if (!Messages::confirm(tr("%1 will answer in the background with the current "
                              "settings, also when this window is closed and after "
                              "the line server starts again.\n\nGo on?")
                               .arg(lines.join(QStringLiteral(", "))),
                           tr(kTitle)))
        return;
    // The file first: should it not be written, the lines go on answering here.
    if (Status written = answering::writeAnsweringFile(file.value()); !written) {
        Messages::warn(written.description(), tr(kTitle));
        return;
    }
    // The line server takes the lines over: this window lets go of them first.
    stop(false);
    const Status done = m_run.lineServer().client().reloadStandingLines();
    m_run.backgroundLines().refresh();
    if (!done) {
        Messages::warn(done.description(), tr(kTitle));
        return;
    }
    Messages::inform(tr("%1 now answer in the background. orvanectl status shows "
                        "how they are; orvanectl stop LINE ends one.")
                         .arg(lines.join(QStringLiteral(", "))),
                     tr(kTitle));
}

void frmMain::watchSendJob(const LineHandle& job)
{
    EvClsTapi = job;
    if (LineEvents* events = job.events()) {
        const QString path = job.path();
        connect(events, &LineEvents::test2, this, [this, path] {
            if (EvClsTapi.path() == path)
                EvClsTapi_test2(EvClsTapi);
        });
    }
}

void frmMain::EvClsTapi_test2(const LineHandle& sender)
{
    // A send job the user already stopped may end later; it must not release a newer job.
    QList<LineHandle>& gaTapiLines = m_run.gaTapiLines;
    if (gaTapiLines.isEmpty() || gaTapiLines.first().isNull() ||
        gaTapiLines.first().path() != sender.path()) {
        EvClsTapi.reset();
        return;
    }
    // How the job ended, and on which line, stays in the grid until the next Start; the
    // line has said why, if it did not go well.
    m_run.setTakingPuts(false);
    m_outcomeShown = true;
    setRunLocked(false, true);
    bRunning = false;
    gaTapiLines.first().reset();
    EvClsTapi.reset();
}

void frmMain::serverLost()
{
    if (!bRunning)
        return;
    // Every running line has gone with the server; Stop still returns to idle.
    for (int row = 1; row < MSFlexGrid1->rows(); ++row)
        if (!MSFlexGrid1->textMatrix(row, 1).isEmpty())
            MSFlexGrid1->setTextMatrix(row, 2, tr("Line Server Stopped ...."));
}

// --- window state and the tray -----------------------------------------------------------

void frmMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) &&
        m_tray) {
        // Minimised, the window lives in the tray only.
        QTimer::singleShot(0, this, &QWidget::hide);
    }
}

void frmMain::restoreFromTray()
{
    setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void frmMain::minimizeToTray()
{
    setWindowState(windowState() | Qt::WindowMinimized);
    if (!m_tray)
        return;
    hide();
}

void frmMain::trayActivated(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::DoubleClick:
        restoreFromTray();
        break;
    case QSystemTrayIcon::Context: {
        const bool normal = isVisible() && !(windowState() & Qt::WindowMinimized);
        mPopMin->setEnabled(normal);
        mPopRestore->setEnabled(!normal);
        activateWindow();
        mSysTray->popup(QCursor::pos());
        break;
    }
    default:
        break;
    }
}

// --- commands that open windows ------------------------------------------------------------

void frmMain::openRecordMessage()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    if (!m_play)
        m_play = new frmPlay(this);
    m_play->openWindow();
    QApplication::restoreOverrideCursor();
    m_play->exec();
    refreshPlayNode(); // the tree's Play node shows the greeting chosen
}

void frmMain::openRecordedCalls(bool modal)
{
    if (!m_records) {
        m_records = new frmRecordList(this);
        connect(m_records, &frmRecordList::callsChanged, &m_run.news(), &MessageNews::recount);
    }
    m_records->openOnToday();
    if (modal) {
        m_records->exec();
    } else {
        // The main window stays usable while the list is open.
        m_records->setModal(false);
        m_records->show();
        m_records->raise();
        m_records->activateWindow();
    }
}

void frmMain::openVoice()
{
    frmVoice dialog(this);
    dialog.exec();
}

void frmMain::openDevices()
{
    frmAddress window(m_run, this);
    window.PopUp(QStringLiteral("Device"));
}

QUrl frmMain::helpSection(const QString& section)
{
    QUrl page = QUrl::fromLocalFile(programfolder::helpPage());
    page.setFragment(section);
    return page;
}

void frmMain::openHelp()
{
    QDesktopServices::openUrl(QUrl::fromLocalFile(programfolder::helpPage()));
}

void frmMain::openAbout()
{
    frmSplash about(this);
    about.exec();
}

} // namespace orvane
