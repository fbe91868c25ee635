#pragma once

// A status grid that keeps every put it receives, in order, and the cells they leave.

#include "line_server/client/StatusGridExport.h"

#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

namespace orvane::test {

class RecordingGrid : public StatusGridSink {
public:
    struct Put {
        int row = -1;
        int column = -1; // -1: a put of the current row
        QString text;
    };

    void setRow(int row) override
    {
        m_current = row;
        m_puts.append({row, -1, QString()});
    }
    void setTextMatrix(int row, int column, const QString& text) override
    {
        m_cells.insert({row, column}, text);
        m_puts.append({row, column, text});
    }

    QString cell(int row, int column) const { return m_cells.value({row, column}); }
    int currentRow() const { return m_current; }
    const QList<Put>& puts() const { return m_puts; }
    // Every text written into (row, column), in order.
    QStringList history(int row, int column) const
    {
        QStringList texts;
        for (const Put& p : m_puts)
            if (p.row == row && p.column == column)
                texts.append(p.text);
        return texts;
    }
    void clear()
    {
        m_puts.clear();
        m_cells.clear();
        m_current = -1;
    }

private:
    QHash<QPair<int, int>, QString> m_cells;
    QList<Put> m_puts;
    int m_current = -1;
};

} // namespace orvane::test
