#include "desktop/records/frmRecordList.h"

#include "database/RecordingRemoval.h"

#include "database/DateTimeText.h"
#include "database/RecMessageTable.h"
#include "desktop/common/Controls.h"
#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Twips.h"
#include "desktop/records/RecordingPlayer.h"

#include "platform/notify/EventText.h"

#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace orvane {

namespace {
const char* const kTitle = QT_TRANSLATE_NOOP("orvane::frmRecordList", "Answering Machine");
const char* const kTitleHyphen = QT_TRANSLATE_NOOP("orvane::frmRecordList", "Answering-Machine");
// The width of the caller, line, length and keys columns beyond the window's first design.
constexpr int kExtraWidth = 5300;
constexpr int kFileColumn = 2;
// The playback bar under the buttons.
constexpr int kBarHeight = 480;
} // namespace

frmRecordList::frmRecordList(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmRecordList"));
    setWindowTitle(tr("Recorded Calls"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    DTPicker1 = new QDateEdit(this);
    DTPicker1->setObjectName(QStringLiteral("DTPicker1"));
    DTPicker1->setCalendarPopup(true);
    nameForReaders(DTPicker1, tr("Day"), tr("The day whose recorded calls are listed"));
    const auto button = [this](const char* name, const QString& caption, int widthTwips) {
        return makeDialogButton(this, name, caption, twips::px(widthTwips));
    };
    cmdShow = button("cmdShow", tr("&Show Messages"), 1560);
    cmdRefresh = button("cmdRefresh", tr("&Refresh"), 1560);
    MSFlexGrid1 = new MSFlexGrid(this);
    MSFlexGrid1->setObjectName(QStringLiteral("MSFlexGrid1"));
    nameForReaders(MSFlexGrid1, tr("Recorded Calls"),
                   tr("The calls of the day: time, caller, line and length"));
    cmdPlay = button("cmdPlay", tr("&Play"), 1200);
    cmdDelete = button("cmdDelete", tr("&Delete"), 1200);
    cmdDeleteAll = button("cmdDeleteAll", tr("Delete &All"), 1200);
    cmdCancel = button("cmdCancel", tr("&Cancel"), 1200);
    cmdSaveAs = button("cmdSaveAs", tr("Sa&ve As..."), 1400);
    cmdPause = button("cmdPause", tr("Pa&use"), 1200);
    cmdStop = button("cmdStop", tr("S&top"), 1200);
    sldPosition = new QSlider(Qt::Horizontal, this);
    sldPosition->setObjectName(QStringLiteral("sldPosition"));
    sldPosition->setAccessibleName(tr("Position"));
    lblPosition = new QLabel(this);
    lblPosition->setObjectName(QStringLiteral("lblPosition"));
    lblPosition->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblPosition->setMinimumWidth(twips::px(1800));

    // The day's row, the list (which takes the room), the commands, the playback bar.
    auto* column = new QVBoxLayout(this);
    const int gap = twips::px(120);
    column->setContentsMargins(gap, gap, gap, gap);
    auto* day = new QHBoxLayout;
    day->addWidget(DTPicker1);
    day->addWidget(cmdShow);
    day->addWidget(cmdRefresh);
    day->addStretch();
    column->addLayout(day);
    column->addWidget(MSFlexGrid1, 1);
    auto* commands = new QHBoxLayout;
    for (QPushButton* b : {cmdPlay, cmdDelete, cmdDeleteAll, cmdCancel, cmdSaveAs})
        commands->addWidget(b);
    commands->addStretch();
    column->addLayout(commands);
    auto* bar = new QHBoxLayout;
    bar->addWidget(cmdPause);
    bar->addWidget(cmdStop);
    bar->addWidget(sldPosition, 1);
    bar->addWidget(lblPosition);
    column->addLayout(bar);
    // The first size: wider than the buttons' row by the columns for the caller, the line
    // and the length, taller by the playback bar; within the screen.
    resizeToFirstSize(this, QSize(twips::px(5400 + kExtraWidth), twips::px(4650 + kBarHeight)));
    m_player = new RecordingPlayer(this);

    m_list = new ListGrid(MSFlexGrid1,
                          {tr("SNo."), tr("Time Incoming Call"), tr("Recorded File"), tr("Caller"),
                           tr("Line"), tr("Length"), tr("Keys")},
                          {420, 2000, 2500, 2400, 1400, 700, 700}, true);
    // As the window grows, the recording's name takes the room.
    MSFlexGrid1->horizontalHeader()->setSectionResizeMode(kFileColumn, QHeaderView::Stretch);
    MSFlexGrid1->installEventFilter(this);
    connect(cmdShow, &QPushButton::clicked, this, &frmRecordList::buildDayQuery);
    connect(cmdRefresh, &QPushButton::clicked, this, &frmRecordList::buildDayQuery);
    connect(cmdPlay, &QPushButton::clicked, this, &frmRecordList::cmdPlay_Click);
    connect(cmdDelete, &QPushButton::clicked, this, &frmRecordList::cmdDelete_Click);
    connect(cmdDeleteAll, &QPushButton::clicked, this, &frmRecordList::cmdDeleteAll_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(cmdSaveAs, &QPushButton::clicked, this, &frmRecordList::cmdSaveAs_Click);
    connect(cmdPause, &QPushButton::clicked, this, [this] {
        if (m_player->state() == RecordingPlayer::State::Playing)
            m_player->pause();
        else if (m_player->state() == RecordingPlayer::State::Paused)
            m_player->resume();
    });
    connect(cmdStop, &QPushButton::clicked, m_player, &RecordingPlayer::stop);
    // The position moves where the slider is let go (or moved with the keys).
    connect(sldPosition, &QSlider::sliderReleased, this,
            [this] { m_player->seek(sldPosition->value()); });
    connect(sldPosition, &QSlider::actionTriggered, this, [this](int action) {
        if (action != QAbstractSlider::SliderMove)
            QMetaObject::invokeMethod(
                this, [this] { m_player->seek(sldPosition->value()); }, Qt::QueuedConnection);
    });
    connect(m_player, &RecordingPlayer::positionChanged, this, &frmRecordList::showPosition);
    connect(m_player, &RecordingPlayer::stateChanged, this, &frmRecordList::showPlayerState);
    connect(m_player, &RecordingPlayer::failed, this,
            [](const QString& why) { Messages::warn(why, tr(kTitle)); });
    showPlayerState();
}

void frmRecordList::showPlayerState()
{
    const RecordingPlayer::State state = m_player->state();
    const bool stopped = state == RecordingPlayer::State::Stopped;
    cmdPause->setEnabled(!stopped);
    cmdPause->setText(state == RecordingPlayer::State::Paused ? tr("&Resume") : tr("Pa&use"));
    cmdStop->setEnabled(!stopped);
    sldPosition->setEnabled(!stopped);
    sldPosition->setRange(0, int(qMin<qint64>(m_player->durationMs(), INT_MAX)));
    // The file that plays is not deleted under it.
    setDeleteEnabled(stopped);
    showPosition(m_player->positionMs());
}

void frmRecordList::showPosition(qint64 ms)
{
    if (!sldPosition->isSliderDown())
        sldPosition->setValue(int(qMin<qint64>(ms, INT_MAX)));
    if (m_player->state() == RecordingPlayer::State::Stopped) {
        lblPosition->clear();
        return;
    }
    lblPosition->setText(
        QStringLiteral("%1 / %2").arg(eventtext::lengthText(int(ms / 1000)),
                                      eventtext::lengthText(int(m_player->durationMs() / 1000))));
}

void frmRecordList::hideEvent(QHideEvent* event)
{
    m_player->stop();
    QDialog::hideEvent(event);
}

void frmRecordList::cmdSaveAs_Click()
{
    if (!m_list->takeRowSelected(tr(kTitleHyphen)))
        return;
    const QString file = m_list->current(kFileColumn);
    if (file.isEmpty()) {
        Messages::inform(tr("No Records To Save"), tr(kTitleHyphen));
        return;
    }
    const QString path = recordingPathOrSay(file);
    if (path.isEmpty())
        return;
    const QString asStored = tr("Recording as stored, 8 kHz mu-law (*.wav)");
    const QString asPcm = tr("16-bit PCM wave file (*.wav)");
    QString filter = asStored;
    const QString target =
        QFileDialog::getSaveFileName(this, tr("Save Recording As"), QDir::home().filePath(file),
                                     asStored + QStringLiteral(";;") + asPcm, &filter);
    if (target.isEmpty())
        return;
    const Status saved = exportRecording(
        path, target, filter == asPcm ? ExportFormat::Pcm16 : ExportFormat::AsStored);
    if (!saved)
        Messages::warn(saved.description(), tr(kTitle));
}

void frmRecordList::openOnToday()
{
    cmdPlay->setText(tr("Play"));
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
                rows.append(
                    {datetext::general(call.incomingCall), call.incomingCallFile,
                     eventtext::callerShown(call.details.callerNumber, call.details.callerName),
                     call.details.line, eventtext::lengthText(call.details.seconds),
                     call.details.keys});
        } else {
            s = calls.status();
        }
    }
    db.CloseDatabase();
    if (!s)
        Messages::inform(tr("The recorded calls cannot be read: %1").arg(s.description()),
                         tr(kTitle));
    m_rowCount = m_list->fill(rows);
    m_listedDay = day;
}

QString frmRecordList::recordingPath(const QString& fileName) const
{
    return orvane::recordingPath(programfolder::path(), fileName);
}

QString frmRecordList::recordingPathOrSay(const QString& fileName) const
{
    const QString path = recordingPath(fileName);
    if (path.isEmpty())
        Messages::warn(tr("\"%1\" is not the name of a recording.").arg(fileName), tr(kTitle));
    return path;
}

void frmRecordList::cmdPlay_Click()
{
    if (!m_list->takeRowSelected(tr(kTitleHyphen)))
        return;
    const QString file = m_list->current(2);
    if (file.isEmpty()) {
        Messages::inform(tr("No Records To Play"), tr(kTitleHyphen));
        return;
    }
    playRecording(file);
}

void frmRecordList::playRecording(const QString& file)
{
    const QString path = recordingPathOrSay(file);
    if (path.isEmpty())
        return;
    // Heard once it is played to the user, whether or not it is heard to its end.
    Database db;
    if (db.OpenDatabase(programfolder::path()))
        recmessage::markHeard(db, file);
    db.CloseDatabase();
    Q_EMIT callsChanged();
    if (const Status s = m_player->play(path); !s)
        Messages::warn(s.description(), tr(kTitle));
}

bool frmRecordList::showCall(const QString& file, bool play)
{
    Database db;
    Status s = db.OpenDatabase(programfolder::path());
    Result<QDateTime> time = s ? recmessage::timeOf(db, file) : Result<QDateTime>(s);
    db.CloseDatabase();
    if (!time) {
        Messages::inform(tr("The call cannot be shown: %1").arg(time.status().description()),
                         tr(kTitle));
        return false;
    }
    DTPicker1->setDate(time->date());
    buildDayQuery();
    const int row = m_list->findRow(kFileColumn, file);
    if (row == 0)
        return false;
    m_list->choose(row);
    if (play)
        playRecording(file);
    return true;
}

void frmRecordList::callLogged(const QString&, const QDateTime& time)
{
    if (isVisible() && time.date() == m_listedDay)
        refillKeepingChoice();
}

void frmRecordList::refillKeepingChoice()
{
    const bool chosen = m_list->rowSelected();
    const QString file = m_list->current(kFileColumn);
    FillCallGrid(m_listedDay);
    const int row = file.isEmpty() ? 0 : m_list->findRow(kFileColumn, file);
    if (row == 0)
        return;
    if (chosen)
        m_list->choose(row);
    else
        MSFlexGrid1->setRow(row);
}

bool frmRecordList::eventFilter(QObject* watched, QEvent* event)
{
    // Delete on the list deletes the chosen row, with the same question as the button.
    if (watched == MSFlexGrid1 && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete && cmdDelete->isEnabled()) {
        cmdDelete_Click();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmRecordList::cmdDelete_Click()
{
    if (!m_list->takeRowSelected(tr(kTitle)))
        return;
    const QString number = m_list->current(0);
    if (number.isEmpty()) {
        Messages::inform(tr("No Records To Delete"), tr(kTitle));
        return;
    }
    if (!Messages::confirm(tr("Are You Sure You want to Delete SNo -> ") + number,
                           Messages::programTitle()))
        return;
    deleteAndTell({m_list->current(2)});
    buildDayQuery();
    Q_EMIT callsChanged();
}

void frmRecordList::deleteAndTell(const QStringList& files)
{
    const RemovalOutcome outcome = deleteRecordings(programfolder::path(), files);
    if (outcome.notOurs.size() == 1)
        Messages::warn(tr("\"%1\" is not the name of a recording: no file was deleted.")
                           .arg(outcome.notOurs.first()),
                       tr(kTitle));
    else if (!outcome.notOurs.isEmpty())
        Messages::warn(tr("These are not names of recordings: \"%1\". No file was "
                          "deleted for them.")
                           .arg(outcome.notOurs.join(QStringLiteral("\", \""))),
                       tr(kTitle));
    if (!outcome.status)
        Messages::warn(outcome.status.description(), tr(kTitle));
}

void frmRecordList::cmdDeleteAll_Click()
{
    if (m_list->current(0).isEmpty()) {
        Messages::inform(tr("No Records To Delete"), tr(kTitle));
        return;
    }
    // The calls the grid lists as the user is asked (its day, whatever the picker says now):
    // a call logged since, even while the question is open, was not seen, and stays.
    QStringList files;
    for (int row = 1; row < m_rowCount; ++row)
        files.append(MSFlexGrid1->textMatrix(row, kFileColumn));
    if (!Messages::confirm(tr("Are You Sure You want to Delete All Records"),
                           Messages::programTitle()))
        return;
    deleteAndTell(files);
    DTPicker1->setDate(m_listedDay);
    buildDayQuery();
    Q_EMIT callsChanged();
}

} // namespace orvane
