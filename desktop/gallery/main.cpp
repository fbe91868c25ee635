// orvane-gallery: pictures of the desktop's windows for the documentation. Opens the main
// window and each settings dialog as a user would first see them, and saves each as a PNG
// in the folder given. Run by scripts/screenshot on a virtual display; not installed.

#include "database/RecMessageTable.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Translations.h"
#include "desktop/dialogs/NumberDialog.h"
#include "desktop/dialogs/frmSplash.h"
#include "desktop/dialogs/frmVoice.h"
#include "desktop/fax/frmFax.h"
#include "desktop/main/frmMain.h"
#include "desktop/records/frmRecordList.h"
#include "desktop/run/DesktopRun.h"
#include "platform/notify/Notifications.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

namespace {

// Added to every picture's name: "-dark" in the dark theme, "-150" at 150 % scale.
QString& suffix()
{
    static QString s;
    return s;
}

// The dark theme as a desktop gives it (Fusion with a dark palette): the windows take their
// colours from the palette.
void useDarkTheme()
{
    QApplication::setStyle(QStringLiteral("Fusion"));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::AlternateBase, QColor(45, 45, 48));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(55, 55, 58));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    dark.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    dark.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    QApplication::setPalette(dark);
}

bool save(QWidget* window, const QDir& folder, const QString& baseName)
{
    const QString name = baseName + suffix();
    window->show();
    if (!QTest::qWaitForWindowExposed(window)) {
        std::fprintf(stderr, "orvane-gallery: %s was never shown\n", qPrintable(name));
        return false;
    }
    QApplication::processEvents();
    const QString file = folder.filePath(name + QStringLiteral(".png"));
    if (!window->grab().save(file)) {
        std::fprintf(stderr, "orvane-gallery: cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("wrote %s\n", qPrintable(file));
    return true;
}

// A morning's calls, as the line server logs them, for the list's picture.
void logSampleCalls()
{
    orvane::Database db;
    if (!db.OpenDatabase(orvane::programfolder::path()))
        return;
    const QDate today = QDate::currentDate();
    const struct {
        int h, m, s;
        const char* number;
        const char* name;
        const char* line;
        int seconds;
        const char* keys;
    } calls[] = {{8, 12, 5, "5550100", "", "Front desk", 42, ""},
                 {9, 3, 41, "5550123", "Ann Example", "Front desk", 17, "#"},
                 {10, 27, 9, "", "", "Workshop", 60, ""},
                 {11, 45, 30, "5550188", "Bob Sample", "Workshop", 8, "#2"}};
    int n = 0;
    for (const auto& c : calls)
        orvane::recmessage::logCall(
            db, QDateTime(today, QTime(c.h, c.m, c.s)), QStringLiteral("Rec-%1.wav").arg(++n),
            {QString::fromLatin1(c.number), QString::fromLatin1(c.name),
             QString::fromLatin1(c.line), c.seconds, QString::fromLatin1(c.keys)});
}

// The notification of a new message, as the program sends it; the desktop's notification
// server shows it (scripts/screenshot photographs the screen then). Waits for the answer.
bool notifySample()
{
    orvane::Notifications notifications(QDBusConnection::sessionBus());
    uint id = 0;
    bool answered = false;
    notifications.notify(
        orvane::Notifications::messageNote(
            QStringLiteral("5550100"), QString(), QStringLiteral("Front desk"), 42,
            QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))),
        [&](uint sent) {
            id = sent;
            answered = true;
        });
    if (!QTest::qWaitFor([&] { return answered; }, 10000))
        std::fprintf(stderr, "orvane-gallery: the notification server did not answer\n");
    if (id == 0)
        std::fprintf(stderr, "orvane-gallery: no notification server took the notification\n");
    else
        std::printf("notified %u\n", id);
    return id != 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvane-gallery OUTPUT-FOLDER\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "orvane-gallery: cannot make %s\n", argv[1]);
        return 1;
    }
    // The pictures in the system locale's language, as the program shows it.
    orvane::translations::install();
    if (qEnvironmentVariable("ORVANE_GALLERY_THEME") == QLatin1String("dark")) {
        useDarkTheme();
        suffix() += QStringLiteral("-dark");
    }
    if (const double scale = qEnvironmentVariable("QT_SCALE_FACTOR").toDouble(); scale > 1)
        suffix() += QStringLiteral("-%1").arg(qRound(scale * 100));
    if (const orvane::Status prepared = orvane::programfolder::prepare(); !prepared) {
        std::fprintf(stderr, "orvane-gallery: %s\n", qPrintable(prepared.description()));
        return 1;
    }

    orvane::DesktopRun run;
    orvane::frmMain main(run);
    bool ok = save(&main, folder, QStringLiteral("main-window"));
    // As a user at 1280x800 sees it maximised (the size a maximised window has there, the
    // panel's height aside).
    const QSize first = main.size();
    main.resize(1280, 760);
    ok = save(&main, folder, QStringLiteral("main-window-1280x800")) && ok;
    main.resize(first);
    orvane::frmRings rings(&main);
    ok = save(&rings, folder, QStringLiteral("rings-dialog")) && ok;
    rings.hide();
    orvane::frmRecord record(&main);
    ok = save(&record, folder, QStringLiteral("record-time-dialog")) && ok;
    record.hide();
    orvane::frmVoice voice(&main);
    ok = save(&voice, folder, QStringLiteral("voice-dialog")) && ok;
    voice.hide();
    orvane::frmSplash about(&main);
    ok = save(&about, folder, QStringLiteral("about-window")) && ok;
    about.hide();
    orvane::frmFax fax(run, &main);
    ok = save(&fax, folder, QStringLiteral("fax-window")) && ok;
    fax.findChild<QTabWidget*>(QStringLiteral("SSTab1"))->setCurrentIndex(1);
    ok = save(&fax, folder, QStringLiteral("fax-window-receive")) && ok;
    fax.hide();
    logSampleCalls();
    orvane::frmRecordList calls(&main);
    calls.openOnToday();
    ok = save(&calls, folder, QStringLiteral("recorded-calls")) && ok;
    calls.hide();
    if (qEnvironmentVariableIsSet("ORVANE_GALLERY_NOTIFY"))
        ok = notifySample() && ok;
    return ok ? 0 : 1;
}
