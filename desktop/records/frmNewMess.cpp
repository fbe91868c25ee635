#include "desktop/records/frmNewMess.h"

#include "database/MessagePlayTable.h"
#include "desktop/common/Controls.h"
#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Twips.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

namespace {
const char* const kTitle = QT_TRANSLATE_NOOP("orvane::frmNewMess", "Answering Machine");
} // namespace

bool isValidMessageText(const QString& message)
{
    for (const QChar c : message) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                        (u >= '0' && u <= '9') || u == ' ' || u == '.' || u == ',';
        if (!ok)
            return false;
    }
    return true;
}

frmNewMess::frmNewMess(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmNewMess"));
    setWindowTitle(tr("Record New Message :"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto* label = new QLabel(tr("Message"), frame);
    label->setObjectName(QStringLiteral("Label1"));
    txtMess = new QLineEdit(frame);
    txtMess->setObjectName(QStringLiteral("txtMess"));
    txtMess->setMaxLength(200);
    label->setBuddy(txtMess);
    auto* row = new QHBoxLayout(frame);
    row->addWidget(label);
    row->addWidget(txtMess, 1);
    cmdSubmit = makeDialogButton(this, "cmdSubmit", tr("&Submit"), twips::px(1215));
    cmdSubmit->setDefault(true);
    cmdCancel = makeDialogButton(this, "cmdCancel", tr("&Cancel"), twips::px(1215));
    auto* column = new QVBoxLayout(this);
    column->addWidget(frame);
    column->addLayout(buttonRow({cmdSubmit, cmdCancel}));
    // The message's box grows with the window, which grows only sideways.
    resizeToFirstSize(this, QSize(twips::px(6120), twips::px(1980)));
    setMaximumHeight(size().height());
    connect(cmdSubmit, &QPushButton::clicked, this, &frmNewMess::cmdSubmit_Click);
    connect(cmdCancel, &QPushButton::clicked, this, [this] {
        m_saved = false;
        reject();
    });
}

bool frmNewMess::PopUp()
{
    setWindowTitle(tr("Enter New Message : "));
    m_modify = false;
    exec();
    return m_saved;
}

bool frmNewMess::PopUp1(const QString& id)
{
    setWindowTitle(tr("Modify Message : "));
    m_modify = true;
    m_id = id.toLongLong();
    Database db;
    if (db.OpenDatabase(programfolder::path())) {
        Result<std::optional<messageplay::MessageRow>> row = messageplay::read(db, m_id);
        if (row && row->has_value())
            txtMess->setText(row->value().message);
    }
    db.CloseDatabase();
    exec();
    return m_saved;
}

void frmNewMess::cmdSubmit_Click()
{
    const QString message = txtMess->text().trimmed();
    if (message.isEmpty()) {
        Messages::inform(tr("Enter Message to Record"), tr(kTitle));
        return;
    }
    if (!isValidMessageText(message)) {
        Messages::inform(tr("Only alphabets,digits,spaces,dot and comma allowed "), tr(kTitle));
        txtMess->setFocus();
        return;
    }
    Database db;
    Status s = db.OpenDatabase(programfolder::path());
    if (s)
        s = m_modify ? messageplay::change(db, m_id, message) : messageplay::add(db, message);
    db.CloseDatabase();
    if (!s) {
        Messages::inform(tr("The message cannot be saved: %1").arg(s.description()), tr(kTitle));
        return;
    }
    m_saved = true;
    accept();
}

} // namespace orvane
