// The answering database: its file and tables, every statement, day ranges, values with
// quotes in them, and many writers at once.

#include "database/DatabaseLocation.h"
#include "database/DateTimeText.h"
#include "database/MessagePlayTable.h"
#include "database/RecMessageTable.h"
#include "database/RecieveFaxTable.h"
#include "database/StorageRoot.h"

#include <QDir>

#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>

using namespace orvane;

namespace {

QDateTime at(int y, int m, int d, int h, int min, int s)
{
    return QDateTime(QDate(y, m, d), QTime(h, min, s));
}

QStringList files(const QList<recmessage::CallRow>& rows)
{
    QStringList names;
    for (const auto& r : rows)
        names << r.incomingCallFile;
    return names;
}

// A database file in `folder` as an older program left it: made by `statements` alone.
// The first statement that fails, or empty.
QString writeOldFile(const QString& folder, const QList<const char*>& statements)
{
    QString failed;
    {
        QSqlDatabase old = QSqlDatabase::addDatabase("QSQLITE", "older program");
        old.setDatabaseName(Database::filePath(folder));
        if (!old.open())
            return QStringLiteral("cannot open");
        QSqlQuery q(old);
        for (const char* sql : statements)
            if (failed.isEmpty() && !q.exec(QString::fromLatin1(sql)))
                failed = QString::fromLatin1(sql);
        q.finish();
        old.close();
    }
    QSqlDatabase::removeDatabase("older program");
    return failed;
}

} // namespace

class TestDatabase : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private Q_SLOTS:
    void theFileAndItsTablesAreCreatedWhenMissing()
    {
        QTemporaryDir dir;
        QVERIFY(!QFileInfo::exists(Database::filePath(dir.path())));
        Database db;
        QVERIFY(db.OpenDatabase(dir.path()));
        QVERIFY(QFileInfo::exists(dir.filePath("velmoc.mdb")));
        QVERIFY(recmessage::listDay(db, QDate::currentDate()).isOk());
        QVERIFY(messageplay::listAll(db).isOk());
        QVERIFY(recievefax::listAll(db, dir.path()).isOk());
        db.CloseDatabase();
        QVERIFY(!db.isOpen());
        QVERIFY(!recievefax::listAll(db, dir.path()).isOk());

        Database nowhere;
        QCOMPARE(nowhere.OpenDatabase(dir.filePath("missing")).code(), err::FileNotFound);
        QVERIFY(!nowhere.isOpen());
    }

    void callsAreFoundUnderTheirCalendarDay()
    {
        Database db;
        QVERIFY(db.OpenDatabase(m_dir.path()));
        QVERIFY(recmessage::logCall(db, at(2026, 3, 9, 23, 59, 59), "last.wav"));
        QVERIFY(recmessage::logCall(db, at(2026, 3, 10, 0, 0, 0), "midnight.wav"));
        QVERIFY(recmessage::logCall(db, at(2026, 3, 10, 12, 30, 0), "noon.wav"));
        QVERIFY(recmessage::logCall(db, at(2026, 3, 10, 8, 15, 0), "morning.wav"));

        QCOMPARE(files(recmessage::listDay(db, QDate(2026, 3, 9)).value()),
                 QStringList{"last.wav"});
        // By time of day, whatever the order they were logged in.
        QCOMPARE(files(recmessage::listDay(db, QDate(2026, 3, 10)).value()),
                 QStringList({"midnight.wav", "morning.wav", "noon.wav"}));
        QVERIFY(recmessage::listDay(db, QDate(2026, 3, 11)).value().isEmpty());
        const auto row = recmessage::listDay(db, QDate(2026, 3, 9)).value().first();
        QCOMPARE(row.incomingCall, at(2026, 3, 9, 23, 59, 59));

        // Stored as ISO 8601 text, whatever the user's regional settings.
        const auto raw = db.query(
            "SELECT INCOMING_CALL FROM rec_message WHERE INCOMING_CALL_FILE = ?", {"last.wav"});
        QCOMPARE(raw.value().first().first().toString(), QStringLiteral("2026-03-09T23:59:59"));
    }

    void deletingByFilesRemovesJustThose()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.OpenDatabase(dir.path()));
        QVERIFY(recmessage::logCall(db, at(2026, 5, 1, 9, 0, 0), "twice.wav"));
        QVERIFY(recmessage::logCall(db, at(2026, 5, 2, 9, 0, 0), "twice.wav"));
        QVERIFY(recmessage::logCall(db, at(2026, 5, 2, 10, 0, 0), "other.wav"));
        QVERIFY(recmessage::logCall(db, at(2026, 5, 3, 10, 0, 0), "third.wav"));
        QVERIFY(recmessage::deleteByFiles(db, {"twice.wav", "no such file.wav"}));
        QVERIFY(recmessage::listDay(db, QDate(2026, 5, 1)).value().isEmpty());
        QCOMPARE(files(recmessage::listDay(db, QDate(2026, 5, 2)).value()),
                 QStringList{"other.wav"});
        QVERIFY(recmessage::deleteByFiles(db, {}));

        // More names than one statement binds.
        QStringList many;
        for (int i = 0; i < 1203; ++i) {
            many.append(QStringLiteral("m%1.wav").arg(i));
            QVERIFY(recmessage::logCall(db, at(2026, 5, 4, 0, 0, 0).addSecs(i), many.last()));
        }
        QCOMPARE(recmessage::listDay(db, QDate(2026, 5, 4)).value().size(), 1203);
        QVERIFY(recmessage::deleteByFiles(db, many.mid(1)));
        QCOMPARE(files(recmessage::listDay(db, QDate(2026, 5, 4)).value()), QStringList{"m0.wav"});
        QCOMPARE(files(recmessage::listDay(db, QDate(2026, 5, 3)).value()),
                 QStringList{"third.wav"});
    }

    void messagesKeepTheirTextExactly()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.OpenDatabase(dir.path()));
        const QString quoted = QStringLiteral("It's Bob's line; say \"hi\" -- or ' OR '1'='1");
        QVERIFY(messageplay::add(db, quoted));
        QVERIFY(messageplay::add(db, QStringLiteral("Second, plain.")));
        const auto all = messageplay::listAll(db).value();
        QCOMPARE(all.size(), 2);
        QCOMPARE(all[0].message, quoted);
        QVERIFY(all[0].id != all[1].id);
        QCOMPARE(messageplay::read(db, all[0].id).value()->message, quoted);

        QVERIFY(messageplay::change(db, all[1].id, QStringLiteral("Changed.")));
        QCOMPARE(messageplay::read(db, all[1].id).value()->message, QStringLiteral("Changed."));
        QVERIFY(messageplay::remove(db, all[0].id));
        QVERIFY(!messageplay::read(db, all[0].id).value().has_value());
        // An id that is gone: nothing changes, and it is no error.
        QVERIFY(messageplay::change(db, all[0].id, QStringLiteral("ghost")));
        QVERIFY(messageplay::remove(db, all[0].id));
        QCOMPARE(messageplay::listAll(db).value().size(), 1);
        // Ids are not reused after a delete.
        QVERIFY(messageplay::add(db, QStringLiteral("Third.")));
        QVERIFY(messageplay::listAll(db).value().last().id > all[1].id);
    }

    void receivedFaxesAreListedAndRemoved()
    {
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.OpenDatabase(dir.path()));
        QVERIFY(recievefax::logFax(db, "/home/o'neil/Faxes/fax-1.tif"));
        QVERIFY(recievefax::logFax(db, "/home/o'neil/Faxes/fax-2.tif"));
        QVERIFY(recievefax::logFax(db, "/srv/fax-3.tif"));
        QCOMPARE(recievefax::listAll(db, dir.path()).value(),
                 QStringList({"/home/o'neil/Faxes/fax-1.tif", "/home/o'neil/Faxes/fax-2.tif",
                              "/srv/fax-3.tif"}));
        // Each row says which server took it, and a fax on which line.
        QVERIFY(recievefax::logFax(db, "/srv/fax-4.tif", "Front desk"));
        QCOMPARE(
            db.query("SELECT LINE, SERVER FROM recieve_fax WHERE sFileName = ?", {"/srv/fax-4.tif"})
                .value()
                .first(),
            DbRow({QStringLiteral("Front desk"), serverName()}));
        QVERIFY(recmessage::logCall(db, QDateTime::currentDateTime(), "call.wav"));
        QCOMPARE(db.query("SELECT SERVER FROM rec_message").value().first().first().toString(),
                 serverName());
        QVERIFY(!serverName().isEmpty());
        QVERIFY(recievefax::remove(db, dir.path(), "/srv/fax-4.tif"));
        QVERIFY(recievefax::remove(db, dir.path(), "/home/o'neil/Faxes/fax-2.tif"));
        QCOMPARE(recievefax::listAll(db, dir.path()).value().size(), 2);
        QVERIFY(recievefax::removeAll(db));
        QVERIFY(recievefax::listAll(db, dir.path()).value().isEmpty());
    }

    void aSharedStorageRootHoldsTheFilesAndRowsNameThemRelatively()
    {
        // Two program folders (two machines) reach one root through their own mounts: a fax
        // filed under the root is listed from either at its own path there.
        QTemporaryDir programs, mountA, mountB;
        const QString homeA = programs.filePath("a"), homeB = programs.filePath("b");
        QVERIFY(QDir().mkpath(homeA) && QDir().mkpath(homeB));
        QVERIFY(QDir().mkpath(mountB.filePath("Fax-Files")));
        QCOMPARE(storage::recordingsFolder(homeA), homeA + "/Rec-Files"); // none configured
        QCOMPARE(storage::stored(homeA, homeA + "/Fax-Files/x.tif"), homeA + "/Fax-Files/x.tif");

        QFile conf(programs.filePath("orvane.conf"));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write(("storage = " + mountA.path() + "/./\n").toUtf8());
        conf.close();
        qputenv("ORVANE_CONF", conf.fileName().toUtf8());
        QCOMPARE(storage::root(homeA), mountA.path());
        QCOMPARE(storage::recordingsFolder(homeA), mountA.path() + "/Rec-Files");
        QCOMPARE(storage::answeredFaxesFolder(homeA), mountA.path() + "/Fax-Files");
        const QString fax = mountA.path() + "/Fax-Files/fax-1.tif";
        QCOMPARE(storage::stored(homeA, fax), QStringLiteral("Fax-Files/fax-1.tif"));
        // Beside the root, not under it: a name that merely starts like it stays whole.
        QCOMPARE(storage::stored(homeA, mountA.path() + "-other/f.tif"),
                 mountA.path() + "-other/f.tif");

        Database db;
        QVERIFY(db.OpenDatabase(homeA));
        QVERIFY(recievefax::logFax(db, storage::stored(homeA, fax)));
        QVERIFY(recievefax::logFax(db, "/home/someone/Faxes/job.tif"));
        QCOMPARE(recievefax::listAll(db, homeA).value(),
                 QStringList({fax, "/home/someone/Faxes/job.tif"}));

        // The other machine names its mount in the environment, which goes before the file.
        qputenv("ORVANE_STORAGE", mountB.path().toUtf8());
        QCOMPARE(recievefax::listAll(db, homeB).value().first(),
                 mountB.path() + "/Fax-Files/fax-1.tif");
        QVERIFY(recievefax::remove(db, homeB, mountB.path() + "/Fax-Files/fax-1.tif"));
        QCOMPARE(recievefax::listAll(db, homeB).value(),
                 QStringList({"/home/someone/Faxes/job.tif"}));
        // A relative root is taken from the program folder.
        qputenv("ORVANE_STORAGE", "shared");
        QCOMPARE(storage::root(homeB), homeB + "/shared");
        qunsetenv("ORVANE_STORAGE");
        qunsetenv("ORVANE_CONF");
        QCOMPARE(storage::root(homeA), homeA);
    }

    void aCallIsListedOnceHoweverOftenItIsLogged()
    {
        // A row written again (its commit never confirmed), or a recording that another
        // server listed while its own still held the row.
        QTemporaryDir dir;
        Database db;
        QVERIFY(db.OpenDatabase(dir.path()));
        recmessage::CallDetails details;
        details.seconds = 7;
        QVERIFY(recmessage::logCall(db, at(2026, 12, 9, 8, 0, 0), "once.wav", details));
        QVERIFY(recmessage::logCall(db, at(2026, 12, 9, 8, 0, 0), "once.wav", details));
        QVERIFY(recmessage::logCall(db, at(2026, 12, 9, 8, 0, 5), "once.wav"));
        QVERIFY(recmessage::logCall(db, at(2026, 12, 9, 8, 1, 0), "other.wav"));
        const auto day = recmessage::listDay(db, QDate(2026, 12, 9)).value();
        QCOMPARE(files(day), QStringList({"once.wav", "other.wav"}));
        QCOMPARE(day.first().details.seconds, 7);
        QCOMPARE(day.last().details.seconds, -1);
    }

    void aFileThatKeptCallersGainsTheKeysWithItsRows()
    {
        QTemporaryDir dir;
        const QString failed = writeOldFile(
            dir.path(),
            {"CREATE TABLE rec_message (INCOMING_CALL TEXT NOT NULL, INCOMING_CALL_FILE "
             "TEXT NOT NULL, CALLER_NUMBER TEXT, CALLER_NAME TEXT, LINE TEXT, SECONDS "
             "INTEGER, HEARD INTEGER)",
             "CREATE INDEX rec_message_by_day ON rec_message (INCOMING_CALL, "
             "INCOMING_CALL_FILE)",
             "CREATE TABLE message_play (id INTEGER PRIMARY KEY AUTOINCREMENT, message TEXT "
             "NOT NULL)",
             "CREATE TABLE recieve_fax (sFileName TEXT NOT NULL)",
             "INSERT INTO rec_message VALUES ('2026-12-01T09:00:00', 'kept.wav', "
             "'5550100', 'Ann', 'Front desk', 12, 0)",
             "PRAGMA user_version = 1"});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        Database db;
        QVERIFY(db.OpenDatabase(dir.path()));
        QCOMPARE(db.query("PRAGMA user_version").value().first().first().toInt(), 3);
        const QList<recmessage::CallRow> rows = recmessage::listDay(db, QDate(2026, 12, 1)).value();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].details.callerNumber, QStringLiteral("5550100"));
        QCOMPARE(rows[0].details.seconds, 12);
        QVERIFY(!rows[0].heard);
        QVERIFY(rows[0].details.keys.isEmpty());
    }

    void aFileOfTheFirstSchemaIsBroughtUpToDateWithItsRows()
    {
        QTemporaryDir dir;
        // A file as the program wrote it before calls kept their caller.
        const QString failed = writeOldFile(
            dir.path(),
            {"CREATE TABLE rec_message (INCOMING_CALL TEXT NOT NULL, INCOMING_CALL_FILE "
             "TEXT NOT NULL)",
             "CREATE INDEX rec_message_by_day ON rec_message (INCOMING_CALL, "
             "INCOMING_CALL_FILE)",
             "CREATE TABLE message_play (id INTEGER PRIMARY KEY AUTOINCREMENT, message TEXT "
             "NOT NULL)",
             "CREATE TABLE recieve_fax (sFileName TEXT NOT NULL)",
             "INSERT INTO rec_message VALUES ('2026-12-01T09:00:00', 'old-1.wav')",
             "INSERT INTO rec_message VALUES ('2026-12-01T10:00:00', 'old-2.wav')"});
        QVERIFY2(failed.isEmpty(), qPrintable(failed));

        for (int open = 0; open < 2; ++open) { // the second opening finds nothing to do
            Database db;
            QVERIFY(db.OpenDatabase(dir.path()));
            QCOMPARE(db.query("PRAGMA user_version").value().first().first().toInt(), 3);
            const QList<recmessage::CallRow> rows =
                recmessage::listDay(db, QDate(2026, 12, 1)).value();
            QCOMPARE(files(rows), QStringList({"old-1.wav", "old-2.wav"}));
            // What the old rows never knew is unknown, not made up.
            const recmessage::CallDetails old = recmessage::detailsOf(db, "old-1.wav").value();
            QVERIFY(old.callerNumber.isEmpty() && old.line.isEmpty());
            QCOMPARE(old.seconds, -1);
        }
        Database db;
        QVERIFY(db.OpenDatabase(dir.path()));
        QVERIFY(recmessage::logCall(db, at(2026, 12, 1, 11, 0, 0), "new.wav",
                                    {"5550100", "Ann O'Neil", "Front desk", 42, "1#"}));
        const recmessage::CallDetails kept = recmessage::detailsOf(db, "new.wav").value();
        QCOMPARE(kept.keys, QStringLiteral("1#"));
        QCOMPARE(kept.callerNumber, QStringLiteral("5550100"));
        QCOMPARE(kept.callerName, QStringLiteral("Ann O'Neil"));
        QCOMPARE(kept.line, QStringLiteral("Front desk"));
        QCOMPARE(kept.seconds, 42);
        const QList<recmessage::CallRow> day = recmessage::listDay(db, QDate(2026, 12, 1)).value();
        QCOMPARE(day.size(), 3);
        QCOMPARE(day.last().details.callerName, QStringLiteral("Ann O'Neil"));
        QVERIFY(!recmessage::detailsOf(db, "none.wav").isOk());

        // Only the new call waits to be heard: rows from before the flag are not counted,
        // and playing it (here twice) takes it off.
        QVERIFY(day.first().heard);
        QVERIFY(!day.last().heard);
        QCOMPARE(recmessage::countUnheard(db).value(), 1);
        QVERIFY(recmessage::markHeard(db, "new.wav"));
        QVERIFY(recmessage::markHeard(db, "new.wav"));
        QCOMPARE(recmessage::countUnheard(db).value(), 0);
        QCOMPARE(recmessage::timeOf(db, "new.wav").value(), at(2026, 12, 1, 11, 0, 0));
        QVERIFY(!recmessage::timeOf(db, "none.wav").isOk());
    }

    void manyConnectionsWriteAtOnce()
    {
        QTemporaryDir dir;
        { // the file exists before the writers start, as it does once any program ran
            Database db;
            QVERIFY(db.OpenDatabase(dir.path()));
        }
        constexpr int kWriters = 16, kRows = 25;
        std::atomic<int> failures{0};
        QList<QThread*> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.append(QThread::create([&, w] {
                for (int r = 0; r < kRows; ++r) {
                    Database db; // one connection per action, as the lines do
                    if (!db.OpenDatabase(dir.path()) ||
                        !recmessage::logCall(db, at(2026, 7, 1, 10, w, r),
                                             QString("w%1-r%2.wav").arg(w).arg(r)))
                        ++failures;
                }
            }));
            writers.last()->start();
        }
        for (QThread* t : writers) {
            QVERIFY(t->wait(60000));
            delete t;
        }
        QCOMPARE(failures.load(), 0);
        Database db;
        QVERIFY(db.OpenDatabase(dir.path()));
        QCOMPARE(recmessage::listDay(db, QDate(2026, 7, 1)).value().size(), kWriters * kRows);
    }

    void datesAreShownWithSecondsAndWithoutAZone()
    {
        const QString text = datetext::general(at(2026, 12, 6, 22, 33, 47));
        QVERIFY2(text.contains("33") && text.contains("47"), qPrintable(text));
        QVERIFY(text.contains(' '));
        QVERIFY(!text.contains("UTC") && !text.contains("GMT") && !text.contains("CET"));
        QCOMPARE(datetext::fromStored(datetext::toStored(at(2026, 1, 2, 3, 4, 5))),
                 at(2026, 1, 2, 3, 4, 5));
        QVERIFY(!datetext::fromStored("12/6/2026 10:33:12 PM").isValid());
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "TestDatabase.moc"
