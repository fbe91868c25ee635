#pragma once

// How spoken messages sound to callers: the installed voice, its rate and its volume, kept
// in AnsweringSettings.
//
// Thread: the user-interface thread.

#include <QDialog>

class QComboBox;

namespace orvane {

class frmVoice : public QDialog {
    Q_OBJECT

public:
    explicit frmVoice(QWidget* parent = nullptr);

private:
    void Form_Load();
    void cmdOk_Click();

    QComboBox* cmbRate;
    QComboBox* cmbVolume;
    QComboBox* cmbVoice;
};

} // namespace orvane
