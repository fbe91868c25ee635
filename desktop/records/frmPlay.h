#pragma once

// What callers hear: a text message of the library (spoken) or a wave file (played). The
// library is kept here too, and either kind can be tried on the PC. OK writes the choice
// into AnsweringSettings.
//
// Thread: the user-interface thread.

#include "desktop/common/ListGrid.h"

#include <QDialog>

class QLineEdit;
class QPushButton;
class QTabWidget;

namespace orvane {

class frmPlay : public QDialog {
    Q_OBJECT

public:
    explicit frmPlay(QWidget* parent = nullptr);

    // Opening: the library on the first tab, the greeting file in the box.
    void openWindow();
    ListGrid& list() { return *m_list; }

private:
    void FillMessageGrid();
    void cmdNew_Click();
    // The id of the message a row command acts on; empty (after saying why) when none.
    QString selectedMessageId();
    void cmdMod_Click();
    void cmdDelete_Click();
    void cmdSelectFile_Click();
    void cmdOk_Click();
    void cmdPlaySp_Click();

    QTabWidget* SSTab1;
    MSFlexGrid* MSFlexGrid1;
    QPushButton* cmdNew;
    QPushButton* cmdMod;
    QPushButton* cmdDelete;
    QLineEdit* txtPlay;
    QPushButton* cmdSelectFile;
    QPushButton* cmdPlaySp;
    QPushButton* cmdOk;
    QPushButton* cmdCancel;
    ListGrid* m_list;
    QString m_lastChosen; // the file dialog's file name during this opening
};

} // namespace orvane
