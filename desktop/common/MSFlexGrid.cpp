#include "desktop/common/MSFlexGrid.h"

#include "desktop/common/Twips.h"

#include <QHeaderView>

namespace orvane {

MSFlexGrid::MSFlexGrid(QWidget* parent)
    : QTableWidget(parent)
{
    horizontalHeader()->hide();
    verticalHeader()->hide();
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Narrow columns (the running numbers) clip rather than turn into "...".
    setTextElideMode(Qt::ElideNone);
    setWordWrap(false);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    connect(this, &QTableWidget::cellClicked, this, [this](int r, int c) {
        m_row = r;
        m_col = c;
        if (r > 0)
            Q_EMIT rowClicked(r);
    });
}

void MSFlexGrid::setRows(int rows)
{
    setRowCount(qMax(rows, 1));
    if (m_row >= rowCount())
        m_row = rowCount() - 1;
    styleHeaderRow();
}

void MSFlexGrid::setCols(int cols)
{
    setColumnCount(cols);
    styleHeaderRow();
}

void MSFlexGrid::setRow(int row)
{
    if (row < 0)
        return;
    if (row >= rowCount())
        setRows(row + 1);
    m_row = row;
}

QString MSFlexGrid::textMatrix(int row, int column) const
{
    const QTableWidgetItem* cell = item(row, column);
    return cell ? cell->text() : QString();
}

void MSFlexGrid::setTextMatrix(int row, int column, const QString& text)
{
    if (row < 0 || column < 0 || column >= columnCount())
        return;
    if (row >= rowCount())
        setRows(row + 1);
    QTableWidgetItem* cell = item(row, column);
    if (!cell) {
        cell = new QTableWidgetItem;
        setItem(row, column, cell);
        if (row == 0)
            styleHeaderRow();
    }
    cell->setText(text);
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
    if (QTableWidgetItem* cell = item(row, column))
        cell->setTextAlignment(alignment);
}

void MSFlexGrid::styleHeaderRow()
{
    // Row 0 is fixed: it reads as a header and cannot be chosen.
    if (rowCount() == 0)
        return;
    for (int c = 0; c < columnCount(); ++c) {
        QTableWidgetItem* cell = item(0, c);
        if (!cell) {
            cell = new QTableWidgetItem;
            setItem(0, c, cell);
        }
        cell->setFlags(Qt::ItemIsEnabled);
        cell->setBackground(palette().button());
    }
}

} // namespace orvane
