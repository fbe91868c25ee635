// Calls on a bound line, end to end over the session bus: rings, answering, the greeting,
// the recording, the call log, and what the line does when its device, its media
// component or its greeting fails.

#include "RecordingGrid.h"
#include "Signals.h"
#include "TestServer.h"
#include "database/RecMessageTable.h"
#include "line_server/client/LineHandle.h"
#include "line_server/line/RecordingKeeper.h"
#include "line_server/line/modData.h"
#include "platform/telephony/sim/Simulator.h"
#include "platform/wav/WavFile.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

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
    QString m_greeting, m_caller, m_otherCaller;
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

    QList<recmessage::CallRow> loggedOn(const QDate& day) const
    {
        Database db;
        if (!db.OpenDatabase(m_home->path()))
            return {};
        Result<QList<recmessage::CallRow>> rows = recmessage::listDay(db, day);
        return rows ? rows.value() : QList<recmessage::CallRow>();
    }

    QList<recmessage::CallRow> loggedToday() const { return loggedOn(QDate::currentDate()); }

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
        m_otherCaller = m_files.filePath("other-caller.wav");
        QVERIFY(test::writePcmWav(m_otherCaller, test::tone(1500, 20.0, 8000), 8000));
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

    void anUnplayableGreetingStillGreetsAndRecordsTheCaller_data()
    {
        QTest::addColumn<QString>("playType");
        QTest::addColumn<QString>("playFile");
        QTest::addColumn<int>("voice");
        QTest::addColumn<int>("rate");
        QTest::addColumn<bool>("defaultGreeting"); // the program folder has one
        QTest::addColumn<QString>("standIn");
        QTest::addColumn<QString>("reason"); // part of what the user is told
        QTest::newRow("missing file, default greeting")
            << "FILE"
            << "/nonexistent/greeting.wav" << 0 << 0 << true << "the default greeting"
            << "does not exist";
        QTest::newRow("missing file, no default greeting")
            << "FILE"
            << "/nonexistent/greeting.wav" << 0 << 0 << false << "a standard greeting"
            << "does not exist";
        QTest::newRow("not a wave file")
            << "FILE"
            << "caller-notes.txt" << 0 << 0 << true << "the default greeting"
            << "not a wave file";
        // A header that claims 2 GB (a sparse file): refused before it is read.
        QTest::newRow("a greeting of 37 hours")
            << "FILE"
            << "huge.wav" << 0 << 0 << true << "the default greeting"
            << "a sound of at most 10 minutes is played";
        QTest::newRow("a folder") << "FILE"
                                  << "folder.wav" << 0 << 0 << true << "the default greeting"
                                  << "is a folder, not a file";
        QTest::newRow("a FIFO") << "FILE"
                                << "fifo.wav" << 0 << 0 << false << "a standard greeting"
                                << "is a named pipe (FIFO), not a file";
        QTest::newRow("voice beyond the list")
            << "MESS"
            << "" << 9999 << 0 << true << "the greeting text in the standard voice"
            << "There is no voice number 9999";
        QTest::newRow("rate out of range")
            << "MESS"
            << "" << 0 << 40 << false << "the greeting text in the standard voice"
            << "Speech rate 40 is outside";
    }

    void anUnplayableGreetingStillGreetsAndRecordsTheCaller()
    {
        QFETCH(QString, playType);
        QFETCH(QString, playFile);
        QFETCH(int, voice);
        QFETCH(int, rate);
        QFETCH(bool, defaultGreeting);
        QFETCH(QString, standIn);
        QFETCH(QString, reason);
        if (defaultGreeting) {
            QVERIFY(QDir(m_home->path()).mkpath("greeting"));
            QVERIFY(test::writePcmWav(m_home->filePath("greeting/greeting.wav"),
                                      test::tone(800, 0.6, 8000), 8000));
        }
        if (playFile == QLatin1String("caller-notes.txt")) {
            playFile = m_files.filePath(playFile);
            QFile notes(playFile);
            QVERIFY(notes.open(QIODevice::WriteOnly));
            notes.write("not a sound at all\n");
        } else if (playFile == QLatin1String("huge.wav")) {
            playFile = m_files.filePath(playFile);
            QVERIFY(test::writeSparseWav(playFile, 0x7FFFFF00u));
        } else if (playFile == QLatin1String("folder.wav")) {
            playFile = m_files.filePath(playFile);
            QVERIFY(QDir().mkpath(playFile));
        } else if (playFile == QLatin1String("fifo.wav")) {
            playFile = m_files.filePath(playFile);
            QCOMPARE(::mkfifo(QFile::encodeName(playFile).constData(), 0600), 0);
        }
        Settings s;
        s.playType = playType;
        s.playFile = playFile;
        s.playMessage = QStringLiteral("Hello. Please leave a message.");
        s.voice = qint16(voice);
        s.recordTime = 1;
        LineHandle line = bind(kLine1, 1, s);
        line.setRate(qint16(rate));
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        const quint64 id = ring(kLine1);
        QTRY_VERIFY_WITH_TIMEOUT(loggedToday().size() == 1 && ended(id) &&
                                     m_server->grid().cell(1, 2) == kWaiting,
                                 kWaitMs);
        // The caller was greeted by the stand-in, recorded, and hung up on.
        QVERIFY(!record(id).endedByCaller);
        const QStringList texts = callTexts(1);
        QVERIFY2(texts.contains("Playing Default Greeting .... ") &&
                     texts.contains("Recording File .... "),
                 qPrintable(texts.join(" | ")));
        QCOMPARE(recordings().size(), 1);
        const QVector<qint16> caller = heard(id);
        if (standIn == QLatin1String("the default greeting"))
            QVERIFY(test::tonePeak(caller, 800, 8000) > 0.8);
        else
            QVERIFY(caller.size() > 8000); // speech, at least a second of it
        // The user is told what was wrong and what the caller heard, once.
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kWaitMs);
        const QString told = boxes[0][0].toString();
        QVERIFY2(told.startsWith("Simulated Line 1 could not play its greeting") &&
                     told.contains(standIn) && told.contains(reason),
                 qPrintable(told));
        QCOMPARE(boxes[0][1].toString(), QStringLiteral("Answering Machine"));
        const quint64 again = ring(kLine1);
        QTRY_VERIFY_WITH_TIMEOUT(loggedToday().size() == 2 && ended(again), kWaitMs);
        QVERIFY(line.getMessage());
        QCOMPARE(boxes.size(), 1);
    }

    void aCallerWhoHangsUpDuringTheGreetingIsStillRecorded()
    {
        Settings s;
        s.recordTime = 2;
        LineHandle line = bind(kLine2, 2, s);
        const quint64 id = ring(kLine2, 5, 200); // the greeting lasts 600 ms
        QTRY_VERIFY_WITH_TIMEOUT(loggedToday().size() == 1, kWaitMs);
        QVERIFY(record(id).endedByCaller);
        QCOMPARE(test::readFile(m_home->filePath("Rec-Files/" + recordings().first())).size(),
                 44 + 2 * 8000);
    }

    void theNextCallerWhileTheLastIsRecordedGetsACallOfTheirOwn()
    {
        // The first caller hangs up during a long recording; the second calls at once,
        // while the line is still recording the first.
        Settings s;
        s.recordTime = 12;
        LineHandle line = bind(kLine1, 1, s);
        const QDateTime placedA = QDateTime::currentDateTime();
        const quint64 a = ring(kLine1, 5, 2000);
        QTRY_VERIFY_WITH_TIMEOUT(ended(a), kWaitMs);
        QCOMPARE(m_server->grid().cell(1, 2), QStringLiteral("Recording File .... "));

        sim::CallRequest second;
        second.line = kLine1;
        second.callerNumber = QStringLiteral("5550199");
        second.rings = 60; // rings on until the line gets to it
        second.ringIntervalMs = 400;
        second.callerAudioPath = m_otherCaller;
        second.capturePath = m_files.filePath("heard-second.wav");
        const QDateTime placedB = QDateTime::currentDateTime();
        Result<quint64> b = sim::Simulator::instance().placeCall(second);
        QVERIFY(b.isOk());
        QTRY_VERIFY_WITH_TIMEOUT(loggedToday().size() == 2 && ended(b.value()), 2 * kWaitMs);

        // The second call was answered, greeted and recorded in full, then hung up.
        const sim::CallRecord recordB = record(b.value());
        QVERIFY(recordB.answeredAtRing >= 2);
        QVERIFY(!recordB.endedByCaller);
        QVERIFY(recordB.endedNs - recordB.answeredNs > qint64(12) * 1'000'000'000 / kSpeed);
        QVERIFY(test::tonePeak(heard(b.value()), 600, 8000) > 0.8);

        // Each row has its own call's time and its own caller's voice.
        QList<recmessage::CallRow> rows = loggedToday();
        std::sort(rows.begin(), rows.end(),
                  [](const auto& x, const auto& y) { return x.incomingCall < y.incomingCall; });
        QVERIFY2(qAbs(rows[0].incomingCall.msecsTo(placedA)) < 1500,
                 qPrintable(rows[0].incomingCall.toString(Qt::ISODateWithMs)));
        QVERIFY2(qAbs(rows[1].incomingCall.msecsTo(placedB)) < 1500,
                 qPrintable(rows[1].incomingCall.toString(Qt::ISODateWithMs)));
        const QVector<qint16> first = test::decodeMuLawFile(
            test::readFile(m_home->filePath("Rec-Files/" + rows[0].incomingCallFile)));
        const QVector<qint16> latter = test::decodeMuLawFile(
            test::readFile(m_home->filePath("Rec-Files/" + rows[1].incomingCallFile)));
        QCOMPARE(first.size(), 12 * 8000);
        QCOMPARE(latter.size(), 12 * 8000);
        QVERIFY(test::tonePeak(first, 1000, 8000) > 0.8);
        QVERIFY(test::tonePeak(latter, 1500, 8000) > 0.8);
        QVERIFY(test::tonePeak(latter, 1000, 8000) < 0.2);
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

    // Nobody is left to answer for the line: the caller is not kept on for the rest of the
    // recording time, and what they said is kept and logged.
    void aLineWhoseOwnerLeavesEndsItsRecordingAtOnce()
    {
        QElapsedTimer sinceLeft;
        quint64 id = 0;
        {
            // The owner talks to the server through its own connection and never says
            // goodbye, as a program that crashed: its line is not released, its owner leaves.
            QDBusConnection owner =
                QDBusConnection::connectToBus(QDBusConnection::SessionBus, "leaving-owner");
            QDBusInterface factory(m_server->service(), "/org/orvane/Tolvex",
                                   "org.orvane.Tolvex.Factory", owner);
            const QDBusReply<QDBusObjectPath> path = factory.call("CreateLine");
            QVERIFY2(path.isValid(), qPrintable(path.error().message()));
            QDBusInterface line(m_server->service(), path.value().path(),
                                "org.orvane.Tolvex.clsTapi", owner);
            const StatusGridExport& grid = m_server->gridExport();
            const QDBusMessage bound = line.call("InitTAPI", kLine2, grid.service(),
                                                 QVariant::fromValue(QDBusObjectPath(grid.path())),
                                                 QVariant::fromValue(qint16(2)), m_home->path());
            QVERIFY2(bound.type() == QDBusMessage::ReplyMessage, qPrintable(bound.errorMessage()));
            QVERIFY(line.setProperty("Rings", qint16(1)) &&
                    line.setProperty("Volume", qint16(80)) &&
                    line.setProperty("RecordTime", qint16(30)) &&
                    line.setProperty("PlayType", QString("FILE")) &&
                    line.setProperty("PlayFile", m_greeting));
            QCOMPARE(line.property("getMessage").toString(), QStringLiteral("NOERROR"));
            id = ring(kLine2, 3);
            QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(2, 2),
                                      QStringLiteral("Recording File .... "), kWaitMs);
        }
        QDBusConnection::disconnectFromBus("leaving-owner");
        sinceLeft.start();
        QTRY_VERIFY_WITH_TIMEOUT(ended(id) && loggedToday().size() == 1, kWaitMs);
        qInfo("the caller was let go %lld ms after the owner left", sinceLeft.elapsed());
        QVERIFY(!record(id).endedByCaller);
        QTRY_COMPARE(m_server->lineCount(), 0);
        // What was recorded until then, not 30 seconds of it.
        QCOMPARE(recordings().size(), 1);
        const qsizetype bytes =
            test::readFile(m_home->filePath("Rec-Files/" + recordings().first())).size() - 44;
        QVERIFY2(bytes < 10 * 8000, qPrintable(QString::number(bytes)));
        QCOMPARE(loggedToday().first().incomingCallFile, recordings().first());
    }

    void aDatabaseThatCannotBeWrittenLosesNoCall_data()
    {
        QTest::addColumn<bool>("corrupt");
        QTest::newRow("not writable") << false; // a folder where the file should be
        QTest::newRow("damaged") << true;
    }

    void aDatabaseThatCannotBeWrittenLosesNoCall()
    {
        QFETCH(bool, corrupt);
        const QString dbPath = m_home->filePath("velmoc.mdb");
        Settings s;
        s.recordTime = 1;
        // A folder in the database's place is refused at binding; here it comes later.
        LineHandle line = bind(kLine2, 2, s);
        if (corrupt) {
            QFile damaged(dbPath);
            QVERIFY(damaged.open(QIODevice::WriteOnly));
            damaged.write(QByteArray(8192, 'x'));
        } else {
            QVERIFY(QDir(m_home->path()).mkdir("velmoc.mdb"));
        }
        const QByteArray before = corrupt ? test::readFile(dbPath) : QByteArray();
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("could not list it"));
        const QDateTime placed = QDateTime::currentDateTime();
        const quint64 first = ring(kLine2);
        QTRY_VERIFY_WITH_TIMEOUT(ended(first) && recordings().size() == 1, kWaitMs);
        QVERIFY(!record(first).endedByCaller);
        // The user is told, in the cell and once in a message.
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kWaitMs);
        QVERIFY2(boxes[0][0].toString().contains("could not list it"),
                 qPrintable(boxes[0][0].toString()));
        QVERIFY(line.getMessage());
        QVERIFY(m_server->settle());
        QCOMPARE(m_server->grid().cell(2, 2), QStringLiteral("Call Not Logged ...."));
        // Nothing the user had was touched.
        if (corrupt)
            QCOMPARE(test::readFile(dbPath), before);

        // Once the database can be written, the next call lists both, each at its time.
        if (corrupt)
            QVERIFY(QFile::remove(dbPath));
        else
            QVERIFY(QDir(dbPath).removeRecursively());
        const quint64 second = ring(kLine2);
        QTRY_VERIFY_WITH_TIMEOUT(loggedToday().size() == 2 && ended(second), kWaitMs);
        QList<recmessage::CallRow> rows = loggedToday();
        QVERIFY(qAbs(rows.first().incomingCall.secsTo(placed)) <= 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(2, 2), QString(kWaiting), kWaitMs);
        QCOMPARE(boxes.size(), 1);
    }

    void aFullDiskLosesNoRecording()
    {
        // A recordings folder on a file system of 4 kB: a recording of a second does not
        // fit. Mounting needs root; elsewhere there is nothing to test.
        const QString folder = m_home->filePath("Rec-Files");
        QVERIFY(QDir().mkpath(folder));
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4k", "tmpfs", folder}) != 0)
            QSKIP("cannot mount a small file system here");
        auto unmount = qScopeGuard([&] { QProcess::execute("umount", {folder}); });
        Settings s;
        s.recordTime = 1;
        LineHandle line = bind(kLine1, 1, s);
        QSignalSpy boxes(line.events(), &LineEvents::messageBox);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("could not save the recording"));
        const quint64 first = ring(kLine1);
        QTRY_VERIFY_WITH_TIMEOUT(ended(first), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, kWaitMs);
        QVERIFY2(boxes[0][0].toString().contains("could not save the recording"),
                 qPrintable(boxes[0][0].toString()));
        QVERIFY(line.getMessage());
        QVERIFY(m_server->settle());
        QCOMPARE(m_server->grid().cell(1, 2), QStringLiteral("Recording Not Saved ...."));
        QVERIFY(recordings().isEmpty());
        QVERIFY(loggedToday().isEmpty());

        // Room again: the next call keeps both recordings, whole, and lists them.
        QCOMPARE(QProcess::execute("mount", {"-o", "remount,size=1m", folder}), 0);
        const quint64 second = ring(kLine1);
        QTRY_VERIFY_WITH_TIMEOUT(loggedToday().size() == 2 && ended(second), kWaitMs);
        const QStringList files = recordings();
        QCOMPARE(files.size(), 2);
        for (const QString& f : files)
            QCOMPARE(test::readFile(QDir(folder).filePath(f)).size(), 44 + 8000);
        // No part file is left behind.
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2), QString(kWaiting), kWaitMs);
        QCOMPARE(boxes.size(), 1);
        line.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->lineCount(), 0, kWaitMs);
    }

    // A line that ends while its recording still cannot be saved puts it in the user's state
    // folder, which a reboot keeps; the next start brings it home and lists it at its time.
    void aRecordingTheLineCouldNotSaveIsListedAtTheNextStart_data()
    {
        QTest::addColumn<bool>("stateUsable");
        QTest::newRow("the state folder") << true;
        // The state folder on the same full disk: the temporary folder takes it.
        QTest::newRow("the temporary folder") << false;
    }

    void aRecordingTheLineCouldNotSaveIsListedAtTheNextStart()
    {
        QFETCH(bool, stateUsable);
        const QString folder = m_home->filePath("Rec-Files");
        QVERIFY(QDir().mkpath(folder));
        if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=4k", "tmpfs", folder}) != 0)
            QSKIP("cannot mount a small file system here");
        auto unmount = qScopeGuard([&] { QProcess::execute("umount", {folder}); });
        QTemporaryDir places;
        const QString state = places.filePath(stateUsable ? "state" : "a-file");
        if (!stateUsable) {
            QFile blocker(state);
            QVERIFY(blocker.open(QIODevice::WriteOnly));
        }
        const QByteArray oldTmp = qgetenv("TMPDIR");
        qputenv("XDG_STATE_HOME", QFile::encodeName(state));
        qputenv("TMPDIR", QFile::encodeName(places.filePath("tmp")));
        QVERIFY(QDir().mkpath(places.filePath("tmp")));
        auto unsetState = qScopeGuard([oldTmp] {
            qunsetenv("XDG_STATE_HOME");
            if (oldTmp.isNull())
                qunsetenv("TMPDIR");
            else
                qputenv("TMPDIR", oldTmp);
        });
        const QString unsaved =
            stateUsable ? RecordingKeeper::unsavedRecordingsFolder(m_home->path())
                        : RecordingKeeper::fallbackUnsavedRecordingsFolder(m_home->path());
        QVERIFY(unsaved.startsWith(places.path()));

        Settings s;
        s.recordTime = 1;
        LineHandle line = bind(kLine1, 1, s);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("could not save the recording"));
        QTest::ignoreMessage(QtCriticalMsg,
                             QRegularExpression("until the line server next starts"));
        const QDateTime placed = QDateTime::currentDateTime();
        const quint64 id = ring(kLine1);
        QTRY_VERIFY_WITH_TIMEOUT(ended(id), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->grid().cell(1, 2),
                                  QStringLiteral("Recording Not Saved ...."), kWaitMs);
        line.reset();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->lineCount(), 0, kWaitMs);
        // The line ends on its own thread, after the release.
        QTRY_COMPARE_WITH_TIMEOUT(QDir(unsaved).entryList({"*.wav"}, QDir::Files).size(), 1,
                                  kWaitMs);
        const QStringList kept = QDir(unsaved).entryList({"*.wav"}, QDir::Files);
        QCOMPARE(test::readFile(QDir(unsaved).filePath(kept.first())).size(), 44 + 8000);
        QVERIFY(test::readFile(QDir(unsaved).filePath("program-folder.txt"))
                    .startsWith(QFile::encodeName(m_home->path())));

        // The next start: room again, and the recording is listed at the call's time.
        unmount.dismiss();
        QCOMPARE(QProcess::execute("umount", {folder}), 0);
        QVERIFY(loggedToday().isEmpty());
        QCOMPARE(RecordingKeeper::recoverUnloggedRecordings(m_home->path(),
                                                            QDateTime::currentDateTime()),
                 1);
        const QList<recmessage::CallRow> rows = loggedToday();
        QCOMPARE(rows.size(), 1);
        QVERIFY2(qAbs(rows.first().incomingCall.secsTo(placed)) <= 2,
                 qPrintable(rows.first().incomingCall.toString()));
        QCOMPARE(recordings(), QStringList{rows.first().incomingCallFile});
        QVERIFY(!QFileInfo::exists(unsaved));
    }

    void recordingsOfAnEarlierRunWithoutARowAreListed()
    {
        // An earlier run saved these and ended before their rows were written: one named,
        // one still under its part name. A part that is not whole stays as it is.
        const QDir folder(m_home->filePath("Rec-Files"));
        QVERIFY(folder.mkpath("."));
        const QDateTime yesterday = QDateTime::currentDateTime().addDays(-1);
        auto leave = [&](const QString& name, const QByteArray& bytes) {
            QFile f(folder.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
            QVERIFY(f.setFileTime(yesterday, QFileDevice::FileModificationTime));
        };
        const QByteArray fiveSeconds = wav::muLawFile(QByteArray(5 * 8000, char(0x7F)));
        leave("earlier-1.wav", fiveSeconds);
        leave(".recording-AbC123.part", fiveSeconds);
        leave(".recording-XyZ789.part", fiveSeconds.left(1000));
        LineHandle line = bind(kLine1, 1, Settings());
        QTRY_VERIFY_WITH_TIMEOUT(loggedOn(yesterday.date()).size() == 2, kWaitMs);
        QList<recmessage::CallRow> rows = loggedOn(yesterday.date());
        QStringList names;
        for (const auto& r : rows)
            names << r.incomingCallFile;
        QVERIFY(names.contains("earlier-1.wav"));
        QVERIFY(folder.exists(".recording-XyZ789.part"));
        QVERIFY(!folder.exists(".recording-AbC123.part"));
        // Listed at the time the recording began.
        for (const auto& r : rows)
            QVERIFY(qAbs(r.incomingCall.secsTo(yesterday.addSecs(-5))) <= 2);
        // A second line on the same folder lists nothing twice.
        LineHandle other = bind(kLine2, 2, Settings());
        QVERIFY(other.getMessage());
        QCOMPARE(loggedOn(yesterday.date()).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestCallHandling)
#include "TestCallHandling.moc"
