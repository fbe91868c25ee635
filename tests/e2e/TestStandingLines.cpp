// Lines that answer with no one watching: a tolvex process started alone, as its unit
// starts it, answers the lines of answering.conf; a reload changes them without cutting a
// call; a line whose registration fails comes up once it can.

#include "ServerProcess.h"
#include "Signals.h"

#include "database/Database.h"
#include "database/RecMessageTable.h"
#include "line_server/client/AnsweringConf.h"
#include "line_server/client/TolvexNames.h"
#include "platform/telephony/TapiConstants.h"

#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

using namespace orvane;

namespace {

constexpr int kWaitMs = 60000;
const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");
const QString kLine3 = QStringLiteral("Simulated Line 3");

answering::StandingLine speaking(const QString& line, qint16 recordTime)
{
    answering::StandingLine l;
    l.line = line;
    l.rings = 1;
    l.playType = QStringLiteral("MESS");
    l.playMessage = QStringLiteral("Nobody is here.");
    l.recordTime = recordTime;
    return l;
}

} // namespace

class TestStandingLines : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<test::ServerProcess> m_server;
    int m_started = 0;

    QString home() const { return m_dir->filePath("home"); }
    QString conf() const { return m_dir->filePath("answering.conf"); }

    bool writeConf(const QList<answering::StandingLine>& lines)
    {
        qputenv("ORVANE_ANSWERING_CONF", QFile::encodeName(conf()));
        answering::AnsweringFile file;
        file.programFolder = home();
        file.lines = lines;
        return answering::writeAnsweringFile(file).isOk();
    }

    bool startServer()
    {
        QProcessEnvironment env;
        env.insert("ORVANE_ANSWERING_CONF", conf());
        env.insert("ORVANE_SIM_SPEED", "1"); // a recording's length is its line time
        m_server =
            std::make_unique<test::ServerProcess>(QStringLiteral("org.orvane.Tolvex.Standing%1x%2")
                                                      .arg(QCoreApplication::applicationPid())
                                                      .arg(++m_started),
                                                  env);
        return m_server->onTheBus();
    }

    QDBusMessage call(const char* path, const char* interface, const QString& method,
                      const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(m_server->service(), QLatin1String(path),
                                                        QLatin1String(interface), method);
        m.setArguments(args);
        return QDBusConnection::sessionBus().call(m);
    }

    // The status of each line of the server, by name.
    QMap<QString, QVariantMap> lineStatus()
    {
        const QDBusMessage reply =
            call(tolvex::kFactoryPath, tolvex::kFactoryInterface, QStringLiteral("LineStatus"));
        QMap<QString, QVariantMap> byLine;
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return byLine;
        const auto lines = qdbus_cast<QList<QVariantMap>>(reply.arguments().first());
        for (const QVariantMap& line : lines)
            byLine.insert(line.value("line").toString(), line);
        return byLine;
    }
    QString statusOf(const QString& line)
    {
        return lineStatus().value(line).value("status").toString();
    }

    quint64 ring(const QString& line)
    {
        const QDBusMessage reply =
            call(tolvex::kSimulatorPath, tolvex::kSimulatorInterface, QStringLiteral("PlaceCall"),
                 {line, QStringLiteral("5550100"), 2, 200, QString(), true, QString(), -1});
        return reply.arguments().value(0).toULongLong();
    }
    QVariantMap callInfo(quint64 id)
    {
        const QDBusMessage reply = call(tolvex::kSimulatorPath, tolvex::kSimulatorInterface,
                                        QStringLiteral("CallInfo"), {QVariant::fromValue(id)});
        return qdbus_cast<QVariantMap>(reply.arguments().value(0));
    }
    bool ended(quint64 id) { return callInfo(id).value("state").toInt() == tapi::CS_DISCONNECTED; }

    QList<recmessage::CallRow> logged()
    {
        Database db;
        if (!db.OpenDatabase(home()))
            return {};
        const Result<QList<recmessage::CallRow>> rows =
            recmessage::listDay(db, QDate::currentDate());
        return rows ? rows.value() : QList<recmessage::CallRow>();
    }
    QStringList recordings() const
    {
        return QDir(QDir(home()).filePath("Rec-Files")).entryList({"*.wav"}, QDir::Files);
    }

private Q_SLOTS:
    void initTestCase() { qDBusRegisterMetaType<QList<QVariantMap>>(); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir().mkpath(home()));
    }

    void cleanup()
    {
        m_server.reset();
        qputenv("ORVANE_ANSWERING_CONF", "/nonexistent/answering.conf");
    }

    void aStandingLineAnswersWithNoOneWatching()
    {
        QVERIFY(writeConf({speaking(kLine1, 1)}));
        QVERIFY(startServer());
        // Bound by the server itself, with no client.
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(kLine1), QString::fromLatin1("Waiting for call ...."),
                                  kWaitMs);
        QVERIFY(lineStatus().value(kLine1).value("standing").toBool());

        const quint64 id = ring(kLine1);
        QVERIFY(id != 0);
        QTRY_VERIFY_WITH_TIMEOUT(ended(id) && logged().size() == 1, kWaitMs);
        const QVariantMap info = callInfo(id);
        QCOMPARE(info.value("answeredAtRing").toInt(), 1);
        QVERIFY2(info.value("firstSoundMs").toDouble() >= 0, "the caller heard no greeting");
        QCOMPARE(recordings().size(), 1);
        QCOMPARE(logged().first().incomingCallFile, recordings().first());
        // Who called, on which line, for how long.
        Database db;
        QVERIFY(db.OpenDatabase(home()));
        const recmessage::CallDetails details =
            recmessage::detailsOf(db, recordings().first()).value();
        QCOMPARE(details.callerNumber, QStringLiteral("5550100"));
        QCOMPARE(details.line, kLine1);
        QCOMPARE(details.seconds, 1);
        QCOMPARE(QFileInfo(QDir(home()).filePath("Rec-Files/" + recordings().first())).size(),
                 44 + 8000);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(kLine1), QString::fromLatin1("Waiting for Call .... "),
                                  kWaitMs);
    }

    void aReloadChangesTheLinesWithoutCuttingACall()
    {
        QVERIFY(writeConf({speaking(kLine1, 3)}));
        QVERIFY(startServer());
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(kLine1), QString::fromLatin1("Waiting for call ...."),
                                  kWaitMs);
        const quint64 first = ring(kLine1);
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(kLine1), QString::fromLatin1("Recording File .... "),
                                  kWaitMs);

        // Line 1 is taken out while it records, line 2 comes in.
        QVERIFY(writeConf({speaking(kLine2, 1)}));
        const QDBusMessage reload =
            call(tolvex::kFactoryPath, tolvex::kFactoryInterface, QStringLiteral("Reload"));
        QVERIFY2(reload.type() == QDBusMessage::ReplyMessage, qPrintable(reload.errorMessage()));
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(kLine2), QString::fromLatin1("Waiting for call ...."),
                                  kWaitMs);
        // The call in progress gets its full three seconds, and its row.
        QTRY_VERIFY_WITH_TIMEOUT(ended(first) && logged().size() == 1, kWaitMs);
        QCOMPARE(QFileInfo(QDir(home()).filePath("Rec-Files/" + recordings().first())).size(),
                 44 + 3 * 8000);
        QTRY_VERIFY_WITH_TIMEOUT(!lineStatus().contains(kLine1), kWaitMs);
        const quint64 second = ring(kLine2);
        QTRY_VERIFY_WITH_TIMEOUT(ended(second) && logged().size() == 2, kWaitMs);

        // A file with a mistake changes nothing, and says where the mistake is.
        QFile broken(conf());
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("[Simulated Line 3]\nRings = 99\n");
        broken.close();
        const QDBusMessage refused =
            call(tolvex::kFactoryPath, tolvex::kFactoryInterface, QStringLiteral("Reload"));
        QCOMPARE(refused.type(), QDBusMessage::ErrorMessage);
        QVERIFY2(refused.errorMessage().contains("answering.conf, line 2"),
                 qPrintable(refused.errorMessage()));
        QCOMPARE(lineStatus().keys(), QStringList{kLine2});
    }

    void aLineThatCannotRegisterComesUpWhenItCan()
    {
        QVERIFY(writeConf({}));
        QVERIFY(startServer());
        call(tolvex::kSimulatorPath, tolvex::kSimulatorInterface, QStringLiteral("InjectFault"),
             {kLine3, QStringLiteral("RegistrationFails")});
        // SIGHUP reloads, as the unit's reload does.
        QVERIFY(writeConf({speaking(kLine3, 1)}));
        QVERIFY(m_server->signal(SIGHUP));
        QTRY_COMPARE_WITH_TIMEOUT(
            statusOf(kLine3), QString::fromLatin1("Error In Initializing Device .... "), kWaitMs);
        QVERIFY2(lineStatus().value(kLine3).value("message").toString().contains("refused"),
                 qPrintable(lineStatus().value(kLine3).value("message").toString()));
        call(tolvex::kSimulatorPath, tolvex::kSimulatorInterface, QStringLiteral("ClearFaults"),
             {kLine3});
        // Tried again, at 1 s, 2 s, 4 s...: up within seconds, and it answers.
        QTRY_COMPARE_WITH_TIMEOUT(statusOf(kLine3), QString::fromLatin1("Waiting for call ...."),
                                  kWaitMs);
        const quint64 id = ring(kLine3);
        QTRY_VERIFY_WITH_TIMEOUT(ended(id) && logged().size() == 1, kWaitMs);
    }
};

QTEST_GUILESS_MAIN(TestStandingLines)
#include "TestStandingLines.moc"
