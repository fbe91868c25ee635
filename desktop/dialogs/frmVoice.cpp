#include "desktop/dialogs/frmVoice.h"

#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/Controls.h"
#include "desktop/common/Messages.h"
#include "desktop/common/Twips.h"
#include "platform/speech/Speech.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>

namespace orvane {

frmVoice::frmVoice(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmVoice"));
    setWindowTitle(tr("Voice Properties :"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFixedSize(twips::px(5160), twips::px(2880));

    auto* frame = new QGroupBox(tr("Voice Properties"), this);
    frame->setObjectName(QStringLiteral("Frame2"));
    frame->setGeometry(twips::rect(120, 60, 4920, 2100));
    auto row = [frame](const char* labelName, const char* text, const char* comboName, int top,
                       int width) {
        auto* label = new QLabel(QLatin1String(text), frame);
        label->setObjectName(QLatin1String(labelName));
        label->setGeometry(twips::rect(240, top + 60, 960, 255));
        auto* combo = new QComboBox(frame);
        combo->setObjectName(QLatin1String(comboName));
        combo->setEditable(false);
        combo->setGeometry(twips::rect(1320, top, width, 375));
        label->setBuddy(combo);
        return combo;
    };
    cmbRate = row("Label1", "Rate", "cmbRate", 360, 1200);
    cmbVolume = row("Label3", "Volume", "cmbVolume", 900, 1200);
    cmbVoice = row("Label2", "Voice", "cmbVoice", 1440, 3360); // wider: voice names
    setTabOrder(cmbRate, cmbVolume);
    setTabOrder(cmbVolume, cmbVoice);
    auto* ok = makeButton(this, "cmdOk", tr("&Ok"), twips::rect(2400, 2340, 1215, 375));
    ok->setDefault(true);
    auto* cancel = makeButton(this, "cmdCancel", tr("&Cancel"), twips::rect(3825, 2340, 1215, 375));
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
