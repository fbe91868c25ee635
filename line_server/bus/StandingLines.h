#pragma once

// The lines that answer with no one watching: those of answering.conf, bound by the line
// server when it starts and on every reload, for its whole life. A line that cannot be
// bound (its registrar down, its program folder missing) is tried again, at 1 s, 2 s, 4 s
// ... at most every 5 minutes, and its status says why meanwhile.
//
// Thread: the server's main thread.

#include "line_server/client/AnsweringConf.h"
#include "platform/Status.h"

#include <QHash>
#include <QObject>
#include <QString>

class QTimer;

namespace orvane {

class LineFactory;

class StandingLines : public QObject {
    Q_OBJECT

public:
    explicit StandingLines(LineFactory& factory, QObject* parent = nullptr);
    ~StandingLines() override;

    // Reads answering.conf and makes the lines what it says: new lines are bound, lines
    // whose settings changed take them for their next call, lines no longer named end
    // after their call in progress. A file with a mistake changes nothing.
    Status reload();
    // Ends every standing line, each after its call in progress.
    void releaseAll();

    // The standing lines now, by name, and whether each is bound.
    QStringList lines() const { return m_lines.keys(); }
    bool isBound(const QString& line) const;

    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLongestRetryMs = 5 * 60 * 1000;

private:
    struct Entry {
        answering::StandingLine config;
        QString path;
        qint16 row = 0;
        bool bound = false;
        int retryMs = kFirstRetryMs;
        QTimer* retry = nullptr;
    };
    void create(const answering::StandingLine& config, qint16 row);
    void release(const QString& line);
    // Binds the line (again) on its own thread; bound() comes back with the outcome.
    void bind(const QString& line);
    void bound(const QString& line, const QString& path, bool ok);
    // Pushes the settings of `config` into the line, for its next call.
    void applySettings(const Entry& entry);

    LineFactory& m_factory;
    QString m_programFolder;
    QHash<QString, Entry> m_lines;
};

} // namespace orvane
