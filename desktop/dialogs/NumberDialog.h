#pragma once

// The small dialogs that edit one number of the answering settings with a box and arrows:
// the arrows step the number shown (1 to the dialog's bound) and OK stores it. A number
// typed by hand that is not a whole number in that range is refused with a message, and the
// setting keeps its value.
//
// Thread: the user-interface thread.

#include <QDialog>

class QLineEdit;

namespace orvane {

class UpDown;

class NumberDialog : public QDialog {
    Q_OBJECT

public:
    struct Layout {
        const char* name; // the window
        const char* caption;
        const char* frameName;
        const char* labelName;
        const char* labelText;
        const char* boxName;
        int boxMaxLength;
        const char* unitName; // a label after the box, or nullptr
        const char* unitText;
        bool centredOnScreen; // else over the owner window
    };

    NumberDialog(const Layout& layout, qint16& setting, int upperBound, QWidget* parent);

    void Form_Load();
    void UpDown1_DownClick();
    void UpDown1_UpClick();
    void cmdOk_Click();

private:
    // The number in the box, or the last one the arrows showed when the box holds none.
    int shown() const;

    qint16& m_setting;
    const int m_bound;
    qint16 m_counter = 0;
    QLineEdit* m_box;
    UpDown* m_arrows;
    bool m_centredOnScreen;
};

// The number of rings before a call is answered (1 to 15).
class frmRings : public NumberDialog {
    Q_OBJECT
public:
    explicit frmRings(QWidget* parent = nullptr);
};

// The seconds of a caller's message to record (1 to 60).
class frmRecord : public NumberDialog {
    Q_OBJECT
public:
    explicit frmRecord(QWidget* parent = nullptr);
};

} // namespace orvane
