#include "desktop/main/SingleInstance.h"

#include "line_server/client/TolvexNames.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>

namespace orvane {

QString SingleInstance::serviceName()
{
    return tolvex::desktopServiceName();
}

SingleInstance::SingleInstance(const QDBusConnection& bus, const QString& name, QObject* parent)
    : QObject(parent)
    , m_bus(bus)
    , m_name(name)
{}

bool SingleInstance::claim()
{
    if (!m_bus.isConnected())
        return true;
    const auto reply =
        m_bus.interface()->registerService(m_name, QDBusConnectionInterface::DontQueueService,
                                           QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered)
        return false;
    m_bus.registerObject(QLatin1String(kPath), this, QDBusConnection::ExportAllSlots);
    return true;
}

void SingleInstance::activateRunningCopy(bool wait)
{
    QDBusMessage activate = QDBusMessage::createMethodCall(
        m_name, QLatin1String(kPath), QStringLiteral("org.freedesktop.Application"),
        QStringLiteral("Activate"));
    activate.setAutoStartService(false);
    activate << QVariantMap();
    if (wait)
        m_bus.call(activate, QDBus::Block, 5000);
    else
        m_bus.send(activate);
}

void SingleInstance::activateActionOnRunningCopy(const QString& action, const QString& parameter)
{
    QDBusMessage activate = QDBusMessage::createMethodCall(
        m_name, QLatin1String(kPath), QStringLiteral("org.freedesktop.Application"),
        QStringLiteral("ActivateAction"));
    activate.setAutoStartService(false);
    activate << action << QVariantList{QVariant::fromValue(QDBusVariant(parameter))}
             << QVariantMap();
    m_bus.call(activate, QDBus::Block, 5000);
}

void SingleInstance::ActivateAction(const QString& actionName, const QVariantList& parameter,
                                    const QVariantMap&)
{
    if (!m_act)
        return;
    QVariant value = parameter.value(0);
    if (value.canConvert<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    m_act(actionName, value.toString());
}

void SingleInstance::Activate(const QVariantMap&)
{
    if (m_show)
        m_show();
}

} // namespace orvane
