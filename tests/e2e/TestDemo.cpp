// The programs themselves: the demo of the README, run as the user runs it, with the
// real line server it starts.

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

class TestDemo : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void theDemoAnswersTwoCallsAndListsThem()
    {
        QTemporaryDir home;
        QProcess demo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORVANE_HOME", home.path());
        env.insert("ORVANE_SIM_SPEED", "4");
        env.insert("ORVANE_TOLVEX_SERVICE",
                   QString("org.orvane.Tolvex.Demo%1").arg(QCoreApplication::applicationPid()));
        demo.setProcessEnvironment(env);
        demo.setProcessChannelMode(QProcess::SeparateChannels);
        demo.start(qEnvironmentVariable("ORVANE_DEMO"), {});
        QVERIFY(demo.waitForStarted());
        QVERIFY(demo.waitForFinished(120000));
        const QString out = QString::fromLocal8Bit(demo.readAllStandardOutput());
        QVERIFY2(demo.exitCode() == 0, qPrintable(out + demo.readAllStandardError()));

        for (const QString& line :
             {QStringLiteral("Simulated Line 1"), QStringLiteral("Simulated Line 2")}) {
            for (const char* status :
                 {"Incoming Call ", "Call Connected ....", "Playing Message .... ",
                  "Recording File .... ", "Waiting for Call .... "})
                QVERIFY2(out.contains(line + ": " + status),
                         qPrintable(line + ": " + status + "\n" + out));
        }
        const qsizetype list = out.indexOf("Logged calls of");
        QVERIFY(list > 0);
        const QStringList logged = out.mid(list).split('\n', Qt::SkipEmptyParts).mid(1);
        QCOMPARE(logged.size(), 2);
        for (const QString& row : logged)
            QVERIFY2(QRegularExpression("Rec-Files/.*-[12]\\.wav  5\\.0 s$").match(row).hasMatch(),
                     qPrintable(row));
        QCOMPARE(QDir(home.filePath("Rec-Files")).entryList(QDir::Files).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestDemo)
#include "TestDemo.moc"
