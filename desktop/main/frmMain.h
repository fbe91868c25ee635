#pragma once

// The main window: the toolbar and menus with every command, the status grid the line
// server writes into, the mode buttons, the call-flow tree's place, the tray icon, and the
// run control (Start, Stop, the end of a fax send job).
//
// Thread: the user-interface thread.

#include "desktop/common/MSFlexGrid.h"
#include "line_server/client/LineHandle.h"

#include <QMainWindow>
#include <QMap>
#include <QSystemTrayIcon>
#include <QUrl>

class QAction;
class QMenu;
class QRadioButton;
class QToolBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace orvane {

class DesktopRun;
class frmPlay;
class frmRecordList;

class frmMain : public QMainWindow {
    Q_OBJECT

public:
    // The window shows the run's status grid and starts and stops the run's lines.
    explicit frmMain(DesktopRun& run);
    ~frmMain() override;

    MSFlexGrid* statusGrid() const { return MSFlexGrid1; }
    bool running() const { return bRunning; }
    // Toolbar button at `position` (1 to 9).
    QAction* toolbarButton(int position) const;

    // The dispatch of a toolbar click, by position.
    void ToolMExecute_ButtonClick(int position);
    // The commands of the run control.
    void startFromMenu();
    void startFromToolbar();
    void stop(bool fromToolbar);
    // The end of a fax send job, from the line object in EvClsTapi.
    void EvClsTapi_test2(const LineHandle& sender);
    // Makes `job` the fax send job whose end returns the program to idle.
    void watchSendJob(const LineHandle& job);

    // The tray icon's notifications, as the window reacts to them.
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    // Shows the window in the normal state at the front (the tray's Restore; a second start
    // of the program).
    void restoreFromTray();
    // The program ends when this window closes, and only then: not when the last window on
    // the screen closes, which may be a message box shown while this one is in the tray.
    void endsTheProgram();

Q_SIGNALS:
    // The window closed (nobody refused it).
    void closed();

public:
    // The call-flow tree: built once at load; its rings, greeting and recording steps are
    // edited through their dialogs (nothing while answering runs).
    QTreeWidget* tree() const { return treeViewFun; }
    void EditFlowNode();
    // The tree menu, as a press of the right mouse button in the tree opens it.
    void treeMenuRequested(const QPoint& globalPosition);
    // The text of the Play node from the answering settings.
    static QString playNodeText();
    // A section of the help page (what Online Support and Feedback open).
    static QUrl helpSection(const QString& section);

    // The tray icon's tooltip: the program, and how many messages wait to be heard.
    QString trayToolTip() const { return m_trayToolTip; }
    // A notification's Play or Show: the recorded calls window on that call.
    void showCall(const QString& file, bool play);

    // Options > Answer in the Background: the lines answering now, with the current
    // settings, become standing lines of the line server (answering.conf).
    void answerInBackground();

protected:
    void changeEvent(QEvent* event) override;
    // Closing while the lines started here answer asks first: they stop with the window.
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildControls();
    void buildTray();
    // The line server's news: notifications answered, lists refreshed, the tray's count.
    void followNews();
    void showUnheard(int count);
    void noteLastCall(const QString& line, const QString& caller, const QDateTime& time,
                      int seconds);
    void noteLastFax(const QString& line, const QString& outcome);
    // The line's row in the status grid shows its notes (last message, last fax) in its
    // tooltip.
    void showRowNotes(const QString& line);
    void BuildDefaultFlow();
    QTreeWidgetItem* nodeWithKey(const QString& part) const;
    void refreshPlayNode();
    bool eventFilter(QObject* watched, QEvent* event) override;
    void setRunLocked(bool locked, bool modeButtonsToo);
    void startCancelled();
    // A Start begins: the lines' puts are taken, a kept outcome goes.
    void startBegins();
    void started(bool fromToolbar);
    void serverLost();
    void minimizeToTray();

public:
    void openRecordMessage();
    void openRecordedCalls(bool modal);

private:
    void openVoice();
    void openDevices();
    void openHelp();
    void openAbout();
    void openRingsDialog();
    void openRecordTimeDialog();

    // Controls, as the window names them.
    QRadioButton* Option1;
    QRadioButton* Option2;
    MSFlexGrid* MSFlexGrid1;
    QToolBar* ToolMExecute;
    QTreeWidget* treeViewFun;
    QMenu* mFile;
    QMenu* mView;
    QMenu* mOptions;
    QMenu* mRun;
    QMenu* mHelp;
    QMenu* mSysTray;
    QMenu* mTree;
    QAction* mFileRecord;
    QAction* mFExit;
    QAction* mVIncom;
    QAction* mOModem;
    QAction* mOSettings;
    QAction* mOBackground;
    QAction* mRStart;
    QAction* mRStop;
    QAction* mHelpView;
    QAction* mSupport;
    QAction* mFeedback;
    QAction* mSep;
    QAction* mAbout;
    QAction* mPopMin;
    QAction* mPopRestore;
    QAction* msExit;
    QAction* mTProp;
    QList<QAction*> m_buttons;     // toolbar buttons 1..9 at 0..8
    QMap<int, QIcon> m_treeImages; // the tree's image list, by position
    QSystemTrayIcon* m_tray = nullptr;
    QString m_trayToolTip = QStringLiteral("Orvane");
    QHash<QString, QString> m_callNotes, m_faxNotes; // by line
    // The windows that exist once in the program, made when first opened.
    frmPlay* m_play = nullptr;
    frmRecordList* m_records = nullptr;

    // Fields.
    bool bRunning = false;
    // A fax send job's outcome stays in the grid until the next Start.
    bool m_outcomeShown = false;
    QString sGreetingFile;
    qint16 iNodeNo = 0;
    LineHandle EvClsTapi;

    DesktopRun& m_run;
};

} // namespace orvane
