// The desktop program as the user starts it: one copy per session, which starts the line
// server and stops it again when it ends.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestSingleInstance : public QObject {
    Q_OBJECT

    static bool onBus(const QString& name)
    {
        return QDBusConnection::sessionBus().interface()->isServiceRegistered(name).value();
    }

private Q_SLOTS:
    void helpAndVersionAnswerWithoutAWindow_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("answer");
        QTest::newRow("--version") << "--version"
                                   << "orvane ";
        QTest::newRow("-v") << "-v"
                            << "orvane ";
        QTest::newRow("--help") << "--help"
                                << "Usage: orvane";
    }

    void helpAndVersionAnswerWithoutAWindow()
    {
        QFETCH(QString, option);
        QFETCH(QString, answer);
        const QString name =
            "org.orvane.Orvane.Help" + QString::number(QCoreApplication::applicationPid());
        QProcess orvane;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVANE_DESKTOP_SERVICE", name);
        // No display at all: the answer needs none.
        env.remove("DISPLAY");
        env.insert("QT_QPA_PLATFORM", "xcb");
        orvane.setProcessEnvironment(env);
        orvane.start(qEnvironmentVariable("ORVANE_ORVANE"), {option});
        QVERIFY(orvane.waitForFinished(10000));
        QCOMPARE(orvane.exitCode(), 0);
        QVERIFY(QString::fromUtf8(orvane.readAllStandardOutput()).startsWith(answer));
        QVERIFY(!onBus(name)); // it never started as the program
    }

    void aSecondCopyEndsAtOnceAndLeavesTheFirstAlone()
    {
        QTemporaryDir home;
        const QString pid = QString::number(QCoreApplication::applicationPid());
        const QString desktopName = "org.orvane.Orvane.Single" + pid;
        const QString serverName = "org.orvane.Tolvex.Single" + pid;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVANE_HOME", home.path());
        env.insert("ORVANE_DESKTOP_SERVICE", desktopName);
        env.insert("ORVANE_TOLVEX_SERVICE", serverName);
        env.insert("QT_QPA_PLATFORM", "offscreen");

        QProcess first;
        first.setProcessEnvironment(env);
        first.start(qEnvironmentVariable("ORVANE_ORVANE"), {});
        QVERIFY(first.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(onBus(desktopName), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(onBus(serverName), 15000);
        const uint firstPid = QDBusConnection::sessionBus().interface()->servicePid(desktopName);

        QProcess second;
        second.setProcessEnvironment(env);
        second.start(qEnvironmentVariable("ORVANE_ORVANE"), {});
        QVERIFY(second.waitForStarted());
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(second.readAllStandardOutput().isEmpty());

        QCOMPARE(first.state(), QProcess::Running);
        QCOMPARE(QDBusConnection::sessionBus().interface()->servicePid(desktopName).value(),
                 firstPid);

        // Ended (as the desktop ends it), the first takes its line server with it.
        first.terminate();
        QVERIFY(first.waitForFinished(30000));
        QCOMPARE(first.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!onBus(serverName), 15000);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "TestSingleInstance.moc"
