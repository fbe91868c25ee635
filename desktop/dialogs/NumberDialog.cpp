#include "desktop/dialogs/NumberDialog.h"

#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/Controls.h"
#include "desktop/common/Messages.h"
#include "desktop/common/Twips.h"
#include "desktop/common/UpDown.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>

namespace orvane {

NumberDialog::NumberDialog(const Layout& layout, qint16& setting, int upperBound, QWidget* parent)
    : QDialog(parent)
    , m_setting(setting)
    , m_bound(upperBound)
    , m_centredOnScreen(layout.centredOnScreen)
{
    setObjectName(QLatin1String(layout.name));
    setWindowTitle(QLatin1String(layout.caption));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(twips::px(3480), twips::px(1920));

    auto* frame = new QGroupBox(this);
    frame->setObjectName(QLatin1String(layout.frameName));
    frame->setGeometry(twips::rect(120, 60, 3240, 1080));
    auto* label = new QLabel(QLatin1String(layout.labelText), frame);
    label->setObjectName(QLatin1String(layout.labelName));
    label->setGeometry(twips::rect(120, 420, 1320, 255));
    m_box = new QLineEdit(frame);
    m_box->setObjectName(QLatin1String(layout.boxName));
    m_box->setMaxLength(layout.boxMaxLength);
    m_box->setGeometry(twips::rect(1560, 360, 720, 375));
    label->setBuddy(m_box);
    m_arrows = new UpDown(frame);
    m_arrows->setObjectName(QStringLiteral("UpDown1"));
    m_arrows->setGeometry(twips::rect(2280, 360, 255, 375));
    m_arrows->setBuddy(m_box);
    if (layout.unitName) {
        auto* unit = new QLabel(QLatin1String(layout.unitText), frame);
        unit->setObjectName(QLatin1String(layout.unitName));
        unit->setGeometry(twips::rect(2640, 420, 480, 255));
    }
    auto* ok = makeButton(this, "cmdOk", tr("&Ok"), twips::rect(840, 1320, 1215, 375));
    ok->setDefault(true);
    auto* cancel = makeButton(this, "cmdCancel", tr("&Cancel"), twips::rect(2145, 1320, 1215, 375));
    setTabOrder(m_box, ok);
    connect(m_arrows, &UpDown::DownClick, this, &NumberDialog::UpDown1_DownClick);
    connect(m_arrows, &UpDown::UpClick, this, &NumberDialog::UpDown1_UpClick);
    connect(ok, &QPushButton::clicked, this, &NumberDialog::cmdOk_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    Form_Load();
}

void NumberDialog::Form_Load()
{
    unsetCursor();
    m_box->setText(QString::number(m_setting));
    m_counter = m_setting;
    if (m_centredOnScreen) {
        if (const QScreen* screen = this->screen())
            move(screen->geometry().center() - rect().center());
    } else if (parentWidget()) {
        move(parentWidget()->window()->geometry().center() - rect().center());
    }
}

int NumberDialog::shown() const
{
    bool ok = false;
    const int typed = m_box->text().trimmed().toInt(&ok);
    return ok ? typed : m_counter;
}

void NumberDialog::UpDown1_DownClick()
{
    const int value = shown();
    if (value > 1) {
        m_counter = qint16(value - 1);
        m_box->setText(QString::number(m_counter));
    }
}

void NumberDialog::UpDown1_UpClick()
{
    const int value = shown();
    if (value < m_bound) {
        m_counter = qint16(value + 1);
        m_box->setText(QString::number(m_counter));
    }
}

void NumberDialog::cmdOk_Click()
{
    bool ok = false;
    const int value = m_box->text().trimmed().toInt(&ok);
    if (!ok || value < 1 || value > m_bound) {
        Messages::inform(tr("Enter a whole number from 1 to %1.").arg(m_bound),
                         tr("Answering Machine"));
        m_box->setFocus();
        m_box->selectAll();
        return;
    }
    m_setting = qint16(value);
    accept();
}

frmRings::frmRings(QWidget* parent)
    : NumberDialog({"frmRings", "Rings", "frRings", "Label1", "No Of Rings", "txtRings", 2, nullptr,
                    nullptr, false},
                   AnsweringSettings.Rings, 15, parent)
{}

frmRecord::frmRecord(QWidget* parent)
    : NumberDialog({"frmRecord", "Record Time", "Frame1", "lblPlayFile", "Time to Record",
                    "txtRecordTime", 2, "lblSec", "Sec.", true},
                   AnsweringSettings.RecordTime, 60, parent)
{}

} // namespace orvane
