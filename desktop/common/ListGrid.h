#pragma once

// The behaviour every list window shares: a header row, a first column "SNo." of running
// numbers from 1, one row per database row in the order returned, a single "No Records"
// row when there is none, an optional key column of width 0, and RowSelected, which the
// user's choice of a row (a click, or the arrow keys) sets and a row command takes back; a
// row command without it answers "Select Row Please". A row is highlighted exactly while
// it is chosen, and the commands act on that row.
//
// Thread: the user-interface thread.

#include "desktop/common/MSFlexGrid.h"

#include <QList>
#include <QStringList>

namespace orvane {

class ListGrid : public QObject {
    Q_OBJECT

public:
    // `headers` and `widthsTwips` name every column, "SNo." first.
    // `centreAll`: every data cell centred, not only the running number.
    ListGrid(MSFlexGrid* grid, const QStringList& headers, const QList<int>& widthsTwips,
             bool centreAll = false);

    // Writes the header texts.
    void writeHeaders();
    // Fills the grid: each entry holds the texts of the columns after "SNo.". Returns the row
    // count as the windows keep it (rows filled + 1).
    int fill(const QList<QStringList>& rows);

    MSFlexGrid* grid() const { return m_grid; }
    // Takes RowSelected back; when it was not set, says "Select Row Please" (with `title`)
    // and returns false.
    bool takeRowSelected(const QString& title);
    // Chooses `row` for the user (a notification's Show, a refresh that keeps the choice):
    // current, highlighted, and RowSelected.
    void choose(int row);
    bool rowSelected() const { return m_rowSelected; }
    // The data row whose `column` holds `text`; 0 when none does.
    int findRow(int column, const QString& text) const;
    // The current row's text in `column`.
    QString current(int column) const { return m_grid->textMatrix(m_grid->row(), column); }

private:
    MSFlexGrid* m_grid;
    QStringList m_headers;
    QList<int> m_widths;
    bool m_centreAll;
    bool m_rowSelected = false;
};

} // namespace orvane
