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
    void theDemoAnswersTwoCallsFaxesALetterAndListsThem()
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
        // The fax from line 1 to line 2.
        for (const char* status :
             {"Simulated Line 1: Completed", "Simulated Line 2: Waiting for fax call ....",
              "Simulated Line 2: Completed"})
            QVERIFY2(out.contains(QLatin1String(status)), qPrintable(status + ("\n" + out)));
        const qsizetype faxes = out.indexOf("Received faxes:");
        QVERIFY(faxes > 0);
        const QStringList received = out.mid(faxes).split('\n', Qt::SkipEmptyParts).mid(1);
        QCOMPARE(received.size(), 1);
        QVERIFY2(received.first().contains("/Faxes/fax-") &&
                     received.first().endsWith("1 page(s), 1728 pixels wide"),
                 qPrintable(received.first()));

        const qsizetype list = out.indexOf("Logged calls of");
        QVERIFY(list > 0);
        const QStringList logged =
            out.mid(list, faxes - list).split('\n', Qt::SkipEmptyParts).mid(1);
        QCOMPARE(logged.size(), 2);
        for (const QString& row : logged)
            QVERIFY2(QRegularExpression("Rec-Files/.*-[12]\\.wav  5\\.0 s$").match(row).hasMatch(),
                     qPrintable(row));
        QCOMPARE(QDir(home.filePath("Rec-Files")).entryList(QDir::Files).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestDemo)
#include "TestDemo.moc"
