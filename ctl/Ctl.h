#pragma once

// orvanectl: the answering machine from a shell, for people and scripts. Every command
// prints text, or JSON with --json; the exit code says how it went.
//
// Thread: the main thread.

#include <QJsonValue>
#include <QString>
#include <QStringList>

#include <functional>

class QCommandLineParser;

namespace orvane::ctl {

enum Exit {
    Ok = 0,
    Failed = 1,   // the command could not do what was asked
    Usage = 2,    // the command line is wrong
    NoServer = 3, // the line server is not running
};

struct Context {
    bool json = false;
    QString service;       // the line server's bus name
    QString programFolder; // where the recorded calls are
    QStringList args;      // the command's own arguments, after its name
    const QCommandLineParser* options = nullptr;

    QString option(const QString& name) const;
    bool isSet(const QString& name) const;

    // Prints `data` as JSON, or as `text` renders it.
    void print(const QJsonValue& data, const std::function<QString()>& text) const;
    // The reason on standard error; returns `code`.
    int fail(int code, const QString& why) const;
    void say(const QString& line) const;
};

// The commands, each returning an Exit code.
int status(const Context& c);
int watch(const Context& c);
int lines(const Context& c);
int answer(const Context& c);
int stop(const Context& c);
int calls(const Context& c);
int play(const Context& c);
int exportCall(const Context& c);
int deleteCall(const Context& c);
int fax(const Context& c);
int faxList(const Context& c);

} // namespace orvane::ctl
