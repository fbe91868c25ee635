// orvane, the desktop program: chooses lines, starts and stops answering, shows every line
// in its status grid and keeps the recorded calls. Takes no arguments; a second copy ends
// at once.

#include "desktop/common/Messages.h"
#include "desktop/common/ProgramFolder.h"
#include "desktop/main/LineServer.h"
#include "desktop/main/frmMain.h"

#include "platform/QuitOnSignals.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("orvane"));
    QApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("org.orvane.Orvane"));

    // One copy per session: the first owns the name, a second ends here, silently.
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString name =
        qEnvironmentVariable("ORVANE_DESKTOP_SERVICE", QStringLiteral("org.orvane.Orvane"));
    if (bus.isConnected()) {
        const auto reply =
            bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                             QDBusConnectionInterface::DontAllowReplacement);
        if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered)
            return 0;
    }

    orvane::quitOnTerminationSignals(app);
    const orvane::Status folder = orvane::programfolder::prepare();
    orvane::frmMain window;
    window.show();
    if (!bus.isConnected())
        orvane::Messages::inform(
            QStringLiteral("There is no session bus: the line server cannot be "
                           "reached and no line can be answered."),
            QStringLiteral("Answering Machine"));
    if (!folder)
        orvane::Messages::inform(folder.description(), QStringLiteral("Answering Machine"));
    window.lineServer().launch();
    return app.exec();
}
