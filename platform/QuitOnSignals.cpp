#include "platform/QuitOnSignals.h"

#include <QCoreApplication>
#include <QHash>
#include <QSocketNotifier>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace orvane {

namespace {

int g_signalPipe[2] = {-1, -1};
QHash<int, std::function<void()>> g_actions;

// The only thing a signal handler may safely do: wake the event loop through a socket,
// with the signal's number.
void onSignal(int number)
{
    const char byte = char(number);
    [[maybe_unused]] ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void handle(int signal)
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
}

} // namespace

void quitOnTerminationSignals(QCoreApplication& app)
{
    if (g_signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char byte = 0;
        if (::read(g_signalPipe[0], &byte, 1) != 1)
            return;
        if (const auto action = g_actions.constFind(byte); action != g_actions.constEnd())
            (*action)();
        else
            QCoreApplication::quit();
    });
    handle(SIGTERM);
    handle(SIGINT);
}

void onSignal(int signal, std::function<void()> action)
{
    g_actions.insert(signal, std::move(action));
    handle(signal);
}

} // namespace orvane
