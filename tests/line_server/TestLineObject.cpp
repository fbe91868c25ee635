// Line objects over the session bus: binding, registering, the status-grid protocol,
// threads, and the ways a line is released.

#include "RecordingGrid.h"
#include "TestServer.h"
#include "line_server/bus/TolvexServer.h"
#include "line_server/client/DBusStatus.h"
#include "line_server/client/LineHandle.h"
#include "line_server/client/TolvexNames.h"
#include "line_server/line/StatusGrid.h"
#include "line_server/line/StatusGridOutbox.h"
#include "platform/speech/Speech.h"
#include "platform/telephony/sim/Simulator.h"

#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");
const QString kLine3 = QStringLiteral("Simulated Line 3");

int registrations(const QString& line)
{
    return sim::Simulator::instance().registrations(line);
}

} // namespace

class TestLineObject : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TestServer> m_server;
    QTemporaryDir m_home;

    LineHandle newLine() { return m_server->newLine(); }
    test::RecordingGrid& grid() { return m_server->grid(); }
    StatusGridExport& gridExport() { return m_server->gridExport(); }

    // Every cell put must follow a put of the same current row.
    void verifyRowBeforeEveryCell()
    {
        int current = -1;
        for (const auto& put : grid().puts()) {
            if (put.column < 0)
                current = put.row;
            else
                QCOMPARE(put.row, current);
        }
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
    }

    void cleanupTestCase() { m_server.reset(); }

    void init()
    {
        QVERIFY(m_server->settle());
        grid().clear();
    }

    void cleanup() { QTRY_COMPARE(m_server->lineCount(), 0); }

    void getMessageIsEmptyBeforeBinding()
    {
        LineHandle line = newLine();
        QCOMPARE(line.getMessage().value(), QString());
        QCOMPARE(line.getAddress().value(), QString());
    }

    void aBoundLineWaitsForCalls()
    {
        LineHandle line = newLine();
        QVERIFY(line.InitTAPI(kLine1, gridExport(), 1, m_home.path()));
        QCOMPARE(line.getMessage().value(), QStringLiteral("NOERROR"));
        QCOMPARE(line.getAddress().value(), kLine1);
        QTRY_COMPARE(grid().cell(1, 2), QStringLiteral("Waiting for call ...."));
        QCOMPARE(grid().cell(1, 0), QStringLiteral("1"));
        QCOMPARE(grid().cell(1, 1), kLine1);
        // Registering first unregisters: the never-registered text shows for a moment.
        QCOMPARE(grid().history(1, 2),
                 QStringList({"Error In Initializing Device ....", "Waiting for call ...."}));
        QCOMPARE(grid().currentRow(), 1);
        verifyRowBeforeEveryCell();
        QCOMPARE(registrations(kLine1), 1);
    }

    void aLineIsAnsweredByOneObjectAtATime()
    {
        LineHandle first = newLine();
        QVERIFY(first.InitTAPI(kLine3, gridExport(), 1, m_home.path()));
        QCOMPARE(first.getMessage().value(), QStringLiteral("NOERROR"));

        // A second object on the same line is refused, and says why.
        LineHandle second = newLine();
        QSignalSpy boxes(second.events(), &LineEvents::messageBox);
        QVERIFY(second.InitTAPI(kLine3, gridExport(), 2, m_home.path()));
        QCOMPARE(second.getMessage().value(), QStringLiteral("ERROR"));
        QTRY_COMPARE(boxes.size(), 1);
        QVERIFY2(boxes[0][0].toString().contains("already answers"),
                 qPrintable(boxes[0][0].toString()));
        QTRY_COMPARE(grid().cell(2, 2), QStringLiteral("Error In Initializing TAPI Lines .... "));
        QCOMPARE(registrations(kLine3), 1);

        // Once the server has taken the first one's release (as a Stop releases it), the
        // line is free at once, though that object may still be ending on its thread. The
        // release is not waited for by the client, and it goes to the factory's thread while
        // a binding goes to the line's: the test waits for the factory to have it.
        first.reset();
        QTRY_COMPARE(m_server->lineCount(), 1);
        QVERIFY(second.InitTAPI(kLine3, gridExport(), 2, m_home.path()));
        QCOMPARE(second.getMessage().value(), QStringLiteral("NOERROR"));
        // Binding the same object again is no conflict.
        QVERIFY(second.InitTAPI(kLine3, gridExport(), 2, m_home.path()));
        QCOMPARE(second.getMessage().value(), QStringLiteral("NOERROR"));
    }

    void stoppingAndRegisteringAgainMovesBetweenIdleAndWaiting()
    {
        LineHandle line = newLine();
        QVERIFY(line.InitTAPI(kLine2, gridExport(), 2, m_home.path()));
        QVERIFY(line.UnRegisterCallNotifications1());
        QTRY_COMPARE(grid().cell(2, 2), QStringLiteral("Idle ...."));
        QCOMPARE(registrations(kLine2), 0);
        QVERIFY(line.UnRegisterCallNotifications1());
        QTRY_COMPARE(grid().cell(2, 2), QStringLiteral("Error In Initializing Device ...."));
        QVERIFY(line.RegisterNotification1());
        QTRY_COMPARE(grid().cell(2, 2), QStringLiteral("Waiting for call ...."));
        QCOMPARE(registrations(kLine2), 1);
        QCOMPARE(line.getMessage().value(), QStringLiteral("NOERROR"));
    }

    void aRefusedRegistrationShowsItsError()
    {
        QVERIFY(sim::Simulator::instance().injectFault(kLine3, sim::Fault::RegistrationFails));
        LineHandle line = newLine();
        QVERIFY(line.InitTAPI(kLine3, gridExport(), 3, m_home.path()));
        QCOMPARE(line.getMessage().value(), QStringLiteral("ERROR"));
        QTRY_COMPARE(grid().cell(3, 2), QStringLiteral("Error In Initializing Device .... "));
        QCOMPARE(grid().cell(3, 1), kLine3);
        // Stopping a line that never registered.
        QVERIFY(line.UnRegisterCallNotifications1());
        QTRY_COMPARE(grid().cell(3, 2), QStringLiteral("Error In Initializing Device ...."));
        QVERIFY(sim::Simulator::instance().clearFaults(kLine3));
        QCOMPARE(registrations(kLine3), 0);
    }

    void linesThatCannotBeBoundAreRefused_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("unknown") << "No Such Line";
        QTest::newRow("no audio") << "Simulated Data Line";
        QTest::newRow("H323") << "H323 Line";
        QTest::newRow("IPCONF") << "IPCONF LINE";
    }

    void linesThatCannotBeBoundAreRefused()
    {
        QFETCH(QString, name);
        LineHandle line = newLine();
        QVERIFY(line.InitTAPI(name, gridExport(), 4, m_home.path()));
        QCOMPARE(line.getMessage().value(), QStringLiteral("ERROR"));
        QCOMPARE(line.getAddress().value(), QString());
        QTRY_COMPARE(grid().cell(4, 2), QStringLiteral("Error In Initializing TAPI Lines .... "));
        QCOMPARE(grid().cell(4, 1), name);
        QCOMPARE(grid().cell(4, 0), QStringLiteral("4"));
        QCOMPARE(registrations(name), 0);
        verifyRowBeforeEveryCell();
    }

    // A program folder the line could not keep its recordings in: refused at binding, with
    // the reason, rather than every recording going to the unsaved ones.
    void aProgramFolderThatCannotBeUsedIsRefused_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("reason");
        QTest::newRow("relative") << "Orvane"
                                  << "The program folder \"Orvane\" is not an absolute path";
        QTest::newRow("empty") << ""
                               << "The program folder \"\" is not an absolute path";
        QTest::newRow("a file") << "{home}/a-file"
                                << "The program folder {home}/a-file is not a folder";
        QTest::newRow("Rec-Files a file")
            << "{home}/odd"
            << "The recordings folder {home}/odd/Rec-Files is not a folder";
        QTest::newRow("database a folder")
            << "{home}/odd-db"
            << "The database {home}/odd-db/velmoc.mdb is a folder, not a file";
        // Nobody, root included, makes folders there.
        QTest::newRow("cannot be made") << "/proc/orvane"
                                        << "Cannot make the folder /proc/orvane/Rec-Files";
    }

    void aProgramFolderThatCannotBeUsedIsRefused()
    {
        QFETCH(QString, folder);
        QFETCH(QString, reason);
        const QString home = m_home.path();
        folder.replace("{home}", home);
        reason.replace("{home}", home);
        QFile file(home + "/a-file");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(QDir().mkpath(home + "/odd"));
        QFile recFiles(home + "/odd/Rec-Files");
        QVERIFY(recFiles.open(QIODevice::WriteOnly));
        recFiles.close();
        QVERIFY(QDir().mkpath(home + "/odd-db/velmoc.mdb"));

        LineHandle line = newLine();
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        QVERIFY(line.InitTAPI(kLine1, gridExport(), 1, folder));
        QCOMPARE(line.getMessage().value(), QStringLiteral("ERROR"));
        QTRY_COMPARE(grid().cell(1, 2), QStringLiteral("Error In Initializing TAPI Lines .... "));
        QCOMPARE(registrations(kLine1), 0);
        QTRY_COMPARE(boxes.size(), 1);
        QCOMPARE(boxes[0][0].toString(), "Simulated Line 1 cannot take calls: " + reason);
        // The same line binds once it is given a folder it can use.
        QVERIFY(line.InitTAPI(kLine1, gridExport(), 1, home + "/usable"));
        QCOMPARE(line.getMessage().value(), QStringLiteral("NOERROR"));
        QVERIFY(QFileInfo(home + "/usable/Rec-Files").isDir());
    }

    void eachLineRunsOnAThreadOfItsOwn()
    {
        QList<LineHandle> lines{newLine(), newLine(), newLine()};
        QSet<QThread*> threads;
        for (const LineHandle& l : lines) {
            QThread* t = m_server->threadOf(l.path());
            QVERIFY(t);
            QCOMPARE(m_server->lineObjectThread(l.path()), t);
            QVERIFY(t != QThread::currentThread() && t != m_server->thread());
            threads.insert(t);
        }
        QCOMPARE(threads.size(), 3);
    }

    void releasingTheLastHandleShutsTheLineDown()
    {
        LineHandle line = newLine();
        QVERIFY(line.InitTAPI(kLine1, gridExport(), 1, m_home.path()));
        QCOMPARE(registrations(kLine1), 1);
        LineHandle copy = line;
        line.reset();
        QTest::qWait(100);
        QCOMPARE(registrations(kLine1), 1);
        QCOMPARE(m_server->lineCount(), 1);
        copy.reset();
        QTRY_COMPARE(registrations(kLine1), 0);
        QTRY_COMPARE(m_server->lineCount(), 0);
    }

    void aClientThatLeavesTheBusLeavesNoLineBehind()
    {
        {
            QDBusConnection other =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, "leaving-client");
            TolvexClient client(other, m_server->service());
            Result<LineHandle> a = client.createLine();
            Result<LineHandle> b = client.createLine();
            QVERIFY(a.isOk() && b.isOk());
            QVERIFY(a->InitTAPI(kLine2, gridExport(), 1, m_home.path()));
            QVERIFY(b->InitTAPI(kLine3, gridExport(), 2, m_home.path()));
            QCOMPARE(m_server->lineCount(), 2);
            QCOMPARE(registrations(kLine2), 1);
            // The handles are dropped only after the connection is gone, as when a client
            // crashes: their release requests go nowhere.
            QDBusConnection::disconnectFromBus("leaving-client");
        }
        QTRY_COMPARE(m_server->lineCount(), 0);
        QTRY_COMPARE(registrations(kLine2), 0);
        QTRY_COMPARE(registrations(kLine3), 0);
    }

    void theSettingsArePropertiesOfTheLine()
    {
        LineHandle line = newLine();
        QVERIFY(line.setVoice(1));
        QVERIFY(line.setRate(-3));
        QVERIFY(line.setVolume(70));
        QVERIFY(line.setRings(5));
        QVERIFY(line.setPlayType("MESS"));
        QVERIFY(line.setPlayFile("/tmp/greeting.wav"));
        QVERIFY(line.setPlayMessage("Leave it, O'Brien."));
        QVERIFY(line.setRecordTime(12));
        QCOMPARE(line.property("Voice").value().toInt(), 1);
        QCOMPARE(line.property("Rate").value().toInt(), -3);
        QCOMPARE(line.property("Volume").value().toInt(), 70);
        QCOMPARE(line.property("Rings").value().toInt(), 5);
        QCOMPARE(line.property("PlayType").value().toString(), QStringLiteral("MESS"));
        QCOMPARE(line.property("PlayFile").value().toString(), QStringLiteral("/tmp/greeting.wav"));
        QCOMPARE(line.property("PlayMessage").value().toString(),
                 QStringLiteral("Leave it, O'Brien."));
        QCOMPARE(line.property("RecordTime").value().toInt(), 12);
        QCOMPARE(line.property("Rings").value().userType(), QMetaType::Short);
        // getMessage takes a put and keeps its own value.
        QCOMPARE(line.getMessage().value(), QString());
    }

    void aGreetingTextTooLongToSpeakIsRefusedAtItsPut()
    {
        LineHandle line = newLine();
        QVERIFY(line.setPlayMessage("Hello."));
        const QString tooLong(kMaxSpeechText + 1, u'a');
        // The client refuses it with the reason...
        const Status refused = line.setPlayMessage(tooLong);
        QCOMPARE(refused.code(), err::InvalidArg);
        QVERIFY(refused.description().contains(QString::number(kMaxSpeechText)));
        // ...and a put that reaches the server all the same (busctl, gdbus) is refused
        // there, with a message that says so.
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        QDBusMessage set = QDBusMessage::createMethodCall(m_server->service(), line.path(),
                                                          "org.freedesktop.DBus.Properties", "Set");
        set << QString::fromLatin1(tolvex::kLineInterface) << QStringLiteral("PlayMessage")
            << QVariant::fromValue(QDBusVariant(tooLong));
        QDBusConnection::sessionBus().call(set);
        QTRY_COMPARE(boxes.size(), 1);
        QVERIFY(boxes[0][0].toString().contains("was not changed"));
        QCOMPARE(line.property("PlayMessage").value().toString(), QStringLiteral("Hello."));
        // The longest text that is spoken is taken.
        QVERIFY(line.setPlayMessage(QString(kMaxSpeechText, u'a')));
        QCOMPARE(line.property("PlayMessage").value().toString().size(), kMaxSpeechText);
    }

    void membersThatCannotRunSayWhy()
    {
        LineHandle line = newLine();
        // The event receiver takes the line's own telephony events only.
        QDBusMessage call = QDBusMessage::createMethodCall(
            m_server->service(), line.path(), tolvex::kLineInterface, "gobjTapiWithEvents_Event");
        call << 4 << QString();
        const QDBusMessage reply = QDBusConnection::sessionBus().call(call);
        QCOMPARE(reply.errorName(), QString::fromLatin1(tolvex::kErrorAccessDenied));
        // Playing into a device the line does not have fails, and says so.
        QDBusMessage play = QDBusMessage::createMethodCall(m_server->service(), line.path(),
                                                           tolvex::kLineInterface, "playByTTS");
        play << 999999 << 65 << QString("/usr/share/sounds/alsa/Front_Center.wav");
        const QDBusMessage refused = QDBusConnection::sessionBus().call(play);
        QCOMPARE(refused.type(), QDBusMessage::ErrorMessage);
        QCOMPARE(tolvex::statusOf(refused).code(), err::InvalidArg);
    }

    void thePutsOfManyLinesAtOnceAllArriveEachLineInOrder()
    {
        // As lines answering at the same moment write their rows: from threads of their own.
        constexpr int kLines = 8, kPuts = 400;
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "grid-writers");
        const StatusGrid target(bus, gridExport().service(), gridExport().path());
        QList<QThread*> lines;
        for (int row = 1; row <= kLines; ++row) {
            lines.append(QThread::create([&target, row] {
                for (int n = 0; n < kPuts; ++n) {
                    target.setRow(qint16(row));
                    target.setTextMatrix(qint16(row), 2, QString::number(n));
                }
            }));
            lines.last()->start();
        }
        for (QThread* line : std::as_const(lines)) {
            QVERIFY(line->wait(30000));
            delete line;
        }
        StatusGridOutbox::instance().flush();
        QTRY_COMPARE(grid().puts().size(), kLines * kPuts * 2);
        QStringList expected;
        for (int n = 0; n < kPuts; ++n)
            expected.append(QString::number(n));
        for (int row = 1; row <= kLines; ++row)
            QCOMPARE(grid().history(row, 2), expected);
        QDBusConnection::disconnectFromBus("grid-writers");
    }

    void heldPutsGoOutWithoutBeingFlushed()
    {
        // Puts are held a moment to go out together; none may stay behind for want of a
        // flush, neither a few nor a flood.
        const QDBusConnection bus =
            QDBusConnection::connectToBus(QDBusConnection::SessionBus, "grid-writer");
        const StatusGrid target(bus, gridExport().service(), gridExport().path());
        for (int puts : {1, 3, 500}) {
            grid().clear();
            for (int n = 0; n < puts; ++n)
                target.setTextMatrix(1, 2, QString::number(n));
            QTRY_COMPARE(grid().puts().size(), puts);
            QCOMPARE(grid().cell(1, 2), QString::number(puts - 1));
        }
        QDBusConnection::disconnectFromBus("grid-writer");
    }

    void asecondServerCannotTakeTheName()
    {
        QThread* serverThread = m_server->thread();
        Status started;
        auto* context = new QObject;
        context->moveToThread(serverThread);
        QMetaObject::invokeMethod(
            context,
            [&] {
                TolvexServer second(QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                                  "tolvex-under-test-1"));
                started = second.start(m_server->service());
                context->deleteLater();
            },
            Qt::BlockingQueuedConnection);
        QVERIFY(!started.isOk());
        QVERIFY(m_server->client().serverRunning());
    }
};

QTEST_GUILESS_MAIN(TestLineObject)
#include "TestLineObject.moc"
