#include "desktop/common/MSFlexGrid.h"

#include "desktop/common/Twips.h"

#include <QHeaderView>

namespace orvane {

MSFlexGrid::MSFlexGrid(QWidget* parent)
    : QTableWidget(parent)
{
    verticalHeader()->hide();
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Tab goes on to the next control, as in every other list of the desktop.
    setTabKeyNavigation(false);
    setTextElideMode(Qt::ElideRight);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    // A click (also on the row already current) and a move with the keys both choose.
    connect(this, &QTableWidget::cellClicked, this, [this](int r, int c) {
        m_row = r + 1;
        m_col = c;
        Q_EMIT rowChosen(m_row);
    });
    connect(this, &QTableWidget::currentCellChanged, this, [this](int r, int c) {
        if (m_placing || r < 0)
            return;
        m_row = r + 1;
        m_col = c;
        Q_EMIT rowChosen(m_row);
    });
}

void MSFlexGrid::setRows(int rows)
{
    setRowCount(qMax(rows, 1) - 1);
    if (m_row >= this->rows())
        m_row = this->rows() - 1;
}

void MSFlexGrid::setCols(int cols)
{
    setColumnCount(cols);
    for (int c = 0; c < cols; ++c)
        if (!horizontalHeaderItem(c))
            setHorizontalHeaderItem(c, new QTableWidgetItem);
}

void MSFlexGrid::setRow(int row)
{
    if (row < 0)
        return;
    if (row >= rows())
        setRows(row + 1);
    m_row = row;
}

void MSFlexGrid::clearChoice()
{
    m_placing = true;
    setCurrentItem(nullptr);
    clearSelection();
    m_placing = false;
}

void MSFlexGrid::showChoice(int row)
{
    if (row < 1 || row >= rows())
        return;
    m_row = row;
    m_placing = true;
    setCurrentCell(row - 1, 0);
    selectRow(row - 1);
    m_placing = false;
}

QString MSFlexGrid::textMatrix(int row, int column) const
{
    const QTableWidgetItem* cell = row == 0 ? horizontalHeaderItem(column) : item(row - 1, column);
    return cell ? cell->text() : QString();
}

void MSFlexGrid::setTextMatrix(int row, int column, const QString& text)
{
    if (row < 0 || column < 0 || column >= columnCount())
        return;
    if (row == 0) {
        QTableWidgetItem* header = horizontalHeaderItem(column);
        if (!header) {
            header = new QTableWidgetItem;
            setHorizontalHeaderItem(column, header);
        }
        header->setText(text);
        return;
    }
    if (row >= rows())
        setRows(row + 1);
    QTableWidgetItem* cell = item(row - 1, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row - 1, column, cell);
    }
    cell->setText(text);
    // The whole text, however narrow the column.
    cell->setToolTip(toolTipOf(row, text));
}

QString MSFlexGrid::toolTipOf(int row, const QString& text) const
{
    const QString note = m_notes.value(row);
    if (note.isEmpty())
        return text;
    return text.isEmpty() ? note : text + QLatin1Char('\n') + note;
}

void MSFlexGrid::setRowNote(int row, const QString& note)
{
    if (row < 1)
        return;
    if (note.isEmpty())
        m_notes.remove(row);
    else
        m_notes.insert(row, note);
    if (row >= rows())
        return;
    for (int c = 0; c < columnCount(); ++c) {
        QTableWidgetItem* cell = item(row - 1, c);
        if (!cell) {
            cell = new QTableWidgetItem;
            setItem(row - 1, c, cell);
        }
        cell->setToolTip(toolTipOf(row, cell->text()));
    }
}

void MSFlexGrid::setColWidthTwips(int column, int widthTwips)
{
    if (widthTwips == 0)
        setColumnHidden(column, true);
    else {
        setColumnHidden(column, false);
        setColumnWidth(column, twips::px(widthTwips));
    }
}

void MSFlexGrid::setCellAlignment(int row, int column, Qt::Alignment alignment)
{
    QTableWidgetItem* cell = row == 0 ? horizontalHeaderItem(column) : item(row - 1, column);
    if (cell)
        cell->setTextAlignment(alignment);
}

QRect MSFlexGrid::cellRect(int row, int column) const
{
    const QTableWidgetItem* cell = row > 0 ? item(row - 1, column) : nullptr;
    return cell ? visualItemRect(cell) : QRect();
}

} // namespace orvane
