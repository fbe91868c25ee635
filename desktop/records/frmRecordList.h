#pragma once

// The recorded calls of one day: listed from rec_message, played on the PC, deleted one by
// one or all together with their recording files. One window for the whole program; the
// menu opens it modally, the toolbar without waiting.
//
// Thread: the user-interface thread.

#include "desktop/common/ListGrid.h"

#include <QDate>
#include <QDialog>

class QDateEdit;
class QPushButton;

namespace orvane {

class frmRecordList : public QDialog {
    Q_OBJECT

public:
    explicit frmRecordList(QWidget* parent = nullptr);

    // Opening: today's calls.
    void openOnToday();
    void setDeleteEnabled(bool enabled);
    ListGrid& list() { return *m_list; }

private:
    void buildDayQuery();
    void FillCallGrid(const QDate& day);
    void cmdPlay_Click();
    void cmdDelete_Click();
    void cmdDeleteAll_Click();
    // The recording's full path, or empty when the stored name is not a bare file name.
    QString recordingPath(const QString& fileName) const;
    // Deletes the calls' files and rows together, and tells the user what could not be.
    void deleteAndTell(const QStringList& files);

    QDateEdit* DTPicker1;
    QPushButton* cmdShow;
    QPushButton* cmdRefresh;
    QPushButton* cmdPlay;
    QPushButton* cmdDelete;
    QPushButton* cmdDeleteAll;
    QPushButton* cmdCancel;
    MSFlexGrid* MSFlexGrid1;
    ListGrid* m_list;
    int m_rowCount = 1;
    QDate m_listedDay; // the day whose calls the grid shows (the day of the last fill)
};

} // namespace orvane
