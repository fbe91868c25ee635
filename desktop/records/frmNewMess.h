#pragma once

// One text message of the library, new or changed. A message is at most 200 characters
// of the letters A to Z and a to z, the digits, the space, the full stop and the comma.
//
// Thread: the user-interface thread.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace orvane {

// Whether `message` (already trimmed) keeps to the characters a message may hold.
bool isValidMessageText(const QString& message);

class frmNewMess : public QDialog {
    Q_OBJECT

public:
    explicit frmNewMess(QWidget* parent = nullptr);

    // A new message; true when one was added.
    bool PopUp();
    // Message `id` (as text) changed; true when it was updated.
    bool PopUp1(const QString& id);

private:
    void cmdSubmit_Click();

    QLineEdit* txtMess;
    QPushButton* cmdSubmit;
    QPushButton* cmdCancel;
    bool m_saved = false;
    bool m_modify = false;
    qint64 m_id = 0;
};

} // namespace orvane
