#pragma once

// The fax window: on "Send" a number, a document and a line; on "Recieve" the line to
// receive on, the folder for received faxes, printing on arrival, and the list of faxes
// received so far (a double-click or Return opens one in the desktop's viewer, the Delete
// key deletes as the Delete button does). OK submits the job to the line server and closes
// the window.
//
// Thread: the user-interface thread.

#include "platform/telephony/Telephony.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class QUrl;

namespace orvane {

class Database;
class DesktopRun;
class FolderChooser;
class ListGrid;
class MSFlexGrid;

// Shows a received fax in the desktop's viewer: true when a program took it. The default
// is QDesktopServices::openUrl; tests install one that notes the file instead.
using FaxOpener = std::function<bool(const QUrl&)>;
// An empty opener puts the default back.
void setFaxOpener(FaxOpener opener);

class frmFax : public QDialog {
    Q_OBJECT

public:
    // A job submitted from the window runs in `run`, its status in the run's grid.
    explicit frmFax(DesktopRun& run, QWidget* parent = nullptr);
    ~frmFax() override;

    // Shows the window modally; "Ok" when a job was submitted, "Cancel" after Cancel, empty
    // when the window was closed otherwise.
    QString PopUp();

    FolderChooser& sendFolder() { return *m_sendFolder; }
    FolderChooser& receiveFolder() { return *m_receiveFolder; }

Q_SIGNALS:
    // The window that owns the run (the main window) is to take input or not: not while a
    // job is being submitted, again when the submission failed.
    void ownerEnabled(bool enabled);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FillLineLists();
    void FillFaxGrid();
    void cmdSelectFile_Click();
    // Runs a statement on the received-fax list, says when it failed, and shows the list again.
    void changeFaxList(const std::function<Status(Database&)>& change, const QString& failure);
    void cmdDelete_Click();
    void cmdDeleteAll_Click();
    // Opens the fax of the grid's data row `row` in the viewer, or says why it cannot.
    void openFax(int row);
    void cmdOkR_Click();
    void cmdCancelR_Click();
    bool checksPass();
    void submitSend();
    void submitReceive();
    void submitFailed(const QString& why);

    QTabWidget* SSTab1;
    QLineEdit* txtNum;
    QLineEdit* txtFileSend;
    QPushButton* cmdSelectFile;
    QListWidget* listAddress;
    QListWidget* ListAddress1;
    QCheckBox* Check2;
    QGroupBox* Frame1;
    MSFlexGrid* MSFlexGrid1;
    QPushButton* cmdDelete;
    QPushButton* cmdDeleteAll;
    QPushButton* cmdOkR;
    QPushButton* cmdCancelR;

    DesktopRun& m_run;
    FolderChooser* m_sendFolder = nullptr;
    FolderChooser* m_receiveFolder = nullptr;
    ListGrid* m_list = nullptr;
    QString m_result;
    QString m_lastChosen;
};

} // namespace orvane
