// Calls on a bound line, end to end over the session bus: rings, answering, the greeting,
// the recording, the call log, and what the line does when its device, its media
// component or its greeting fails.

#include "RecordingGrid.h"
#include "Signals.h"
#include "TestServer.h"
#include "database/RecMessageTable.h"
#include "line_server/client/LineHandle.h"
#include "platform/telephony/sim/Simulator.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace orvane;

namespace {

const QString kLine1 = QStringLiteral("Simulated Line 1");
const QString kLine2 = QStringLiteral("Simulated Line 2");
constexpr int kSpeed = 4; // simulated time runs this much faster
constexpr int kWaitMs = 30000;

const char* const kWaiting = "Waiting for Call .... ";

struct Settings {
    qint16 rings = 2;
    QString playType = QStringLiteral("FILE");
    QString playFile;
    QString playMessage;
    qint16 recordTime = 2;
    qint16 voice = 0;
};

} // namespace

class TestCallHandling : public QObject {
    Q_OBJECT

    std::unique_ptr<test::TestServer> m_server;
    QTemporaryDir m_files;
    QString m_greeting, m_caller;
    std::unique_ptr<QTemporaryDir> m_home;

    LineHandle bind(const QString& line, qint16 row, const Settings& s)
    {
        LineHandle handle = m_server->newLine();
        handle.InitTAPI(line, m_server->gridExport(), row, m_home->path());
        handle.setVoice(s.voice);
        handle.setRate(0);
        handle.setVolume(80);
        handle.setRings(s.rings);
        handle.setPlayType(s.playType);
        handle.setPlayFile(s.playFile.isNull() ? m_greeting : s.playFile);
        handle.setPlayMessage(s.playMessage);
        handle.setRecordTime(s.recordTime);
        if (handle.getMessage().value() != QLatin1String("NOERROR"))
            qFatal("cannot bind %s", qPrintable(line));
        return handle;
    }

    quint64 ring(const QString& line, int rings = 5, int hangUpAfterMs = -1)
    {
        sim::CallRequest call;
        call.line = line;
        call.rings = rings;
        call.ringIntervalMs = 400;
        call.callerAudioPath = m_caller;
        call.capturePath = m_files.filePath(
            QStringLiteral("heard-%1.wav").arg(QDateTime::currentMSecsSinceEpoch()));
        call.hangUpAfterMs = hangUpAfterMs;
        Result<quint64> id = sim::Simulator::instance().placeCall(call);
        if (!id)
            qFatal("placeCall: %s", qPrintable(id.status().toString()));
        return id.value();
    }

    static sim::CallRecord record(quint64 id)
    {
        return sim::Simulator::instance().call(id).value();
    }

    bool ended(quint64 id) const
    {
        auto c = sim::Simulator::instance().call(id);
        return c && c->state == tapi::CS_DISCONNECTED;
    }

    QStringList recordings() const
    {
        return QDir(m_home->filePath("Rec-Files")).entryList(QDir::Files);
    }

    QList<recmessage::CallRow> loggedToday() const
    {
        Database db;
        if (!db.OpenDatabase(m_home->path()))
            return {};
        return recmessage::listDay(db, QDate::currentDate()).value();
    }

    QVector<qint16> heard(quint64 id)
    {
        const QString path = record(id).capturePath;
        if (!QTest::qWaitFor([&] { return QFile::exists(path); }, kWaitMs))
            return {};
        return test::decodeMuLawFile(test::readFile(path));
    }

    // The status texts of a row from its last binding on, without the registration.
    QStringList callTexts(int row) const
    {
        QStringList texts = m_server->grid().history(row, 2);
        const qsizetype start = texts.lastIndexOf(QStringLiteral("Waiting for call ...."));
        return start < 0 ? texts : texts.mid(start + 1);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("ORVANE_SIM_SPEED", QByteArray::number(kSpeed));
        m_server = std::make_unique<test::TestServer>();
        QVERIFY(m_server->isRunning());
        m_greeting = m_files.filePath("greeting.wav");
        QVERIFY(test::writePcmWav(m_greeting, test::tone(600, 0.6, 16000), 16000));
        m_caller = m_files.filePath("caller.wav");
        QVERIFY(test::writePcmWav(m_caller, test::tone(1000, 4.0, 8000), 8000));
    }

    void init()
    {
        QVERIFY(m_server->settle());
        m_server->grid().clear();
        m_home = std::make_unique<QTemporaryDir>();
    }

    void cleanup()
    {
        // A failed test may leave a caller on the line.
        for (const QString& line : {kLine1, kLine2})
            if (sim::Simulator::instance().currentCall(line))
                sim::Simulator::instance().hangUp(line);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->lineCount(), 0, kWaitMs);
    }

    void cleanupTestCase() { m_server.reset(); }

    void aCallIsAnsweredAtTheRingsthRingGreetedRecordedAndLogged()
    {
        Settings s;
        s.rings = 3;
        s.recordTime = 2;
        LineHandle line = bind(kLine1, 1, s);
        const QDateTime placed = QDateTime::currentDateTime();
        const quint64 id = ring(kLine1, 6);
        QTRY_VERIFY_WITH_TIMEOUT(
            m_server->grid().cell(1, 2) == kWaiting && loggedToday().size() == 1, kWaitMs);

        QCOMPARE(record(id).answeredAtRing, 3);
        QVERIFY(!record(id).endedByCaller); // the line hung up
        const QStringList texts = callTexts(1);
        QVERIFY2(texts.size() == 5, qPrintable(m_server->grid().history(1, 2).join(" | ")));
        QVERIFY(texts[0].startsWith("Incoming Call "));
        QCOMPARE(texts.mid(1), QStringList({"Call Connected ....", "Playing File .... ",
                                            "Recording File .... ", kWaiting}));

        // The recording: exactly RecordTime seconds of what the caller said.
        const QStringList files = recordings();
        QCOMPARE(files.size(), 1);
        QVERIFY(files.first().endsWith("-1.wav"));
        const QByteArray file = test::readFile(m_home->filePath("Rec-Files/" + files.first()));
        QCOMPARE(file.size(), 44 + 2 * 8000);
        QCOMPARE(file.left(4), QByteArray("RIFF"));
        QVERIFY(test::tonePower(test::decodeMuLawFile(file).mid(2000), 1000, 8000) > 0.8);

        // The log: the file and the time the call was notified.
        const recmessage::CallRow logged = loggedToday().first();
        QCOMPARE(logged.incomingCallFile, files.first());
        QVERIFY(qAbs(logged.incomingCall.secsTo(placed)) <= 2);

        // The caller heard the greeting.
        QVERIFY(test::tonePeak(heard(id), 600, 8000) > 0.8);
    }

    void aLineSetToNoRingsNeverAnswers_data()
    {
        QTest::addColumn<int>("rings");
        QTest::newRow("0") << 0;
        QTest::newRow("-1") << -1;
    }

    void aLineSetToNoRingsNeverAnswers()
    {
        QFETCH(int, rings);
        Settings s;
        s.rings = qint16(rings);
        LineHandle line = bind(kLine2, 2, s);
        const quint64 id = ring(kLine2, 3);
        QTRY_VERIFY_WITH_TIMEOUT(ended(id), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(2, 2), QString(kWaiting), kWaitMs);
        QCOMPARE(record(id).answeredAtRing, 0);
        QCOMPARE(record(id).ringsRung, 3);
        QCOMPARE(callTexts(2).size(), 2);
        QVERIFY(recordings().isEmpty());
    }

    void thePlayTypeDecidesBetweenFileAndMessage_data()
    {
        QTest::addColumn<QString>("playType");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("greetingTone");
        QTest::newRow("FILE") << "FILE"
                              << "Playing File .... " << true;
        QTest::newRow("mess is not MESS") << "mess"
                                          << "Playing File .... " << true;
        QTest::newRow("MESS") << "MESS"
                              << "Playing Message .... " << false;
    }

    void thePlayTypeDecidesBetweenFileAndMessage()
    {
        QFETCH(QString, playType);
        QFETCH(QString, shown);
        QFETCH(bool, greetingTone);
        Settings s;
        s.playType = playType;
        s.playMessage = QStringLiteral("Hello. Please leave a message.");
        s.recordTime = 1;
        LineHandle line = bind(kLine1, 1, s);
        const quint64 id = ring(kLine1);
        QTRY_VERIFY_WITH_TIMEOUT(m_server->grid().cell(1, 2) == kWaiting && ended(id), kWaitMs);
        QCOMPARE(callTexts(1).value(2), shown);
        const QVector<qint16> caller = heard(id);
        QVERIFY(!caller.isEmpty());
        const double tone = test::tonePeak(caller, 600, 8000);
        QVERIFY2(greetingTone ? tone > 0.8 : tone < 0.2, qPrintable(QString::number(tone)));
        if (!greetingTone) { // speech, not silence
            double energy = 0;
            for (qint16 x : caller)
                energy += double(x) * x;
            QVERIFY(energy / caller.size() > 100.0 * 100.0);
        }
        QCOMPARE(loggedToday().size(), 1);
    }

    void aMonitoredCallIsReportedAndNotAnswered()
    {
        LineHandle line = bind(kLine1, 1, Settings());
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        QVERIFY(sim::Simulator::instance().injectFault(kLine1, sim::Fault::MonitorOnly));
        const quint64 id = ring(kLine1, 3);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kWaitMs);
        QCOMPARE(boxes[0][0].toString(),
                 QStringLiteral(
                     "Modem/Telephony Card not properly installed. Please restart your computer"));
        QCOMPARE(boxes[0][1].toString(), QStringLiteral("Answering Machine"));
        // Grid puts travel apart from the message box and may come after it.
        QVERIFY(m_server->settle());
        QVERIFY(m_server->grid().cell(1, 2).startsWith("Incoming Call "));
        QTRY_VERIFY_WITH_TIMEOUT(ended(id), kWaitMs);
        QCOMPARE(record(id).answeredAtRing, 0);
        QVERIFY(!callTexts(1).contains("Call Connected ...."));
        QCOMPARE(boxes.size(), 1);
    }

    void aLineWithoutADeviceCannotAnswerUntilTheNextCall()
    {
        LineHandle line = bind(kLine2, 2, Settings());
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        QVERIFY(sim::Simulator::instance().injectFault(kLine2, sim::Fault::NoDeviceOnAnswer));
        const quint64 first = ring(kLine2);
        QTRY_VERIFY_WITH_TIMEOUT(ended(first), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kWaitMs);
        QCOMPARE(
            boxes[0][0].toString(),
            QStringLiteral(
                "Modem/Telephony Card not properly installed. You need to restart the Computer."));
        QVERIFY(!record(first).endedByCaller); // the line hung up
        // A call into the line runs on its thread after the events already there: once it
        // returns, the disconnection has been handled; its puts are then on the grid.
        QVERIFY(line.getMessage());
        QVERIFY(m_server->settle());
        QCOMPARE(m_server->grid().cell(2, 2),
                 QStringLiteral("Cannot Answer Calls ...")); // the status was kept
        QVERIFY(!callTexts(2).contains(kWaiting));

        // The next call is handled normally.
        const quint64 second = ring(kLine2);
        QTRY_VERIFY_WITH_TIMEOUT(ended(second) && m_server->grid().cell(2, 2) == kWaiting, kWaitMs);
        QCOMPARE(record(second).answeredAtRing, 2);
        QCOMPARE(recordings().size(), 1);
    }

    void aMissingMediaComponentHangsUp()
    {
        LineHandle line = bind(kLine1, 1, Settings());
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        QVERIFY(sim::Simulator::instance().injectFault(kLine1, sim::Fault::NoMediaComponent));
        const quint64 id = ring(kLine1);
        QTRY_VERIFY_WITH_TIMEOUT(ended(id), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kWaitMs);
        QCOMPARE(boxes[0][0].toString(), QStringLiteral("Unable To Play File/Message"));
        QVERIFY(!record(id).endedByCaller);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2), QString(kWaiting), kWaitMs);
        const QStringList texts = callTexts(1);
        QCOMPARE(texts.mid(1), QStringList({"Call Connected ....", kWaiting}));
        QVERIFY(recordings().isEmpty());
    }

    void otherFailuresLeaveTheCallToTheCaller_data()
    {
        QTest::addColumn<QString>("playType");
        QTest::addColumn<QString>("playFile");
        QTest::addColumn<int>("voice");
        QTest::newRow("missing greeting file") << "FILE"
                                               << "/nonexistent/greeting.wav" << 0;
        QTest::newRow("voice beyond the list") << "MESS"
                                               << "" << 9999;
    }

    void otherFailuresLeaveTheCallToTheCaller()
    {
        QFETCH(QString, playType);
        QFETCH(QString, playFile);
        QFETCH(int, voice);
        Settings s;
        s.playType = playType;
        s.playFile = playFile;
        s.playMessage = QStringLiteral("Hello.");
        s.voice = qint16(voice);
        LineHandle line = bind(kLine1, 1, s);
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        const quint64 id = ring(kLine1, 5, 1500);
        QTRY_VERIFY_WITH_TIMEOUT(ended(id), kWaitMs);
        QVERIFY(record(id).endedByCaller);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2), QString(kWaiting), kWaitMs);
        QVERIFY(!callTexts(1).contains("Recording File .... "));
        QCOMPARE(boxes.size(), 0);
        QVERIFY(recordings().isEmpty());
        QVERIFY(loggedToday().isEmpty());
    }

    void twoLinesRecordTenSecondsEachUnderTheirOwnNames()
    {
        Settings s;
        s.recordTime = 10;
        LineHandle a = bind(kLine1, 1, s);
        LineHandle b = bind(kLine2, 2, s);
        ring(kLine1);
        ring(kLine2);
        QTRY_VERIFY_WITH_TIMEOUT(loggedToday().size() == 2, kWaitMs);
        const QStringList files = recordings();
        QCOMPARE(files.size(), 2);
        QVERIFY(files[0] != files[1]);
        for (const QString& f : files)
            QCOMPARE(test::readFile(m_home->filePath("Rec-Files/" + f)).size(), 80044);
        QStringList logged;
        for (const auto& row : loggedToday())
            logged << row.incomingCallFile;
        logged.sort();
        QCOMPARE(logged, files);
    }

    void aCallerWhoHangsUpEarlyStillGetsTheWholeRecording()
    {
        Settings s;
        s.recordTime = 3;
        LineHandle line = bind(kLine1, 1, s);
        const quint64 id = ring(kLine1, 5, 1200); // during the recording
        QTRY_VERIFY_WITH_TIMEOUT(loggedToday().size() == 1, kWaitMs);
        QVERIFY(record(id).endedByCaller);
        const QByteArray file =
            test::readFile(m_home->filePath("Rec-Files/" + recordings().first()));
        QCOMPARE(file.size(), 44 + 3 * 8000);
        // The end is the silence after the caller left.
        QCOMPARE(file.right(2000).count(char(0xFF)), 2000);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2), QString(kWaiting), kWaitMs);
    }

    void aSettingChangedBetweenCallsTakesEffectAtTheNextCall()
    {
        Settings s;
        s.rings = 2;
        s.recordTime = 1;
        LineHandle line = bind(kLine2, 2, s);
        const quint64 first = ring(kLine2);
        QTRY_VERIFY_WITH_TIMEOUT(ended(first) && m_server->grid().cell(2, 2) == kWaiting, kWaitMs);
        QVERIFY(line.setRings(4));
        const quint64 second = ring(kLine2, 6);
        QTRY_VERIFY_WITH_TIMEOUT(ended(second) && m_server->grid().cell(2, 2) == kWaiting, kWaitMs);
        QCOMPARE(record(first).answeredAtRing, 2);
        QCOMPARE(record(second).answeredAtRing, 4);
    }

    void aLineReleasedWhileRecordingKeepsTheRecording()
    {
        Settings s;
        s.recordTime = 2;
        LineHandle line = bind(kLine1, 1, s);
        ring(kLine1);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2),
                                  QStringLiteral("Recording File .... "), kWaitMs);
        line.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->lineCount(), 0, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(loggedToday().size(), 1, kWaitMs);
        QCOMPARE(test::readFile(m_home->filePath("Rec-Files/" + recordings().first())).size(),
                 44 + 2 * 8000);
        QCOMPARE(sim::Simulator::instance().registrations(kLine1), 0);
    }

    void aDatabaseThatCannotBeWrittenLosesNoRecording()
    {
        QVERIFY(QDir(m_home->path()).mkdir("velmoc.mdb")); // a folder where the file should be
        Settings s;
        s.recordTime = 1;
        LineHandle line = bind(kLine2, 2, s);
        const quint64 id = ring(kLine2);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("kept .* but could not log it"));
        QTRY_VERIFY_WITH_TIMEOUT(ended(id) && m_server->grid().cell(2, 2) == kWaiting, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(recordings().size(), 1, kWaitMs);
        QVERIFY(!record(id).endedByCaller);
    }
};

QTEST_GUILESS_MAIN(TestCallHandling)
#include "TestCallHandling.moc"
