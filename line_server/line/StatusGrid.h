#pragma once

// The client's status grid, as a line object reaches it: two puts, the current row and
// one cell's text. Both are bus calls that do not wait for an answer, sent in order through
// the StatusGridOutbox; a grid that has gone away simply stops listening.

#include <QDBusConnection>
#include <QString>

namespace orvane {

class StatusGrid {
public:
    StatusGrid() = default;
    StatusGrid(const QDBusConnection& bus, QString service, QString path);

    bool isSet() const { return !m_service.isEmpty(); }
    void setRow(qint16 row) const;
    void setTextMatrix(qint16 row, qint16 column, const QString& text) const;

private:
    QDBusConnection m_bus{QString()};
    QString m_service;
    QString m_path;
};

} // namespace orvane
