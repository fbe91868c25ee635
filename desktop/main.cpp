// orvane, the desktop program: chooses lines, starts and stops answering, shows every line
// in its status grid and keeps the recorded calls. Takes --help, --version, and --play or
// --show with a recording's file name (a notification's actions); a second copy hands
// these to the first one, brings its window to the front and ends.

#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/common/Translations.h"
#include "desktop/main/SingleInstance.h"
#include "desktop/main/frmMain.h"
#include "desktop/run/DesktopRun.h"
#include "desktop/run/LineServer.h"

#include "platform/QuitOnSignals.h"

#include <QApplication>
#include <QDBusConnection>

#include <cstdio>
#include <cstring>
#include <utility>

namespace {

// Answered before anything else, so that no display is needed for them.
bool answeredTheCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            std::printf("Usage: orvane\n\n"
                        "Orvane, the answering machine and fax machine of this desktop. It\n"
                        "starts its line server (tolvex) and shows its window; a second start\n"
                        "brings the running window to the front.\n\n"
                        "Options:\n"
                        "  --play FILE    Play the recorded call FILE (its file name in\n"
                        "                 Rec-Files/) in the recorded calls window.\n"
                        "  --show FILE    Show the recorded call FILE in that window.\n"
                        "  -h, --help     Show this help and end.\n"
                        "  -v, --version  Show the version and end.\n\n"
                        "The program folder is $ORVANE_HOME, or ~/.local/share/Orvane.\n");
            return true;
        }
        if (!std::strcmp(argv[i], "--version") || !std::strcmp(argv[i], "-v")) {
            std::printf("orvane %s\n", ORVANE_VERSION);
            return true;
        }
    }
    return false;
}

// --play FILE or --show FILE: the action and the file; empty when neither is given.
std::pair<QString, QString> callAction(int argc, char** argv)
{
    for (int i = 1; i + 1 < argc; ++i) {
        if (!std::strcmp(argv[i], "--play"))
            return {QStringLiteral("play"), QString::fromLocal8Bit(argv[i + 1])};
        if (!std::strcmp(argv[i], "--show"))
            return {QStringLiteral("show"), QString::fromLocal8Bit(argv[i + 1])};
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    if (answeredTheCommandLine(argc, argv))
        return 0;
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.orvane.Orvane"));
    // In the user's language where a translation is done; English otherwise.
    orvane::translations::install();

    // One copy per session: the first owns the name; a second shows the first and ends.
    QDBusConnection bus = QDBusConnection::sessionBus();
    orvane::SingleInstance instance(bus, orvane::SingleInstance::serviceName());
    const std::pair<QString, QString> asked = callAction(argc, argv);
    const QString action = asked.first;
    const QString file = asked.second;
    if (!instance.claim()) {
        if (!action.isEmpty())
            instance.activateActionOnRunningCopy(action, file);
        instance.activateRunningCopy(true);
        return 0;
    }

    orvane::quitOnTerminationSignals(app);
    const orvane::Status folder = orvane::programfolder::prepare();
    // The run outlives its window: the window lets go of its lines first, then the run
    // ends the line server it started.
    orvane::DesktopRun run;
    orvane::frmMain window(run);
    window.endsTheProgram();
    instance.onActivate([&window] { window.restoreFromTray(); });
    instance.onAction([&window](const QString& name, const QString& call) {
        window.restoreFromTray();
        window.showCall(call, name == QLatin1String("play"));
    });
    window.show();
    if (!bus.isConnected())
        orvane::Messages::inform(QCoreApplication::translate(
                                     "main", "There is no session bus: the line server cannot be "
                                             "reached and no line can be answered."),
                                 QCoreApplication::translate("main", "Answering Machine"));
    if (!folder)
        orvane::Messages::inform(folder.description(),
                                 QCoreApplication::translate("main", "Answering Machine"));
    run.lineServer().launch();
    if (!action.isEmpty())
        QMetaObject::invokeMethod(
            &window,
            [&window, action, file] { window.showCall(file, action == QLatin1String("play")); },
            Qt::QueuedConnection);
    return app.exec();
}
