#pragma once

// The line selection window: the voice lines of the telephony service; on OK one line
// object per chosen line is made in the line server, bound to its line with its row of the
// status grid, and given the answering settings. Lines that fail keep their row with the
// server's error text and are dropped from gaTapiLines.
//
// Thread: the user-interface thread.

#include "platform/telephony/Telephony.h"

#include <QDialog>

#include <memory>

class QListWidget;
class QPushButton;

namespace orvane {

class frmAddress : public QDialog {
    Q_OBJECT

public:
    explicit frmAddress(QWidget* parent = nullptr);
    ~frmAddress() override;

    // "Device": the lines are only shown (OK is disabled). Returns "Ok", "Cancel", or an
    // empty text when the window was closed otherwise.
    QString PopUp(const QString& sBtnName);

private:
    void FillLineList();
    void cmdOk_Click();
    void cmdCancel_Click();

    QListWidget* listAddress;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
    std::unique_ptr<Telephony> m_tapi;
    QList<TelephonyAddress> m_addresses;
    QString m_result;
    bool m_selectionMark = false;
};

// Releases every line object of gaTapiLines (slots 0 to the upper bound - 1).
void ReleaseLines();

} // namespace orvane
