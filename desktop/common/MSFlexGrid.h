#pragma once

// A grid in the manner of the desktop's list windows: row 0 is the fixed header row, rows
// from 1 hold data, cells are addressed by (row, column) and the current row is a property.
// The status grid of the main window and the list grids of the record windows are all
// this widget; the list-grid behaviour (running numbers, "No Records", a hidden key column,
// a row selected by a click) is written once, in ListGrid.
//
// Thread: the user-interface thread.

#include <QTableWidget>

namespace orvane {

class MSFlexGrid : public QTableWidget {
    Q_OBJECT

public:
    explicit MSFlexGrid(QWidget* parent = nullptr);

    int rows() const { return rowCount(); }
    void setRows(int rows);
    int cols() const { return columnCount(); }
    void setCols(int cols);
    // The current row (what the line server's Row put sets).
    int row() const { return m_row; }
    void setRow(int row);
    int col() const { return m_col; }
    void setCol(int col) { m_col = col; }

    QString textMatrix(int row, int column) const;
    // Writing a cell beyond the rows grows the grid, as a late put may.
    void setTextMatrix(int row, int column, const QString& text);
    // Widths in twips, as designed (15 twips to a pixel).
    void setColWidthTwips(int column, int twips);
    void setCellAlignment(int row, int column, Qt::Alignment alignment);

Q_SIGNALS:
    // A data row was clicked (what a list window's RowSelected follows).
    void rowClicked(int row);

private:
    void styleHeaderRow();

    int m_row = 0;
    int m_col = 0;
};

} // namespace orvane
