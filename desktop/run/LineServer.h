#pragma once

// The line server as the desktop program sees it: started beside orvane (or found on the
// bus), watched while the program runs, and the client through which line objects are made.
//
// Thread: the user-interface thread.

#include "line_server/client/LineHandle.h"

#include <QObject>
#include <QProcess>

class QDBusServiceWatcher;

namespace orvane {

class LineMessages;

class LineServer : public QObject {
    Q_OBJECT

public:
    explicit LineServer(QObject* parent = nullptr);
    ~LineServer() override;

    TolvexClient& client() { return m_client; }
    // A new line object whose messages the program shows.
    Result<LineHandle> createLine();
    bool running() const { return m_client.serverRunning(); }
    // The tolvex to start: $ORVANE_TOLVEX, the one beside this program (the build tree), or
    // the installed one in libexec/orvane.
    static QString program();

    // Starts the server; if it is not on the bus within a few seconds, the user is told, once.
    void launch();
    // Starts the server if it is not running and waits (at most `waitMs`) until it is.
    bool ensureRunning(int waitMs = 10000);
    // Whether the server answers standing lines (answering.conf): it then goes on after
    // this program ends.
    bool hasStandingLines() const;

Q_SIGNALS:
    void lost();
    void appeared();

private:
    void start();

    TolvexClient m_client;
    QDBusServiceWatcher* m_watcher;
    LineMessages* m_messages;
    // Not a member: a server with standing lines is left running when this program ends,
    // and a QProcess ends its process when it goes.
    QProcess* m_process;
    bool m_toldNotStarted = false;
};

} // namespace orvane
