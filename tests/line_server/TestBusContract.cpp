// The bus interfaces are declared once, in line_server/client/interfaces/. The client's line
// proxy is generated from them; the objects that serve them are written by hand, so this
// holds each served object to its declaration: a method, signal, argument or property that
// is renamed, added, dropped or retyped on either side fails here, not at run time.

#include "TestServer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QTest>
#include <QXmlStreamReader>

using namespace orvane;

namespace {

// One interface as a set of lines: "method Name(in n row, out s)", "property Rings n
// readwrite", annotations included. Order inside an element counts; order of members not.
using Members = QStringList;

QMap<QString, Members> interfacesOf(const QByteArray& xml)
{
    QMap<QString, Members> result;
    QXmlStreamReader r(xml);
    QString iface, member;
    QStringList args;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const auto a = r.attributes();
            const QString name = a.value(QLatin1String("name")).toString();
            if (r.name() == QLatin1String("interface"))
                iface = name;
            else if (iface.isEmpty())
                continue;
            else if (r.name() == QLatin1String("method") || r.name() == QLatin1String("signal")) {
                member = r.name().toString() + u' ' + name;
                args.clear();
            } else if (r.name() == QLatin1String("arg")) {
                const QString dir = a.value(QLatin1String("direction")).toString();
                args << QStringLiteral("%1 %2 %3")
                            .arg(dir.isEmpty() ? QStringLiteral("in") : dir,
                                 a.value(QLatin1String("type")).toString(), name)
                            .trimmed();
            } else if (r.name() == QLatin1String("annotation")) {
                args << QStringLiteral("@%1=%2").arg(name,
                                                     a.value(QLatin1String("value")).toString());
            } else if (r.name() == QLatin1String("property")) {
                result[iface] << QStringLiteral("property %1 %2 %3")
                                     .arg(name, a.value(QLatin1String("type")).toString(),
                                          a.value(QLatin1String("access")).toString());
            }
        } else if (r.isEndElement()) {
            if (r.name() == QLatin1String("interface"))
                iface.clear();
            else if (!iface.isEmpty() &&
                     (r.name() == QLatin1String("method") || r.name() == QLatin1String("signal")))
                result[iface] << member + u'(' + args.join(QLatin1String(", ")) + u')';
        }
    }
    for (Members& m : result)
        m.sort();
    return result;
}

QByteArray declared(const QString& interface)
{
    QFile f(QStringLiteral(ORVANE_BUS_INTERFACES_DIR "/%1.xml").arg(interface));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray introspect(const QDBusConnection& bus, const QString& service, const QString& path)
{
    QDBusMessage call = QDBusMessage::createMethodCall(
        service, path, "org.freedesktop.DBus.Introspectable", "Introspect");
    const QDBusMessage reply = bus.call(call);
    return reply.arguments().value(0).toString().toUtf8();
}

} // namespace

class TestBusContract : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TestServer> m_server;
    LineHandle m_line;

private Q_SLOTS:
    void initTestCase() { m_server = std::make_unique<test::TestServer>(); }
    void cleanupTestCase()
    {
        m_line.reset();
        m_server.reset();
    }

    void everyServedObjectIsItsDeclaration_data()
    {
        QTest::addColumn<QString>("interface");
        QTest::addColumn<QString>("service");
        QTest::addColumn<QString>("path");
        const QString server = m_server->service();
        m_line = m_server->newLine();
        QTest::newRow("line") << "org.orvane.Tolvex.clsTapi" << server << m_line.path();
        QTest::newRow("factory") << "org.orvane.Tolvex.Factory" << server << "/org/orvane/Tolvex";
        QTest::newRow("simulator")
            << "org.orvane.Tolvex.Simulator" << server << "/org/orvane/Tolvex/Simulator";
        QTest::newRow("status grid")
            << "org.orvane.Orvane.StatusGrid" << m_server->gridExport().service()
            << m_server->gridExport().path();
    }

    void everyServedObjectIsItsDeclaration()
    {
        QFETCH(QString, interface);
        QFETCH(QString, service);
        QFETCH(QString, path);
        const QMap<QString, Members> decl = interfacesOf(declared(interface));
        QVERIFY2(decl.contains(interface), "the declaration is missing or names another interface");
        QCOMPARE(decl.size(), 1);
        const QMap<QString, Members> served =
            interfacesOf(introspect(QDBusConnection::sessionBus(), service, path));
        QVERIFY2(served.contains(interface), qPrintable(path));
        QCOMPARE(served.value(interface), decl.value(interface));
    }

    void theComparisonSeesADifference()
    {
        // The reader must not pass two interfaces that differ only in an argument's type.
        const QByteArray xml = declared("org.orvane.Orvane.StatusGrid");
        QByteArray changed = xml;
        changed.replace("name=\"column\" type=\"n\"", "name=\"column\" type=\"i\"");
        QVERIFY(changed != xml);
        QVERIFY(interfacesOf(changed) != interfacesOf(xml));
        QVERIFY(!interfacesOf(xml).value("org.orvane.Orvane.StatusGrid").isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestBusContract)
#include "TestBusContract.moc"
