#include "desktop/dialogs/frmVoice.h"

#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/Controls.h"
#include "desktop/common/Messages.h"
#include "desktop/common/Twips.h"
#include "platform/speech/Speech.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace orvane {

frmVoice::frmVoice(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmVoice"));
    setWindowTitle(tr("Voice Properties :"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    auto* frame = new QGroupBox(tr("Voice Properties"), this);
    frame->setObjectName(QStringLiteral("Frame2"));
    auto* grid = new QGridLayout(frame);
    auto row = [frame, grid](const char* labelName, const char* text, const char* comboName,
                             int width) {
        auto* label = new QLabel(tr(text), frame);
        label->setObjectName(QLatin1String(labelName));
        auto* combo = new QComboBox(frame);
        combo->setObjectName(QLatin1String(comboName));
        combo->setEditable(false);
        combo->setMinimumWidth(twips::px(width));
        label->setBuddy(combo);
        const int at = grid->rowCount();
        grid->addWidget(label, at, 0);
        grid->addWidget(combo, at, 1, Qt::AlignLeft);
        return combo;
    };
    cmbRate = row("Label1", QT_TR_NOOP("Rate"), "cmbRate", 1200);
    cmbVolume = row("Label3", QT_TR_NOOP("Volume"), "cmbVolume", 1200);
    cmbVoice = row("Label2", QT_TR_NOOP("Voice"), "cmbVoice", 3360); // wider: voice names
    grid->setColumnStretch(1, 1);
    setTabOrder(cmbRate, cmbVolume);
    setTabOrder(cmbVolume, cmbVoice);
    auto* ok = makeDialogButton(this, "cmdOk", tr("&Ok"), twips::px(1215));
    ok->setDefault(true);
    auto* cancel = makeDialogButton(this, "cmdCancel", tr("&Cancel"), twips::px(1215));
    auto* column = new QVBoxLayout(this);
    column->addWidget(frame);
    column->addLayout(buttonRow({ok, cancel}));
    // The described size, or what a translation's longer words need; wider for long voice
    // names.
    resizeToFirstSize(this, QSize(twips::px(5160), twips::px(2880)));
    setMinimumSize(size());
    setMaximumHeight(size().height());
    connect(ok, &QPushButton::clicked, this, &frmVoice::cmdOk_Click);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    Form_Load();
}

void frmVoice::Form_Load()
{
    for (int rate = -10; rate <= 10; ++rate)
        cmbRate->addItem(QString::number(rate), rate + 10);
    cmbRate->setCurrentIndex(AnsweringSettings.Rate + 10);
    for (int volume = 1; volume <= 100; ++volume)
        cmbVolume->addItem(QString::number(volume), volume);
    cmbVolume->setCurrentIndex(AnsweringSettings.Volume - 1);

    Result<std::unique_ptr<Speech>> speech = createSpeech();
    bool failed = !speech;
    if (speech) {
        const QList<VoiceInfo> voices = speech.value()->voices();
        for (int i = 0; i < voices.size(); ++i)
            cmbVoice->addItem(voices.at(i).description, i);
        if (AnsweringSettings.Voice >= 0 && AnsweringSettings.Voice < voices.size())
            cmbVoice->setCurrentIndex(AnsweringSettings.Voice);
        else {
            cmbVoice->setCurrentIndex(-1); // the voice chosen before is no longer installed
            failed = true;
        }
    }
    if (failed)
        Messages::warn(tr("Cannot Initialize Text To Speech"), tr("Answering Machine"));
}

void frmVoice::cmdOk_Click()
{
    // With no voice selected (none installed, or the old one gone) the voice stays as it was.
    if (cmbVoice->currentIndex() >= 0)
        AnsweringSettings.Voice = qint16(cmbVoice->currentData().toInt());
    AnsweringSettings.Rate = qint16(cmbRate->currentText().toInt());
    AnsweringSettings.Volume = qint16(cmbVolume->currentText().toInt());
    accept();
}

} // namespace orvane
