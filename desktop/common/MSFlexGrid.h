#pragma once

// A grid in the manner of the desktop's list windows: row 0 is the fixed header row, rows
// from 1 hold data, cells are addressed by (row, column) and the current row is a property.
// The status grid of the main window and the list grids of the record windows are all
// this widget; the list-grid behaviour (running numbers, "No Records", a hidden key column,
// a row selected by a click) is written once, in ListGrid.
//
// Row 0 is the table's own header: it stays in place while the data rows scroll, and it
// can never be clicked into being the current row. A text too long for its cell ends in
// "..." and shows whole as the cell's tooltip.
//
// Thread: the user-interface thread.

#include <QHash>
#include <QTableWidget>

namespace orvane {

class MSFlexGrid : public QTableWidget {
    Q_OBJECT

public:
    explicit MSFlexGrid(QWidget* parent = nullptr);

    // Rows and the current row count the header as row 0, as the line server does.
    int rows() const { return rowCount() + 1; }
    void setRows(int rows);
    int cols() const { return columnCount(); }
    void setCols(int cols);
    // The current row (what the line server's Row put sets, and what the user chose).
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

    // A note on a data row, shown under each cell's text in its tooltip (the status grid's
    // last caller of a line). Empty: none.
    void setRowNote(int row, const QString& note);

    // Takes the highlight off: no row is shown chosen (what the user chooses next is).
    void clearChoice();
    // Makes `row` current and highlighted, as a click would, without telling rowChosen.
    void showChoice(int row);
    // Where a data cell is on the screen (for a click), in the viewport's coordinates.
    QRect cellRect(int row, int column) const;

Q_SIGNALS:
    // The user made a data row the current one: by a click, or with the keyboard.
    void rowChosen(int row);

private:
    int m_row = 0;
    int m_col = 0;
    bool m_placing = false;      // the program moves the highlight, not the user
    QHash<int, QString> m_notes; // by row
    QString toolTipOf(int row, const QString& text) const;
};

} // namespace orvane
