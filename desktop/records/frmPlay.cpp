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
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace orvane {

namespace {
const char* const kTitle = QT_TRANSLATE_NOOP("orvane::frmPlay", "Answering Machine");
const char* const kTitleHyphen = QT_TRANSLATE_NOOP("orvane::frmPlay", "Answering-Machine");

} // namespace

frmPlay::frmPlay(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPlay"));
    setWindowTitle(tr("Play"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    SSTab1 = new QTabWidget(this);
    SSTab1->setObjectName(QStringLiteral("SSTab1"));
    SSTab1->setGeometry(twips::rect(120, 120, 5760, 3600));
    auto* messages = new QWidget;
    auto* file = new QWidget;
    SSTab1->addTab(messages, tr("Play Text Message"));
    SSTab1->addTab(file, tr("Play Wave File"));

    MSFlexGrid1 = new MSFlexGrid(messages);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setGeometry(twips::rect(120, 120, 5400, 2460));
    nameForReaders(MSFlexGrid1, tr("Messages"), tr("The spoken greetings of the library"));
    cmdNew = makeButton(messages, "cmdNew", tr("&Record New Message"),
                        twips::rect(120, 2700, 2160, 375));
    cmdMod = makeButton(messages, "cmdMod", tr("&Modify"), twips::rect(2400, 2700, 1440, 375));
    cmdDelete =
        makeButton(messages, "cmdDelete", tr("&Delete"), twips::rect(3960, 2700, 1440, 375));

    auto* frame = new QGroupBox(tr("Select the Wave File to Play :"), file);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twips::rect(120, 240, 5400, 1320));
    auto* label = new QLabel(tr("File Name"), frame);
    label->setObjectName(QStringLiteral("lblPlayFile"));
    label->setGeometry(twips::rect(120, 600, 960, 255));
    txtPlay = new QLineEdit(frame);
    txtPlay->setObjectName(QStringLiteral("txtPlay"));
    txtPlay->setMaxLength(400);
    txtPlay->setGeometry(twips::rect(1080, 540, 3600, 375));
    label->setBuddy(txtPlay);
    cmdSelectFile =
        makeButton(frame, "cmdSelectFile", tr("...."), twips::rect(4740, 540, 540, 375));
    // Its caption reads as dots.
    nameForReaders(cmdSelectFile, tr("Choose the wave file"),
                   tr("Opens a file dialog for the greeting to play"));

    cmdPlaySp =
        makeButton(this, "cmdPlaySp", tr("&Play On Speaker "), twips::rect(120, 3900, 1920, 375));
    cmdOk = makeButton(this, "cmdOk", tr("&Ok"), twips::rect(3240, 3900, 1215, 375));
    cmdCancel = makeButton(this, "cmdCancel", tr("&Cancel"), twips::rect(4665, 3900, 1215, 375));

    // Laid out from the described places and sizes: the list and the file's box take the
    // room as the window grows; the first size is the described one.
    for (QPushButton* b : {cmdNew, cmdMod, cmdDelete, cmdSelectFile, cmdPlaySp, cmdOk, cmdCancel})
        b->setMinimumWidth(b->width());
    auto* listColumn = new QVBoxLayout(messages);
    listColumn->addWidget(MSFlexGrid1, 1);
    auto* listButtons = new QHBoxLayout;
    for (QPushButton* b : {cmdNew, cmdMod, cmdDelete})
        listButtons->addWidget(b);
    listButtons->addStretch();
    listColumn->addLayout(listButtons);
    auto* fileRow = new QHBoxLayout(frame);
    fileRow->addWidget(label);
    fileRow->addWidget(txtPlay, 1);
    fileRow->addWidget(cmdSelectFile);
    auto* fileColumn = new QVBoxLayout(file);
    fileColumn->addWidget(frame);
    fileColumn->addStretch();
    auto* column = new QVBoxLayout(this);
    column->addWidget(SSTab1, 1);
    column->addLayout(buttonRow({cmdOk, cmdCancel}, cmdPlaySp));
    resizeToFirstSize(this, QSize(twips::px(6000), twips::px(4500)));

    m_list = new ListGrid(MSFlexGrid1, {tr("SNo."), tr("Message"), QString()}, {420, 4650, 0});
    // The message column takes the room as the window grows.
    MSFlexGrid1->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);

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
        Messages::inform(tr("The messages cannot be read: %1").arg(s.description()), tr(kTitle));
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
    if (!m_list->takeRowSelected(tr(kTitleHyphen)))
        return QString();
    const QString id = m_list->current(2);
    if (id.isEmpty()) // the "No Records" row (the same text serves Modify)
        Messages::inform(tr("No Records To Delete"), tr(kTitleHyphen));
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
        Messages::warn(tr("The message cannot be deleted: %1").arg(removed.description()),
                       tr(kTitle));
    FillMessageGrid();
}

void frmPlay::cmdSelectFile_Click()
{
    const QString chosen =
        QFileDialog::getOpenFileName(this, QString(), QString(), tr("Wav Files(*.wav)"));
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
            Messages::inform(tr("Select File to Play "), tr(kTitle));
            cmdSelectFile->setFocus();
            return;
        }
        switch (IsWaveFile(path)) {
        case wav::WaveCheck::CannotOpen:
            Messages::inform(tr("Cannot Open the file Specified"), tr(kTitle));
            return;
        case wav::WaveCheck::NotWave:
            Messages::inform(tr("Not a valid Wave file"), tr(kTitle));
            return;
        case wav::WaveCheck::Wave:
            break;
        }
        AnsweringSettings.PlayFile = path;
        AnsweringSettings.PlayType = QStringLiteral("FILE");
        accept();
        return;
    }
    if (!m_list->takeRowSelected(tr(kTitleHyphen)))
        return;
    if (m_list->current(2).isEmpty()) {
        Messages::inform(tr("No Message to Play "), tr(kTitleHyphen));
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
    } else if (m_list->takeRowSelected(tr(kTitleHyphen))) {
        if (m_list->current(2).isEmpty())
            Messages::inform(tr("No Records To Play"), tr(kTitleHyphen));
        else // as callers will hear it: the answering voice, rate and volume
            PlayMessageOnSpeaker(m_list->current(1), AnsweringSettings.Rate,
                                 AnsweringSettings.Volume, AnsweringSettings.Voice);
    }
    cmdPlaySp->setEnabled(true);
}

} // namespace orvane
