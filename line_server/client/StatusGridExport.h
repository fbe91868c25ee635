#pragma once

// A client's status grid on the bus, where its line objects write their rows: the current
// row and one cell's text. The grid itself is the client's (the desktop's main window
// grid, or a test's record); this puts it on a connection.
//
// Thread: the thread the export was made on; the puts arrive there, in order.

#include "platform/Status.h"

#include <QDBusConnection>
#include <QObject>

namespace orvane {

class StatusGridSink {
public:
    virtual ~StatusGridSink() = default;
    virtual void setRow(int row) = 0;
    virtual void setTextMatrix(int row, int column, const QString& text) = 0;
};

class StatusGridExport : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvane.Orvane.StatusGrid")

public:
    StatusGridExport(StatusGridSink& sink, const QDBusConnection& bus,
                     const QString& path = QStringLiteral("/org/orvane/Orvane/StatusGrid"),
                     QObject* parent = nullptr);
    ~StatusGridExport() override;

    Status publish();
    QString service() const { return m_bus.baseService(); }
    QString path() const { return m_path; }

public Q_SLOTS:
    void Row(qint16 row);
    void TextMatrix(qint16 row, qint16 column, const QString& text);

private:
    StatusGridSink& m_sink;
    QDBusConnection m_bus;
    QString m_path;
    bool m_published = false;
};

} // namespace orvane
