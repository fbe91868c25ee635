// orvane-gallery: pictures of the desktop's windows for the documentation. Opens the main
// window and each settings dialog as a user would first see them, and saves each as a PNG
// in the folder given. Run by scripts/screenshot on a virtual display; not installed.

#include "desktop/common/ProgramFolder.h"
#include "desktop/dialogs/NumberDialog.h"
#include "desktop/dialogs/frmSplash.h"
#include "desktop/dialogs/frmVoice.h"
#include "desktop/fax/frmFax.h"
#include "desktop/main/frmMain.h"
#include "desktop/run/DesktopRun.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QTabWidget>
#include <QTest>

#include <cstdio>

namespace {

bool save(QWidget* window, const QDir& folder, const QString& name)
{
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
    if (const orvane::Status prepared = orvane::programfolder::prepare(); !prepared) {
        std::fprintf(stderr, "orvane-gallery: %s\n", qPrintable(prepared.description()));
        return 1;
    }

    orvane::DesktopRun run;
    orvane::frmMain main(run);
    bool ok = save(&main, folder, QStringLiteral("main-window"));
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
    return ok ? 0 : 1;
}
