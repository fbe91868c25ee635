#include "desktop/common/ListGrid.h"

#include "desktop/common/Messages.h"

namespace orvane {

ListGrid::ListGrid(MSFlexGrid* grid, const QStringList& headers, const QList<int>& widthsTwips,
                   bool centreAll)
    : QObject(grid)
    , m_grid(grid)
    , m_headers(headers)
    , m_widths(widthsTwips)
    , m_centreAll(centreAll)
{
    m_grid->setCols(int(headers.size()));
    m_grid->setRows(2);
    // A row is highlighted exactly while it is chosen: by the user, until a command takes
    // the choice back. The command acts on it.
    connect(m_grid, &MSFlexGrid::rowChosen, this, [this] { m_rowSelected = true; });
}

void ListGrid::writeHeaders()
{
    for (int c = 0; c < m_headers.size(); ++c)
        m_grid->setTextMatrix(0, c, m_headers.at(c));
}

int ListGrid::fill(const QList<QStringList>& rows)
{
    m_grid->setRow(0);
    m_grid->clearChoice();
    for (int c = 0; c < m_widths.size(); ++c)
        m_grid->setColWidthTwips(c, m_widths.at(c));
    const Qt::Alignment centre = Qt::AlignCenter;
    if (rows.isEmpty()) {
        m_grid->setRows(2);
        m_grid->setRow(1);
        for (int c = 0; c < m_grid->cols(); ++c)
            m_grid->setTextMatrix(1, c, c == 1 ? tr("No Records") : QString());
        return 1;
    }
    // One resize for all the rows: the same grid as growing it row by row, in a fraction of
    // the time for a long day.
    m_grid->setUpdatesEnabled(false);
    m_grid->setRows(int(rows.size()) + 1);
    int counter = 1;
    for (const QStringList& row : rows) {
        m_grid->setTextMatrix(counter, 0, QString::number(counter));
        m_grid->setCellAlignment(counter, 0, centre);
        for (int c = 0; c + 1 < m_grid->cols(); ++c) {
            m_grid->setTextMatrix(counter, c + 1, row.value(c));
            if (m_centreAll)
                m_grid->setCellAlignment(counter, c + 1, centre);
        }
        ++counter;
    }
    m_grid->setRow(counter - 1);
    m_grid->setUpdatesEnabled(true);
    return counter;
}

void ListGrid::choose(int row)
{
    if (row < 1 || row >= m_grid->rows())
        return;
    m_grid->showChoice(row);
    m_rowSelected = true;
}

int ListGrid::findRow(int column, const QString& text) const
{
    for (int r = 1; r < m_grid->rows(); ++r)
        if (m_grid->textMatrix(r, column) == text)
            return r;
    return 0;
}

bool ListGrid::takeRowSelected(const QString& title)
{
    if (!m_rowSelected) {
        m_grid->clearChoice();
        Messages::inform(tr("Select Row Please"), title);
        return false;
    }
    m_rowSelected = false;
    m_grid->clearChoice();
    return true;
}

} // namespace orvane
