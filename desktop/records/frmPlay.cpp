#include "desktop/records/frmPlay.h"

#include "database/MessagePlayTable.h"
#include "desktop/common/AnsweringSettings.h"
#include "desktop/common/Controls.h"
#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Twips.h"
#include "desktop/records/LocalSound.h"
#include "desktop/records/frmNewMess.h"

#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace orvane {

namespace {
const char* const kTitle = "Answering Machine";
const char* const kTitleHyphen = "Answering-Machine";

} // namespace

frmPlay::frmPlay(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPlay"));
    setWindowTitle(QStringLiteral("Play"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(twips::px(6000), twips::px(4500));

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setGeometry(twips::rect(120, 120, 5760, 3600));
    auto* messages = new QWidget;
    auto* file = new QWidget;
    SSTab1->addTab(messages, QStringLiteral("Play Text Message"));
    SSTab1->addTab(file, QStringLiteral("Play Wave File"));

    MSFlexGrid1 = new MSFlexGrid(messages);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setGeometry(twips::rect(120, 120, 5400, 2460));
    nameForReaders(MSFlexGrid1, QStringLiteral("Messages"),
                   QStringLiteral("The spoken greetings of the library"));
    cmdNew = makeButton(messages, "cmdNew", QStringLiteral("&Record New Message"),
                        twips::rect(120, 2700, 2160, 375));
    cmdMod = makeButton(messages, "cmdMod", QStringLiteral("&Modify"),
                        twips::rect(2400, 2700, 1440, 375));
    cmdDelete = makeButton(messages, "cmdDelete", QStringLiteral("&Delete"),
                           twips::rect(3960, 2700, 1440, 375));

    auto* frame = new QGroupBox(QStringLiteral("Select the Wave File to Play :"), file);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twips::rect(120, 240, 5400, 1320));
    auto* label = new QLabel(QStringLiteral("File Name"), frame);
    label->setObjectName(QStringLiteral("lblPlayFile"));
    label->setGeometry(twips::rect(120, 600, 960, 255));
    txtPlay = new QLineEdit(frame);
    txtPlay->setObjectName(QStringLiteral("txtPlay"));
    txtPlay->setMaxLength(400);
    txtPlay->setGeometry(twips::rect(1080, 540, 3600, 375));
    label->setBuddy(txtPlay);
    cmdSelectFile = makeButton(frame, "cmdSelectFile", QStringLiteral("...."),
                               twips::rect(4740, 540, 540, 375));

    cmdPlaySp = makeButton(this, "cmdPlaySp", QStringLiteral("&Play On Speaker "),
                           twips::rect(120, 3900, 1920, 375));
    cmdOk = makeButton(this, "cmdOk", QStringLiteral("&Ok"), twips::rect(3240, 3900, 1215, 375));
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("&Cancel"),
                           twips::rect(4665, 3900, 1215, 375));

    m_list =
        new ListGrid(MSFlexGrid1, {QStringLiteral("SNo."), QStringLiteral("Message"), QString()},
                     {420, 4650, 0});
    connect(cmdNew, &QPushButton::clicked, this, &frmPlay::cmdNew_Click);
    connect(cmdMod, &QPushButton::clicked, this, &frmPlay::cmdMod_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmPlay::cmdDelete_Click);
    connect(cmdSelectFile, &QPushButton::clicked, this, &frmPlay::cmdSelectFile_Click);
    connect(cmdOk, &QPushButton::clicked, this, &frmPlay::cmdOk_Click);
    connect(cmdPlaySp, &QPushButton::clicked, this, &frmPlay::cmdPlaySp_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmPlay::openWindow()
{
    unsetCursor();
    SSTab1->setCurrentIndex(0);
    m_list->writeHeaders();
    FillMessageGrid();
    txtPlay->setText(AnsweringSettings.PlayFile);
    m_lastChosen.clear();
}

void frmPlay::FillMessageGrid()
{
    QList<QStringList> rows;
    Database db;
    Status s = db.OpenDatabase(programfolder::path());
    if (s) {
        Result<QList<messageplay::MessageRow>> messages = messageplay::listAll(db);
        if (messages) {
            for (const messageplay::MessageRow& m : messages.value())
                rows.append({m.message, QString::number(m.id)});
        } else {
            s = messages.status();
        }
    }
    db.CloseDatabase();
    if (!s)
        Messages::inform(QStringLiteral("The messages cannot be read: %1").arg(s.description()),
                         QString::fromLatin1(kTitle));
    m_list->fill(rows);
}

void frmPlay::cmdNew_Click()
{
    frmNewMess dialog(this);
    if (dialog.PopUp())
        FillMessageGrid();
}

QString frmPlay::selectedMessageId()
{
    if (!m_list->takeRowSelected(QString::fromLatin1(kTitleHyphen)))
        return QString();
    const QString id = m_list->current(2);
    if (id.isEmpty()) // the "No Records" row (the same text serves Modify)
        Messages::inform(QStringLiteral("No Records To Delete"), QString::fromLatin1(kTitleHyphen));
    return id;
}

void frmPlay::cmdMod_Click()
{
    const QString id = selectedMessageId();
    if (id.isEmpty())
        return;
    frmNewMess dialog(this);
    if (dialog.PopUp1(id))
        FillMessageGrid();
}

void frmPlay::cmdDelete_Click()
{
    const QString id = selectedMessageId();
    if (id.isEmpty())
        return;
    Database db;
    Status removed = db.OpenDatabase(programfolder::path());
    if (removed)
        removed = messageplay::remove(db, id.toLongLong());
    db.CloseDatabase();
    if (!removed)
        Messages::warn(
            QStringLiteral("The message cannot be deleted: %1").arg(removed.description()),
            QString::fromLatin1(kTitle));
    FillMessageGrid();
}

void frmPlay::cmdSelectFile_Click()
{
    const QString chosen = QFileDialog::getOpenFileName(this, QString(), QString(),
                                                        QStringLiteral("Wav Files(*.wav)"));
    if (!chosen.isEmpty())
        m_lastChosen = chosen;
    // After a cancel the box shows the last file chosen in this opening (empty before one).
    txtPlay->setText(m_lastChosen);
}

void frmPlay::cmdOk_Click()
{
    if (SSTab1->currentIndex() == 1) {
        const QString path = txtPlay->text();
        if (path.isEmpty()) {
            Messages::inform(QStringLiteral("Select File to Play "), QString::fromLatin1(kTitle));
            cmdSelectFile->setFocus();
            return;
        }
        switch (IsWaveFile(path)) {
        case wav::WaveCheck::CannotOpen:
            Messages::inform(QStringLiteral("Cannot Open the file Specified"),
                             QString::fromLatin1(kTitle));
            return;
        case wav::WaveCheck::NotWave:
            Messages::inform(QStringLiteral("Not a valid Wave file"), QString::fromLatin1(kTitle));
            return;
        case wav::WaveCheck::Wave:
            break;
        }
        AnsweringSettings.PlayFile = path;
        AnsweringSettings.PlayType = QStringLiteral("FILE");
        accept();
        return;
    }
    if (!m_list->takeRowSelected(QString::fromLatin1(kTitleHyphen)))
        return;
    if (m_list->current(2).isEmpty()) {
        Messages::inform(QStringLiteral("No Message to Play "), QString::fromLatin1(kTitleHyphen));
        return;
    }
    AnsweringSettings.PlayMessage = m_list->current(1);
    AnsweringSettings.PlayType = QStringLiteral("MESS");
    accept();
}

void frmPlay::cmdPlaySp_Click()
{
    cmdPlaySp->setEnabled(false);
    if (SSTab1->currentIndex() == 1) {
        PlayFileOnSpeaker(txtPlay->text());
    } else if (m_list->takeRowSelected(QString::fromLatin1(kTitleHyphen))) {
        if (m_list->current(2).isEmpty())
            Messages::inform(QStringLiteral("No Records To Play"),
                             QString::fromLatin1(kTitleHyphen));
        else // as callers will hear it: the answering voice, rate and volume
            PlayMessageOnSpeaker(m_list->current(1), AnsweringSettings.Rate,
                                 AnsweringSettings.Volume, AnsweringSettings.Voice);
    }
    cmdPlaySp->setEnabled(true);
}

} // namespace orvane
