#pragma once

// The lines the line server answers by itself (standing lines, answering.conf), as the
// desktop shows them beside its own: each with its status, kept current from the server's
// LineStatusChanged and LineReleased signals.
//
// Thread: the user-interface thread.

#include <QMap>
#include <QObject>
#include <QString>

namespace orvane {

class TolvexClient;

class BackgroundLines : public QObject {
    Q_OBJECT

public:
    explicit BackgroundLines(const TolvexClient& client, QObject* parent = nullptr);

    // "Answering in the background:" and a line per standing line with its status; empty
    // when there is none.
    QString summary() const;
    // Asks the server for every line again (when it appears, after a reload).
    void refresh();

Q_SIGNALS:
    void changed();

private Q_SLOTS:
    void statusChanged(const QString& path, const QString& line, const QString& status,
                       bool standing);
    void released(const QString& path);

private:
    const TolvexClient& m_client;
    struct Line {
        QString name;
        QString status;
    };
    QMap<QString, Line> m_lines; // by path
};

} // namespace orvane
