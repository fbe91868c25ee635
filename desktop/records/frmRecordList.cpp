#include "desktop/records/frmRecordList.h"

#include "database/RecordingRemoval.h"

#include "database/DateTimeText.h"
#include "database/RecMessageTable.h"
#include "desktop/common/Controls.h"
#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Twips.h"
#include "desktop/records/LocalSound.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QPushButton>

namespace orvane {

namespace {
const char* const kTitle = "Answering Machine";
const char* const kTitleHyphen = "Answering-Machine";
} // namespace

frmRecordList::frmRecordList(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRecordList"));
    setWindowTitle(QStringLiteral("Recorded Calls"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setFixedSize(twips::px(5400), twips::px(4650));

    DTPicker1 = new QDateEdit(this);
    DTPicker1->setObjectName(QStringLiteral("DTPicker1"));
    DTPicker1->setCalendarPopup(true);
    DTPicker1->setGeometry(twips::rect(120, 120, 1800, 330));
    cmdShow = makeButton(this, "cmdShow", QStringLiteral("&Show Messages"),
                         twips::rect(2040, 120, 1560, 330));
    cmdRefresh = makeButton(this, "cmdRefresh", QStringLiteral("&Refresh"),
                            twips::rect(3720, 120, 1560, 330));
    MSFlexGrid1 = new MSFlexGrid(this);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    MSFlexGrid1->setGeometry(twips::rect(120, 570, 5160, 3360));
    cmdPlay =
        makeButton(this, "cmdPlay", QStringLiteral("&Play"), twips::rect(120, 4080, 1200, 375));
    cmdDelete = makeButton(this, "cmdDelete", QStringLiteral("&Delete"),
                           twips::rect(1440, 4080, 1200, 375));
    cmdDeleteAll = makeButton(this, "cmdDeleteAll", QStringLiteral("Delete &All"),
                              twips::rect(2760, 4080, 1200, 375));
    cmdCancel = makeButton(this, "cmdCancel", QStringLiteral("&Cancel"),
                           twips::rect(4080, 4080, 1200, 375));

    m_list = new ListGrid(MSFlexGrid1,
                          {QStringLiteral("SNo."), QStringLiteral("Time Incoming Call"),
                           QStringLiteral("Recorded File")},
                          {420, 2000, 2500}, true);
    connect(cmdShow, &QPushButton::clicked, this, &frmRecordList::buildDayQuery);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmRecordList::buildDayQuery);
    connect(cmdPlay, &QPushButton::clicked, this, &frmRecordList::cmdPlay_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmRecordList::cmdDelete_Click);
    connect(cmdDeleteAll, &QPushButton::clicked, this, &frmRecordList::cmdDeleteAll_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmRecordList::openOnToday()
{
    cmdPlay->setText(QStringLiteral("Play"));
    DTPicker1->setDate(QDate::currentDate());
    m_list->writeHeaders();
    buildDayQuery();
}

void frmRecordList::setDeleteEnabled(bool enabled)
{
    cmdDelete->setEnabled(enabled);
    cmdDeleteAll->setEnabled(enabled);
}

void frmRecordList::buildDayQuery()
{
    FillCallGrid(DTPicker1->date());
}

void frmRecordList::FillCallGrid(const QDate& day)
{
    QList<QStringList> rows;
    Database db;
    Status s = db.OpenDatabase(programfolder::path());
    if (s) {
        Result<QList<recmessage::CallRow>> calls = recmessage::listDay(db, day);
        if (calls) {
            rows.reserve(calls->size());
            for (const recmessage::CallRow& call : calls.value())
                rows.append({datetext::general(call.incomingCall), call.incomingCallFile});
        } else {
            s = calls.status();
        }
    }
    db.CloseDatabase();
    if (!s)
        Messages::inform(
            QStringLiteral("The recorded calls cannot be read: %1").arg(s.description()),
            QString::fromLatin1(kTitle));
    m_rowCount = m_list->fill(rows);
    m_listedDay = day;
}

QString frmRecordList::recordingPath(const QString& fileName) const
{
    return orvane::recordingPath(programfolder::path(), fileName);
}

void frmRecordList::cmdPlay_Click()
{
    if (!m_list->takeRowSelected(QString::fromLatin1(kTitleHyphen)))
        return;
    const QString file = m_list->current(2);
    if (file.isEmpty()) {
        Messages::inform(QStringLiteral("No Records To Play"), QString::fromLatin1(kTitleHyphen));
        return;
    }
    const QString path = recordingPath(file);
    if (path.isEmpty())
        Messages::warn(QStringLiteral("\"%1\" is not the name of a recording.").arg(file),
                       QString::fromLatin1(kTitle));
    else
        PlayFile(path, this);
    setDeleteEnabled(true);
}

void frmRecordList::cmdDelete_Click()
{
    if (!m_list->takeRowSelected(QString::fromLatin1(kTitle)))
        return;
    const QString number = m_list->current(0);
    if (number.isEmpty()) {
        Messages::inform(QStringLiteral("No Records To Delete"), QString::fromLatin1(kTitle));
        return;
    }
    if (!Messages::confirm(QStringLiteral("Are You Sure You want to Delete SNo -> ") + number,
                           Messages::programTitle()))
        return;
    deleteAndTell({m_list->current(2)});
    buildDayQuery();
}

void frmRecordList::deleteAndTell(const QStringList& files)
{
    const RemovalOutcome outcome = deleteRecordings(programfolder::path(), files);
    if (outcome.notOurs.size() == 1)
        Messages::warn(QStringLiteral("\"%1\" is not the name of a recording: no file was deleted.")
                           .arg(outcome.notOurs.first()),
                       QString::fromLatin1(kTitle));
    else if (!outcome.notOurs.isEmpty())
        Messages::warn(QStringLiteral("These are not names of recordings: \"%1\". No file was "
                                      "deleted for them.")
                           .arg(outcome.notOurs.join(QStringLiteral("\", \""))),
                       QString::fromLatin1(kTitle));
    if (!outcome.status)
        Messages::warn(outcome.status.description(), QString::fromLatin1(kTitle));
}

void frmRecordList::cmdDeleteAll_Click()
{
    if (m_list->current(0).isEmpty()) {
        Messages::inform(QStringLiteral("No Records To Delete"), QString::fromLatin1(kTitle));
        return;
    }
    if (!Messages::confirm(QStringLiteral("Are You Sure You want to Delete All Records"),
                           Messages::programTitle()))
        return;
    // The calls the grid lists (its day, whatever the picker says now): a call logged since
    // is not among them and stays.
    QStringList files;
    for (int row = 1; row < m_rowCount; ++row) {
        MSFlexGrid1->setRow(row);
        files.append(m_list->current(2));
    }
    deleteAndTell(files);
    DTPicker1->setDate(m_listedDay);
    buildDayQuery();
}

} // namespace orvane
