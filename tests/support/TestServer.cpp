#include "TestServer.h"

#include "line_server/bus/LineFactory.h"
#include "line_server/bus/LineObject.h"
#include "line_server/bus/TolvexServer.h"
#include "line_server/line/StatusGridOutbox.h"

#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QTest>

#include <QCoreApplication>
#include <QDebug>

namespace orvane::test {

// Receives the markers of settle() on the test's connection, after the puts sent before them.
class TestServer::Barrier : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.orvane.Test.Barrier")
public:
    quint64 reached = 0;
public Q_SLOTS:
    void Reach(quint64 marker) { reached = qMax(reached, marker); }
};

TestServer::TestServer()
{
    static int counter = 0;
    ++counter;
    m_service = QStringLiteral("org.orvane.Tolvex.Test%1x%2")
                    .arg(QCoreApplication::applicationPid())
                    .arg(counter);
    m_connectionName = QStringLiteral("tolvex-under-test-%1").arg(counter);
    m_thread.setObjectName(QStringLiteral("test server"));
    m_thread.start();
    auto* context = new QObject;
    context->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        context,
        [this] {
            QDBusConnection bus =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, m_connectionName);
            auto* server = new TolvexServer(bus);
            if (Status s = server->start(m_service); !s) {
                qWarning() << "test server:" << s.toString();
                delete server;
                return;
            }
            m_server = server;
        },
        Qt::BlockingQueuedConnection);
    context->deleteLater();
    m_client = std::make_unique<TolvexClient>(QDBusConnection::sessionBus(), m_service);
    m_export = std::make_unique<StatusGridExport>(m_grid, QDBusConnection::sessionBus());
    if (!m_export->publish())
        qWarning() << "test server: cannot export the status grid";
    m_barrier = new Barrier;
    QDBusConnection::sessionBus().registerObject(QStringLiteral("/org/orvane/Test/Barrier"),
                                                 m_barrier, QDBusConnection::ExportAllSlots);
}

LineHandle TestServer::newLine()
{
    Result<LineHandle> line = m_client->createLine();
    if (!line)
        qFatal("createLine: %s", qPrintable(line.status().toString()));
    return line.value();
}

bool TestServer::settle(int timeoutMs)
{
    StatusGridOutbox::instance().flush();
    const quint64 marker = ++m_marker;
    QDBusMessage reach = QDBusMessage::createMethodCall(
        QDBusConnection::sessionBus().baseService(), QStringLiteral("/org/orvane/Test/Barrier"),
        QStringLiteral("org.orvane.Test.Barrier"), QStringLiteral("Reach"));
    reach << QVariant::fromValue(marker);
    QDBusConnection(m_connectionName).send(reach);
    return QTest::qWaitFor([&] { return m_barrier->reached >= marker; }, timeoutMs);
}

TestServer::~TestServer()
{
    QDBusConnection::sessionBus().unregisterObject(QStringLiteral("/org/orvane/Test/Barrier"));
    delete m_barrier;
    m_export.reset();
    auto* context = new QObject;
    context->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        context,
        [this] {
            delete m_server;
            m_server = nullptr;
        },
        Qt::BlockingQueuedConnection);
    context->deleteLater();
    m_thread.quit();
    m_thread.wait();
    QDBusConnection::disconnectFromBus(m_connectionName);
}

void TestServer::onServerThread(const std::function<void()>& work)
{
    auto* context = new QObject;
    context->moveToThread(&m_thread);
    QMetaObject::invokeMethod(
        context,
        [&] {
            work();
            context->deleteLater();
        },
        Qt::BlockingQueuedConnection);
}

int TestServer::lineCount()
{
    int n = 0;
    onServerThread([&] { n = m_server->factory().lineCount(); });
    return n;
}

QThread* TestServer::threadOf(const QString& path)
{
    QThread* t = nullptr;
    onServerThread([&] { t = m_server->factory().threadOf(path); });
    return t;
}

QThread* TestServer::lineObjectThread(const QString& path)
{
    QThread* t = nullptr;
    onServerThread([&] {
        LineObject* o = m_server->factory().lineAt(path);
        t = o ? o->thread() : nullptr;
    });
    return t;
}

} // namespace orvane::test

#include "TestServer.moc"
