#pragma once

// A line server running in the test's own process, on a bus connection and a thread of its
// own, so that the test talks to it over the real session bus as the desktop would: with a
// client and a status grid exported on the test's session connection.

#include "RecordingGrid.h"
#include "line_server/client/LineHandle.h"
#include "line_server/client/StatusGridExport.h"

#include <QDBusConnection>
#include <QString>
#include <QThread>

#include <functional>
#include <memory>

namespace orvane {
class TolvexServer;
}

namespace orvane::test {

class TestServer {
public:
    TestServer();
    ~TestServer();

    bool isRunning() const { return m_server != nullptr; }
    QString service() const { return m_service; }
    TolvexServer& server() { return *m_server; }
    TolvexClient& client() { return *m_client; }
    RecordingGrid& grid() { return m_grid; }
    StatusGridExport& gridExport() { return *m_export; }
    // A new line object; the test fails hard if the server cannot make one.
    LineHandle newLine();
    // Returns once every status put the server has made so far has reached the grid: a
    // marker sent after them on the server's connection has arrived.
    bool settle(int timeoutMs = 10000);

    // Read on the server's own thread.
    int lineCount();
    QThread* threadOf(const QString& path);
    QThread* lineObjectThread(const QString& path);
    QThread* thread() { return &m_thread; }

private:
    void onServerThread(const std::function<void()>& work);

    QThread m_thread;
    QString m_service;
    QString m_connectionName;
    TolvexServer* m_server = nullptr;
    std::unique_ptr<TolvexClient> m_client;
    RecordingGrid m_grid;
    std::unique_ptr<StatusGridExport> m_export;
    class Barrier;
    Barrier* m_barrier = nullptr;
    quint64 m_marker = 0;
};

} // namespace orvane::test
