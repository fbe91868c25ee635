// The recorded calls browser on a large database: 1,000,000 recorded calls spread over a
// year, and one day with 10,000 calls. Prints the time of the day query (open, query,
// close, as the browser does it) for ordinary days, and the time to fill the browser's grid
// for an ordinary day and for the 10,000-call day (medians of several runs).
//
//   QT_QPA_PLATFORM=offscreen build/bin/bench_records

#include "database/RecMessageTable.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/records/frmRecordList.h"

#include <QApplication>
#include <QDateEdit>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

using namespace orvane;

namespace {

constexpr int kCalls = 1'000'000;
constexpr int kBusyDayCalls = 10'000;

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[v.size() / 2];
}

void populate(const QString& folder, const QDate& first, const QDate& busyDay)
{
    {
        Database db; // creates the file and its tables
        db.OpenDatabase(folder);
    }
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "populate");
    db.setDatabaseName(Database::filePath(folder));
    db.open();
    QSqlQuery q(db);
    q.exec("BEGIN");
    q.prepare("INSERT INTO rec_message (INCOMING_CALL, INCOMING_CALL_FILE) VALUES (?, ?)");
    QRandomGenerator random(42);
    auto add = [&](const QDateTime& when, int n) {
        q.addBindValue(when.toString("yyyy-MM-ddTHH:mm:ss"));
        q.addBindValue(QStringLiteral("%1-%2.wav").arg(when.toString("d-M-yyyy--HH-mm-ss")).arg(n));
        q.exec();
    };
    for (int n = 0; n < kCalls; ++n)
        add(QDateTime(first.addDays(random.bounded(365)),
                      QTime(0, 0).addSecs(random.bounded(86400))),
            n);
    for (int n = 0; n < kBusyDayCalls; ++n)
        add(QDateTime(busyDay, QTime(0, 0).addSecs(random.bounded(86400))), n);
    q.exec("COMMIT");
    q = QSqlQuery();
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("populate");
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("ORVANE_HOME", QFile::encodeName(home.path()));
    const QDate first(2026, 1, 1), busyDay(2026, 7, 4);

    QElapsedTimer t;
    t.start();
    populate(home.path(), first, busyDay);
    std::printf("Recorded calls: %d over a year, plus %d on %s (made in %.1f s)\n", kCalls,
                kBusyDayCalls, qPrintable(busyDay.toString(Qt::ISODate)), t.elapsed() / 1000.0);

    // The day query, as the browser runs it: a connection of its own each time.
    QVector<double> queryMs;
    qsizetype rowsPerDay = 0;
    QRandomGenerator random(7);
    for (int i = 0; i < 50; ++i) {
        const QDate day = first.addDays(random.bounded(365));
        if (day == busyDay)
            continue;
        t.restart();
        Database db;
        db.OpenDatabase(home.path());
        rowsPerDay = recmessage::listDay(db, day).value().size();
        db.CloseDatabase();
        queryMs.append(t.nsecsElapsed() / 1e6);
    }
    std::printf(
        "day query, ordinary day (~%lld calls): median %.2f ms over %lld days (target < 20 ms)\n",
        qlonglong(rowsPerDay), median(queryMs), qlonglong(queryMs.size()));
    // Where that time goes: opening the connection alone.
    QVector<double> openMs;
    for (int i = 0; i < 20; ++i) {
        t.restart();
        Database db;
        db.OpenDatabase(home.path());
        db.CloseDatabase();
        openMs.append(t.nsecsElapsed() / 1e6);
    }
    std::printf("  of which opening and closing the connection: median %.2f ms\n", median(openMs));

    // Filling the browser's grid.
    frmRecordList browser;
    browser.openOnToday();
    auto* picker = browser.findChild<QDateEdit*>("DTPicker1");
    auto* show = browser.findChild<QPushButton*>("cmdShow");
    for (const auto& [label, day] :
         {std::pair{"ordinary day", first.addDays(100)}, std::pair{"10,000-call day", busyDay}}) {
        QVector<double> fillMs;
        for (int i = 0; i < 5; ++i) {
            picker->setDate(day);
            t.restart();
            show->click();
            fillMs.append(t.nsecsElapsed() / 1e6);
        }
        std::printf(
            "fill the browser, %s (%d rows): median %.1f ms (target < 1000 ms for 10,000)\n", label,
            browser.list().grid()->rows() - 1, median(fillMs));
    }
    return 0;
}
