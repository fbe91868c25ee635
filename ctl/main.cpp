// orvanectl: the answering machine from a shell.

#include "ctl/Ctl.h"

#include "line_server/client/AnsweringConf.h"
#include "line_server/client/TolvexNames.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

struct Command {
    const char* name;
    const char* arguments;
    const char* help;
    int (*run)(const orvane::ctl::Context&);
};

const Command kCommands[] = {
    {"status", "", "every line bound in the line server and its status", orvane::ctl::status},
    {"watch", "",
     "how the lines are, then each change as it comes (--count N: stop after N changes)",
     orvane::ctl::watch},
    {"lines", "", "the lines there are", orvane::ctl::lines},
    {"answer", "LINE", "LINE answers unattended, with the settings given (answering.conf)",
     orvane::ctl::answer},
    {"stop", "LINE", "LINE no longer answers unattended", orvane::ctl::stop},
    {"calls", "", "the recorded calls of a day (--date YYYY-MM-DD, today without it)",
     orvane::ctl::calls},
    {"play", "N", "plays call N of the day on this computer", orvane::ctl::play},
    {"export", "N FILE", "copies call N's recording to FILE", orvane::ctl::exportCall},
    {"delete", "N", "deletes call N: its recording and its row", orvane::ctl::deleteCall},
    {"fax", "send NUMBER FILE | list",
     "sends FILE to NUMBER (--line LINE) and waits for the outcome; lists received faxes",
     orvane::ctl::fax},
};

QString commandHelp()
{
    QString text = QStringLiteral("Commands:\n");
    for (const Command& c : kCommands)
        text += QStringLiteral("  %1 %2\n      %3\n")
                    .arg(QLatin1String(c.name), QLatin1String(c.arguments), QLatin1String(c.help));
    text += QStringLiteral("\nExit codes: 0 done, 1 failed, 2 wrong command line, 3 the line "
                           "server is not running.");
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("orvanectl"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The Orvane answering machine from a shell.\n\n") + commandHelp());
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("what to do"));
    parser.addOptions({
        {QStringLiteral("json"), QStringLiteral("Prints JSON instead of text.")},
        {QStringLiteral("service"), QStringLiteral("The line server's bus name."),
         QStringLiteral("name"), orvane::tolvex::serviceName()},
        {QStringLiteral("folder"),
         QStringLiteral("The program folder of the recorded calls (default: $ORVANE_HOME or "
                        "~/.local/share/Orvane)."),
         QStringLiteral("dir")},
        {QStringLiteral("date"), QStringLiteral("The day of the calls."),
         QStringLiteral("YYYY-MM-DD")},
        {QStringLiteral("count"), QStringLiteral("watch: stop after N changes."),
         QStringLiteral("N")},
        {QStringLiteral("line"), QStringLiteral("fax send: the line to send on."),
         QStringLiteral("LINE")},
        {QStringLiteral("rings"), QStringLiteral("answer: rings before answering (1-15)."),
         QStringLiteral("N")},
        {QStringLiteral("record-time"), QStringLiteral("answer: seconds to record (1-60)."),
         QStringLiteral("N")},
        {QStringLiteral("play-file"), QStringLiteral("answer: the greeting, a wave file."),
         QStringLiteral("FILE")},
        {QStringLiteral("message"), QStringLiteral("answer: the greeting, a text to speak."),
         QStringLiteral("TEXT")},
        {QStringLiteral("volume"), QStringLiteral("answer: speech volume (1-100)."),
         QStringLiteral("N")},
        {QStringLiteral("rate"), QStringLiteral("answer: speech rate (-10-10)."),
         QStringLiteral("N")},
        {QStringLiteral("voice"), QStringLiteral("answer: the voice's position (0, 1, ...)."),
         QStringLiteral("N")},
        {QStringLiteral("fax-folder"), QStringLiteral("answer: receive faxes into DIR instead."),
         QStringLiteral("DIR")},
        {QStringLiteral("print"), QStringLiteral("answer: print each fax received.")},
    });
    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "orvanectl: %s\n", qPrintable(parser.errorText()));
        return orvane::ctl::Usage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return orvane::ctl::Ok;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        std::printf("orvanectl %s\n", ORVANE_VERSION);
        return orvane::ctl::Ok;
    }
    QStringList args = parser.positionalArguments();
    if (args.isEmpty()) {
        std::fprintf(stderr, "orvanectl: a command is needed\n\n%s\n", qPrintable(commandHelp()));
        return orvane::ctl::Usage;
    }
    const QString name = args.takeFirst();
    for (const Command& command : kCommands) {
        if (name != QLatin1String(command.name))
            continue;
        orvane::ctl::Context context;
        context.json = parser.isSet(QStringLiteral("json"));
        context.service = parser.value(QStringLiteral("service"));
        context.programFolder = parser.isSet(QStringLiteral("folder"))
                                    ? parser.value(QStringLiteral("folder"))
                                    : orvane::answering::defaultProgramFolder();
        context.args = args;
        context.options = &parser;
        return command.run(context);
    }
    std::fprintf(stderr, "orvanectl: no command is named \"%s\"\n\n%s\n", qPrintable(name),
                 qPrintable(commandHelp()));
    return orvane::ctl::Usage;
}
