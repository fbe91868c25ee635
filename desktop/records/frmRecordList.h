#pragma once

// The recorded calls of one day: listed from rec_message, played on the PC, deleted one by
// one or all together with their recording files. One window for the whole program; the
// menu opens it modally, the toolbar without waiting.
//
// Thread: the user-interface thread.

#include "desktop/common/ListGrid.h"

#include <QDate>
#include <QDateTime>
#include <QDialog>

class QDateEdit;
class QLabel;
class QPushButton;
class QSlider;

namespace orvane {

class RecordingPlayer;

class frmRecordList : public QDialog {
    Q_OBJECT

public:
    explicit frmRecordList(QWidget* parent = nullptr);

    // Opening: today's calls.
    void openOnToday();
    void setDeleteEnabled(bool enabled);
    ListGrid& list() { return *m_list; }

    // A notification's Show and Play: the day of the call whose recording is `file`, with
    // its row chosen; `play` plays it too. False (after saying so) when no call has it.
    bool showCall(const QString& file, bool play);
    // The line server logged a call: the list refreshes when it shows that day, keeping
    // the chosen row.
    void callLogged(const QString& file, const QDateTime& time);
    // What plays the recordings, for the playback bar (and tests).
    RecordingPlayer& player() { return *m_player; }

Q_SIGNALS:
    // A recording was played (it is heard now) or calls were deleted: the unheard count
    // may have changed.
    void callsChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Closing the window stops what it plays.
    void hideEvent(QHideEvent* event) override;

private:
    void buildDayQuery();
    void FillCallGrid(const QDate& day);
    // Fills again for the listed day with the same row chosen, if it is still there.
    void refillKeepingChoice();
    void playRecording(const QString& file);
    void cmdSaveAs_Click();
    // The playback bar follows the player.
    void showPlayerState();
    void showPosition(qint64 ms);
    void cmdPlay_Click();
    void cmdDelete_Click();
    void cmdDeleteAll_Click();
    // The recording's full path, or empty when the stored name is not a bare file name.
    QString recordingPath(const QString& fileName) const;
    // The same, after telling the user when it is empty.
    QString recordingPathOrSay(const QString& fileName) const;
    // Deletes the calls' files and rows together, and tells the user what could not be.
    void deleteAndTell(const QStringList& files);

    QDateEdit* DTPicker1;
    QPushButton* cmdShow;
    QPushButton* cmdRefresh;
    QPushButton* cmdPlay;
    QPushButton* cmdDelete;
    QPushButton* cmdDeleteAll;
    QPushButton* cmdCancel;
    QPushButton* cmdSaveAs;
    // The playback bar.
    QPushButton* cmdPause;
    QPushButton* cmdStop;
    QSlider* sldPosition;
    QLabel* lblPosition;
    RecordingPlayer* m_player;
    MSFlexGrid* MSFlexGrid1;
    ListGrid* m_list;
    int m_rowCount = 1;
    QDate m_listedDay; // the day whose calls the grid shows (the day of the last fill)
};

} // namespace orvane
