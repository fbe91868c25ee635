// Keeping recordings and their rows, without a bus or a call: what cannot be kept is held
// and kept later in the order of the calls, the user is told once per problem, and what is
// still held when the line ends reaches the call list at the next start.

#include "Signals.h"
#include "database/RecMessageTable.h"
#include "line_server/line/RecordingKeeper.h"
#include "line_server/line/StatusTexts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace orvane;

namespace {

struct Outlet : LineOutlet {
    QStringList messages;
    void messageBox(const QString& text, const QString&) override { messages << text; }
    void raiseTest2() override {}
    void statusWritten(const QString&, const QString&) override {}
    QList<LoggedEvent> events;
    void logged(const LoggedEvent& event) override { events << event; }
    void faxEnded(const QString&, const QString&, const QVariantMap&) override {}
};

struct Listener : RecordingKeeper::Listener {
    QStringList failures;
    int recoveries = 0;
    void keepingFailed(const char* statusText) override { failures << statusText; }
    void keepingRecovered() override { ++recoveries; }
};

// One second of a recording whose every byte is `fill`.
QByteArray audio(char fill)
{
    return QByteArray(8000, fill);
}

} // namespace

class TestRecordingKeeper : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_home, m_state;
    QObject m_timerOwner;
    Outlet m_outlet;
    Listener m_listener;

    QString recFolder() const { return m_home->filePath("Rec-Files"); }

    QList<recmessage::CallRow> rowsOn(const QDate& day) const
    {
        Database db;
        if (!db.OpenDatabase(m_home->path()))
            return {};
        Result<QList<recmessage::CallRow>> rows = recmessage::listDay(db, day);
        db.CloseDatabase();
        return rows ? rows.value() : QList<recmessage::CallRow>();
    }

    std::unique_ptr<RecordingKeeper> keeper()
    {
        auto k = std::make_unique<RecordingKeeper>(m_outlet, m_listener, &m_timerOwner);
        k->setProgramFolder(m_home->path());
        k->setLine(3, QStringLiteral("Line A"));
        return k;
    }

    // Rec-Files/ made unusable: a file where the folder should be.
    void blockRecordings()
    {
        QDir(recFolder()).removeRecursively();
        QFile blocker(recFolder());
        QVERIFY(blocker.open(QIODevice::WriteOnly));
    }
    void unblockRecordings()
    {
        QVERIFY(QFile::remove(recFolder()));
        QVERIFY(QDir().mkpath(recFolder()));
    }

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<QTemporaryDir>();
        m_state = std::make_unique<QTemporaryDir>();
        qputenv("XDG_STATE_HOME", QFile::encodeName(m_state->path()));
        QVERIFY(QDir().mkpath(recFolder()));
        m_outlet = {};
        m_listener = {};
    }

    void aRecordingIsSavedAndListedAtItsTime()
    {
        auto k = keeper();
        const QDateTime when = QDateTime::currentDateTime().addSecs(-30);
        k->keep(when, "call.wav", audio(1));
        QCOMPARE(QFileInfo(QDir(recFolder()).filePath("call.wav")).size(), 44 + 8000);
        const QList<recmessage::CallRow> rows = rowsOn(when.date());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().incomingCallFile, QStringLiteral("call.wav"));
        QCOMPARE(rows.first().incomingCall.toSecsSinceEpoch(), when.toSecsSinceEpoch());
        QVERIFY(m_listener.failures.isEmpty());
        QVERIFY(m_outlet.messages.isEmpty());
        QCOMPARE(k->heldRecordings() + k->heldRows(), 0);
    }

    void whatCannotBeSavedIsHeldToldOnceAndKeptInTheOrderOfTheCalls()
    {
        auto k = keeper();
        blockRecordings();
        const QDateTime first = QDateTime::currentDateTime().addSecs(-60);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("could not save the recording"));
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("could not save the recording"));
        k->keep(first, "a.wav", audio(1));
        k->keep(first.addSecs(20), "b.wav", audio(2));
        QCOMPARE(k->heldRecordings(), 2);
        QCOMPARE(m_listener.failures,
                 QStringList({status::RecordingNotSaved, status::RecordingNotSaved}));
        // The same reason is told once, with the line's name and the call's time.
        QCOMPARE(m_outlet.messages.size(), 1);
        QVERIFY2(m_outlet.messages.first().contains("Line A"), qPrintable(m_outlet.messages[0]));

        unblockRecordings();
        k->retry();
        QCOMPARE(k->heldRecordings(), 0);
        QCOMPARE(m_listener.recoveries, 1);
        const QList<recmessage::CallRow> rows = rowsOn(first.date());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].incomingCallFile, QStringLiteral("a.wav"));
        QCOMPARE(rows[1].incomingCallFile, QStringLiteral("b.wav"));
        QCOMPARE(test::readFile(QDir(recFolder()).filePath("b.wav")).mid(44), audio(2));

        // A later problem of the same kind is told again.
        blockRecordings();
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("could not save the recording"));
        k->keep(first.addSecs(40), "c.wav", audio(3));
        QCOMPARE(m_outlet.messages.size(), 2);
        unblockRecordings();
        k->retry();
    }

    void aRowThatCannotBeWrittenWaitsWhileItsFileIsKept()
    {
        auto k = keeper();
        const QString db = m_home->filePath("velmoc.mdb");
        QVERIFY(QDir().mkpath(db)); // a folder where the database should be
        const QDateTime when = QDateTime::currentDateTime().addSecs(-10);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("could not list it"));
        k->keep(when, "x.wav", audio(4));
        QVERIFY(QFileInfo::exists(QDir(recFolder()).filePath("x.wav")));
        QCOMPARE(k->heldRows(), 1);
        QCOMPARE(m_listener.failures, QStringList{status::CallNotLogged});

        QVERIFY(QDir(db).removeRecursively());
        // The next recording lists the waiting row first.
        k->keep(when.addSecs(5), "y.wav", audio(5));
        const QList<recmessage::CallRow> rows = rowsOn(when.date());
        QCOMPARE(rows.size(), 2);
        QCOMPARE(rows[0].incomingCallFile, QStringLiteral("x.wav"));
        QCOMPARE(m_listener.recoveries, 1);
    }

    void whatIsHeldAtTheEndReachesTheListAtTheNextStart()
    {
        auto k = keeper();
        blockRecordings();
        const QDateTime when = QDateTime::currentDateTime().addSecs(-120);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("could not save the recording"));
        k->keep(when, "late.wav", audio(6));
        QTest::ignoreMessage(QtCriticalMsg,
                             QRegularExpression("until the line server next starts"));
        k.reset(); // the line ends with the recording still held

        const QDir unsaved(RecordingKeeper::unsavedRecordingsFolder(m_home->path()));
        QVERIFY2(unsaved.path().startsWith(m_state->path()), qPrintable(unsaved.path()));
        QCOMPARE(unsaved.entryList({"*.wav"}, QDir::Files), QStringList{"late.wav"});
        QCOMPARE(test::readFile(unsaved.filePath("program-folder.txt")).trimmed(),
                 QFile::encodeName(m_home->path()));

        // The next run: the recording comes home and is listed when the call came.
        unblockRecordings();
        QCOMPARE(RecordingKeeper::recoverUnloggedRecordings(m_home->path(),
                                                            QDateTime::currentDateTime()),
                 1);
        QVERIFY(!unsaved.exists());
        QCOMPARE(test::readFile(QDir(recFolder()).filePath("late.wav")).mid(44), audio(6));
        const QList<recmessage::CallRow> rows = rowsOn(when.date());
        QCOMPARE(rows.size(), 1);
        QVERIFY(qAbs(rows.first().incomingCall.secsTo(when)) <= 1);
    }

    void aLongOutageSendsTheOldestRecordingsToTheLastResort()
    {
        auto k = keeper();
        blockRecordings();
        const QDateTime when = QDateTime::currentDateTime().addSecs(-3600);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("."));
        for (int i = 0; i <= RecordingKeeper::kMaxHeld; ++i) {
            QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("."));
            k->keep(when.addSecs(i), QStringLiteral("r%1.wav").arg(i), audio(char(i)));
        }
        QCOMPARE(k->heldRecordings(), RecordingKeeper::kMaxHeld);
        const QDir unsaved(RecordingKeeper::unsavedRecordingsFolder(m_home->path()));
        QCOMPARE(unsaved.entryList({"*.wav"}, QDir::Files), QStringList{"r0.wav"});
        unblockRecordings();
        k->retry();
        QCOMPARE(k->heldRecordings(), 0);
        QCOMPARE(rowsOn(when.date()).size(), int(RecordingKeeper::kMaxHeld));
    }
};

QTEST_GUILESS_MAIN(TestRecordingKeeper)
#include "TestRecordingKeeper.moc"
