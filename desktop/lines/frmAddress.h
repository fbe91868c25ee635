#pragma once

// The line selection window: the voice lines of the telephony service; on OK one line
// object per chosen line is made in the line server, bound to its line with its row of the
// status grid, and given the answering settings. Lines that fail keep their row with the
// server's error text and are dropped from the run's gaTapiLines.
//
// Thread: the user-interface thread.

#include "platform/telephony/Telephony.h"

#include <QDialog>

#include <memory>

class QListWidget;
class QPushButton;

namespace orvane {

class DesktopRun;

class frmAddress : public QDialog {
    Q_OBJECT

public:
    // The lines chosen are started in `run`, each with its row of the run's status grid.
    explicit frmAddress(DesktopRun& run, QWidget* parent = nullptr);
    ~frmAddress() override;

    // "Device": the lines are only shown (OK is disabled). Returns "Ok", "Cancel", or an
    // empty text when the window was closed otherwise.
    QString PopUp(const QString& sBtnName);

private:
    void FillLineList();
    // Standing lines are shown in italics, with a tooltip that says why.
    void markStandingLines();
    void cmdOk_Click();
    void cmdCancel_Click();

    QListWidget* listAddress;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
    DesktopRun& m_run;
    std::unique_ptr<Telephony> m_tapi;
    QList<TelephonyAddress> m_addresses;
    QString m_result;
    bool m_selectionMark = false;
};

} // namespace orvane
