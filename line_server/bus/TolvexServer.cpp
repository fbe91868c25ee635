#include "line_server/bus/TolvexServer.h"

#include "line_server/bus/EventHooks.h"
#include "line_server/bus/LineFactory.h"
#include "line_server/bus/ServerNotifier.h"
#include "line_server/bus/SimulatorService.h"
#include "line_server/bus/StandingLines.h"
#include "line_server/client/TolvexNames.h"

#include <QDBusConnectionInterface>

namespace orvane {

TolvexServer::TolvexServer(const QDBusConnection& bus, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_factory(new LineFactory(bus, this))
    , m_simulator(new SimulatorService(this))
    , m_standing(new StandingLines(*m_factory, this))
    , m_hooks(new EventHooks(this))
{
    m_factory->setReload([this] { return m_standing->reload(); });
    auto* notifier = new ServerNotifier(bus, this);
    m_factory->setOnLogged([this, notifier](const LoggedEvent& event) {
        notifier->logged(event);
        m_hooks->run(event);
    });
}

TolvexServer::~TolvexServer()
{
    stop();
}

Status TolvexServer::start(const QString& serviceName)
{
    if (!m_bus.isConnected())
        return Status(err::Fail, QStringLiteral("Not connected to the session bus"));
    const auto exports = QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllSignals |
                         QDBusConnection::ExportAllProperties;
    if (!m_bus.registerObject(QLatin1String(tolvex::kFactoryPath), m_factory, exports) ||
        !m_bus.registerObject(QLatin1String(tolvex::kSimulatorPath), m_simulator, exports))
        return Status(err::Fail, QStringLiteral("Cannot export the line server's objects"));
    const QDBusReply<QDBusConnectionInterface::RegisterServiceReply> reply =
        m_bus.interface()->registerService(serviceName, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_bus.unregisterObject(QLatin1String(tolvex::kFactoryPath));
        m_bus.unregisterObject(QLatin1String(tolvex::kSimulatorPath));
        return Status(
            err::Fail,
            QStringLiteral("The name %1 is taken: a line server already runs").arg(serviceName));
    }
    m_serviceName = serviceName;
    // A mistake in answering.conf is logged; the server serves its clients all the same.
    m_standing->reload();
    return {};
}

void TolvexServer::stop(int timeoutMs)
{
    if (!m_serviceName.isEmpty()) {
        m_bus.interface()->unregisterService(m_serviceName);
        m_bus.unregisterObject(QLatin1String(tolvex::kFactoryPath));
        m_bus.unregisterObject(QLatin1String(tolvex::kSimulatorPath));
        m_serviceName.clear();
    }
    m_standing->releaseAll();
    m_factory->releaseAll(timeoutMs);
    m_hooks->stop();
}

} // namespace orvane
