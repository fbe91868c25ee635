// tolvex, the line server: serves one line object per telephone line to its clients on
// the session bus. It shows no window; it ends on SIGTERM or SIGINT, or when its session
// bus goes away (the session is over: nobody can reach its lines any more), releasing its
// lines and their SIP ports.

#include "line_server/bus/StandingLines.h"
#include "line_server/bus/TolvexServer.h"
#include "line_server/client/TolvexNames.h"
#include "line_server/line/LineLog.h"
#include "line_server/program/ServerLogging.h"
#include "platform/QuitOnSignals.h"
#include "platform/audio/AudioFormat.h"
#include "platform/speech/Speech.h"
#include "platform/telephony/Telephony.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Every line thread keeps a descriptor for its event loop: a server with many lines needs
// more than the usual soft limit of 1024.
void raiseDescriptorLimit()
{
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// The bus tells of its end with the Disconnected signal of its local path; should that not
// come through, a look once a second finds the connection closed all the same.
void quitWhenTheBusGoes(QCoreApplication& app, QDBusConnection& bus)
{
    auto quit = [&app, bus] {
        if (!bus.isConnected())
            app.quit();
    };
    bus.connect(QString(), QStringLiteral("/org/freedesktop/DBus/Local"),
                QStringLiteral("org.freedesktop.DBus.Local"), QStringLiteral("Disconnected"), &app,
                SLOT(quit()));
    auto* watch = new QTimer(&app);
    watch->setInterval(1000);
    QObject::connect(watch, &QTimer::timeout, &app, quit);
    watch->start();
}

// A line server carries a thread per line; what each thread costs beside the line's own
// objects is most of an idle line's memory: glib's main context per thread, and glibc's
// cache of freed blocks per thread. The first goes with Qt's own event dispatcher; the
// second can only be turned off when the program starts, so the server starts itself once
// more with it off (about 24 KiB an idle line instead of 45). Should that fail, it runs as
// it is.
void startLean(char** argv)
{
    if (std::getenv("ORVANE_TOLVEX_LEAN"))
        return;
    setenv("ORVANE_TOLVEX_LEAN", "1", 1);
    std::string tunables = std::getenv("GLIBC_TUNABLES") ? std::getenv("GLIBC_TUNABLES") : "";
    if (tunables.find("glibc.malloc.tcache_count") == std::string::npos) {
        tunables += tunables.empty() ? "" : ":";
        tunables += "glibc.malloc.tcache_count=0";
        setenv("GLIBC_TUNABLES", tunables.c_str(), 1);
        // By the program's own path: started through /proc/self/exe it would be called
        // "exe" in ps, pgrep and the journal.
        char self[PATH_MAX] = {};
        const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
        if (length > 0)
            execv(self, argv);
        execv("/proc/self/exe", argv);
    }
}

} // namespace

int main(int argc, char** argv)
{
    startLean(argv);
    qputenv("QT_NO_GLIB", "1");
    raiseDescriptorLimit();
    QCoreApplication app(argc, argv);
    orvane::installServerLogging();
    QCoreApplication::setApplicationName(QStringLiteral("tolvex"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Orvane line server"));
    parser.addHelpOption();
    parser.addVersionOption();
    QCommandLineOption serviceOption(
        QStringLiteral("service"),
        QStringLiteral("Bus name to serve under (default %1).").arg(orvane::tolvex::serviceName()),
        QStringLiteral("name"), orvane::tolvex::serviceName());
    parser.addOption(serviceOption);
    parser.process(app);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        qCCritical(lineLog).noquote() << "no session bus:" << bus.lastError().message();
        return 1;
    }
    orvane::quitOnTerminationSignals(app);
    quitWhenTheBusGoes(app, bus);

    orvane::TolvexServer server(bus);
    const QString name = parser.value(serviceOption);
    if (orvane::Status s = server.start(name); !s) {
        qCCritical(lineLog).noquote() << s.description();
        return 1;
    }
    // A detail: the journal already says that the service started.
    qCDebug(lineLog).noquote() << "serving as" << name;
    // SIGHUP reads answering.conf again, as `systemctl --user reload` sends it.
    orvane::onSignal(SIGHUP, [&server] { server.standingLines().reload(); });
    // The desktop program that started this server has ended (its parent-death signal):
    // the server ends with it, unless it has standing lines to answer.
    orvane::onSignal(SIGUSR1, [&server, &app] {
        if (server.standingLines().lines().isEmpty()) {
            app.quit();
            return;
        }
        qCInfo(lineLog) << "the program that started the server has ended; its standing lines "
                           "go on answering";
    });
    // Start the speech engine and load the default voice now, not at the first call.
    if (auto speech = orvane::createSpeech())
        speech.value()->prepare(QStringLiteral("Orvane"), {},
                                orvane::audioformat::kTelephoneSampleRate);
    const int rc = app.exec();
    if (!bus.isConnected())
        qCWarning(lineLog) << "the session bus is gone; ending";
    // Wake lines blocked on a provider's audio, then let every line end in order.
    orvane::shutdownTelephony();
    server.stop();
    return rc;
}
