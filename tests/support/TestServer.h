#pragma once

// A line server running in the test's own process, on a bus connection and a thread of its
// own, so that the test talks to it over the real session bus as the desktop would.

#include <QDBusConnection>
#include <QString>
#include <QThread>

#include <functional>

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
};

} // namespace orvane::test
