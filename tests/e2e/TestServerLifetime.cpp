// The line server as a process: it lives as long as its session bus does. When the bus
// goes (the session ends), the server ends too and lets go of what it holds.

#include <QProcess>
#include <QTest>

class TestServerLifetime : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theServerEndsWhenItsBusGoes()
    {
        // A bus of this test's own, so that ending it touches nothing else.
        QProcess bus;
        bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        QVERIFY(bus.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(bus.canReadLine(), 10000);
        const QString address = QString::fromUtf8(bus.readLine()).trimmed();
        QVERIFY(address.startsWith("unix:"));

        QProcess server;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        env.insert("QT_LOGGING_RULES", "orvane.*.debug=true"); // "serving as" is a detail
        server.setProcessEnvironment(env);
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(qEnvironmentVariable("ORVANE_TOLVEX"), {});
        QVERIFY(server.waitForStarted());
        QByteArray said;
        QTRY_VERIFY_WITH_TIMEOUT((said += server.readAll()).contains("serving as"), 15000);

        bus.kill();
        QVERIFY(bus.waitForFinished(10000));
        QVERIFY2(server.waitForFinished(10000), "the line server outlived its bus");
        said += server.readAll();
        QCOMPARE(server.exitStatus(), QProcess::NormalExit);
        QVERIFY2(said.contains("the session bus is gone"), said.constData());
    }
};

QTEST_GUILESS_MAIN(TestServerLifetime)
#include "TestServerLifetime.moc"
