#pragma once

// The line server on a bus connection: the line factory, the simulator service, the
// standing lines of answering.conf, and the well-known name. The program's main runs one; tests run
// one in-process on a thread of their own.
//
// Thread: the thread that created it, which must run an event loop.

#include "platform/Status.h"

#include <QDBusConnection>
#include <QObject>

namespace orvane {

class EventHooks;
class LineFactory;
class SimulatorService;
class StandingLines;

class TolvexServer : public QObject {
    Q_OBJECT

public:
    explicit TolvexServer(const QDBusConnection& bus, QObject* parent = nullptr);
    ~TolvexServer() override;

    // Exports the objects and takes the service name; fails if another server has it.
    Status start(const QString& serviceName);
    // Gives the name up and releases every line, waiting for their threads.
    void stop(int timeoutMs = 30000);

    LineFactory& factory() { return *m_factory; }
    StandingLines& standingLines() { return *m_standing; }

private:
    QDBusConnection m_bus;
    QString m_serviceName;
    LineFactory* m_factory;
    SimulatorService* m_simulator;
    StandingLines* m_standing;
    EventHooks* m_hooks;
};

} // namespace orvane
