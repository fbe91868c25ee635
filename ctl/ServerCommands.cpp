// The commands that talk to the line server: how the lines are, their changes as they
// come, the standing lines, and sending a fax.

#include "ctl/Ctl.h"
#include "ctl/ServerSignals.h"
#include "platform/notify/EventText.h"

#include "line_server/client/AnsweringConf.h"
#include "line_server/client/DBusStatus.h"
#include "line_server/client/LineHandle.h"
#include "line_server/client/TolvexNames.h"
#include "platform/QuitOnSignals.h"
#include "platform/fax/FaxStatus.h"
#include "platform/telephony/Telephony.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

namespace orvane::ctl {

namespace {

bool serverRunning(const Context& c)
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface()->isServiceRegistered(c.service).value();
}

int noServer(const Context& c)
{
    return c.fail(NoServer, QStringLiteral("the line server (%1) is not running; start it with: "
                                           "systemctl --user start tolvex")
                                .arg(c.service));
}

QJsonObject toJson(const QVariantMap& line)
{
    return QJsonObject::fromVariantMap(line);
}

// A status as the grid shows it, its trailing blanks aside.
QString shown(const QString& status)
{
    return status.trimmed().isEmpty() ? QStringLiteral("-") : status.trimmed();
}

Result<QList<QVariantMap>> lineStatus(const Context& c)
{
    return TolvexClient(QDBusConnection::sessionBus(), c.service).lineStatus();
}

Status reloadServer(const Context& c)
{
    return TolvexClient(QDBusConnection::sessionBus(), c.service).reloadStandingLines();
}

// The voice lines the configured provider offers.
Result<QStringList> voiceLines()
{
    std::unique_ptr<Telephony> telephony = createTelephony();
    if (Status s = telephony->initialize(); !s)
        return s;
    Result<QList<TelephonyAddress>> addresses = telephony->addresses();
    if (!addresses)
        return addresses.status();
    QStringList names;
    for (const TelephonyAddress& a : addresses.value())
        if (a.isVoiceLine())
            names.append(a.name);
    return names;
}

// `line`'s standing settings with the command line's options over them, checked by the
// reader of answering.conf itself.
Result<answering::StandingLine> withOptions(const Context& c, const answering::StandingLine& base)
{
    answering::AnsweringFile one;
    one.lines = {base};
    QByteArray text = answering::formatAnsweringFile(one);
    const struct {
        const char* option;
        const char* key;
    } keys[] = {{"rings", "Rings"},         {"record-time", "RecordTime"},
                {"volume", "Volume"},       {"rate", "Rate"},
                {"voice", "Voice"},         {"play-file", "PlayFile"},
                {"message", "PlayMessage"}, {"fax-folder", "FaxFolder"}};
    for (const auto& k : keys)
        if (c.isSet(QLatin1String(k.option)))
            text += QByteArray(k.key) + " = " + c.option(QLatin1String(k.option)).toUtf8() + '\n';
    if (c.isSet(QStringLiteral("play-file")))
        text += "PlayType = FILE\n";
    if (c.isSet(QStringLiteral("message")))
        text += "PlayType = MESS\n";
    if (c.isSet(QStringLiteral("fax-folder")))
        text += QByteArray("Fax = receive\nFaxPrint = ") +
                (c.isSet(QStringLiteral("print")) ? "yes" : "no") + '\n';
    Result<answering::AnsweringFile> read = answering::parseAnsweringFile(text);
    if (!read) {
        // The mistake without the line of the text made here.
        QString why = read.status().description();
        why.remove(QRegularExpression(QStringLiteral("^answering\\.conf, line \\d+: ")));
        return Status(err::InvalidArg, why);
    }
    return read->lines.first();
}

int afterWriting(const Context& c, const QString& done)
{
    if (!serverRunning(c)) {
        c.say(done + QStringLiteral(" The line server is not running; it answers the standing "
                                    "lines when it starts."));
        return Ok;
    }
    if (Status s = reloadServer(c); !s)
        return c.fail(Failed, QStringLiteral("answering.conf was written, but the line server "
                                             "did not take it: %1")
                                  .arg(s.description()));
    c.say(done);
    return Ok;
}

} // namespace

int status(const Context& c)
{
    if (!serverRunning(c))
        return noServer(c);
    Result<QList<QVariantMap>> lines = lineStatus(c);
    if (!lines)
        return c.fail(Failed, lines.status().description());
    QJsonArray array;
    for (const QVariantMap& line : lines.value())
        array.append(toJson(line));
    c.print(array, [&] {
        if (lines->isEmpty())
            return QStringLiteral("No line is bound in the line server.");
        QString text;
        for (const QVariantMap& line : lines.value()) {
            const QString name = line.value(QStringLiteral("line")).toString();
            text +=
                QStringLiteral("%1  %2  %3\n")
                    .arg(name.isEmpty() ? line.value(QStringLiteral("path")).toString() : name, -24)
                    .arg(shown(line.value(QStringLiteral("status")).toString()), -40)
                    .arg(line.value(QStringLiteral("standing")).toBool()
                             ? QStringLiteral("standing")
                             : QStringLiteral("client"));
        }
        return text;
    });
    return Ok;
}

int watch(const Context& c)
{
    if (!serverRunning(c))
        return noServer(c);
    bool ok = true;
    const int count =
        c.isSet(QStringLiteral("count")) ? c.option(QStringLiteral("count")).toInt(&ok) : -1;
    if (!ok || count == 0)
        return c.fail(Usage, QStringLiteral("--count takes a whole number above 0"));
    QEventLoop loop;
    int seen = 0;
    int exitCode = Ok;
    auto* watcher = new QDBusServiceWatcher(c.service, QDBusConnection::sessionBus(),
                                            QDBusServiceWatcher::WatchForUnregistration, &loop);
    QObject::connect(watcher, &QDBusServiceWatcher::serviceUnregistered, &loop, [&] {
        exitCode = c.fail(NoServer, QStringLiteral("the line server has ended"));
        loop.quit();
    });
    auto show = [&](const QString& path, const QString& line, const QString& status, bool now) {
        const QString when = QDateTime::currentDateTime().toString(Qt::ISODateWithMs);
        if (c.json) {
            QJsonObject event{{QStringLiteral("time"), when},
                              {QStringLiteral("path"), path},
                              {QStringLiteral("line"), line},
                              {QStringLiteral("status"), status}};
            if (now)
                event.insert(QStringLiteral("current"), true);
            c.say(QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact)));
        } else {
            c.say(QStringLiteral("%1  %2  %3")
                      .arg(when, line.isEmpty() ? path : line, shown(status)));
        }
    };
    auto counted = [&] {
        if (count > 0 && ++seen >= count)
            loop.quit();
    };
    auto emitEvent = [&](QJsonObject event, const QString& text) {
        if (c.json) {
            event.insert(QStringLiteral("time"),
                         QDateTime::currentDateTime().toString(Qt::ISODateWithMs));
            c.say(QString::fromUtf8(QJsonDocument(event).toJson(QJsonDocument::Compact)));
        } else {
            c.say(QStringLiteral("%1  %2").arg(
                QDateTime::currentDateTime().toString(Qt::ISODateWithMs), text));
        }
        counted();
    };
    ServerSignals relay(
        [&](const QString& path, const QString& line, const QString& status) {
            show(path, line, status, false);
            counted();
        },
        [&](const QString& file, const QString& line, const QString& number, const QString& name,
            const QString& time, int seconds) {
            emitEvent({{QStringLiteral("event"), QStringLiteral("message")},
                       {QStringLiteral("file"), file},
                       {QStringLiteral("line"), line},
                       {QStringLiteral("caller"), number},
                       {QStringLiteral("callerName"), name},
                       {QStringLiteral("callTime"), time},
                       {QStringLiteral("seconds"), seconds}},
                      QStringLiteral("%1  %2  %3")
                          .arg(line, shown(eventtext::messageSummary(number, name, line, seconds)),
                               file));
        },
        [&](const QString& path, const QString& line, const QString& time, int pages) {
            emitEvent({{QStringLiteral("event"), QStringLiteral("fax")},
                       {QStringLiteral("path"), path},
                       {QStringLiteral("line"), line},
                       {QStringLiteral("callTime"), time},
                       {QStringLiteral("pages"), pages}},
                      QStringLiteral("%1  %2  %3")
                          .arg(line, eventtext::faxSummary(QString(), line, pages), path));
        });
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString factory = QLatin1String(tolvex::kFactoryPath);
    const QString interface = QLatin1String(tolvex::kFactoryInterface);
    if (!bus.connect(c.service, factory, interface, QStringLiteral("LineStatusChanged"), &relay,
                     SLOT(changed(QString, QString, QString, bool))) ||
        !bus.connect(c.service, factory, interface, QStringLiteral("MessageLogged"), &relay,
                     SLOT(messageLogged(QString, QString, QString, QString, QString, int))) ||
        !bus.connect(c.service, factory, interface, QStringLiteral("FaxReceived"), &relay,
                     SLOT(faxReceived(QString, QString, QString, int))))
        return c.fail(Failed, QStringLiteral("cannot follow the line server's changes"));
    // How every line is now (marked "current" in JSON), then each change as it comes.
    if (Result<QList<QVariantMap>> now = lineStatus(c))
        for (const QVariantMap& l : now.value())
            show(l.value(QStringLiteral("path")).toString(),
                 l.value(QStringLiteral("line")).toString(),
                 l.value(QStringLiteral("status")).toString(), true);
    // Ctrl+C or SIGTERM end the watch as it ends every event loop.
    quitOnTerminationSignals(*QCoreApplication::instance());
    loop.exec();
    return exitCode;
}

int lines(const Context& c)
{
    Result<QStringList> names = voiceLines();
    if (!names)
        return c.fail(Failed, names.status().description());
    QJsonArray array;
    for (const QString& name : names.value())
        array.append(name);
    c.print(array, [&] {
        return names->isEmpty() ? QStringLiteral("No Telephony Device Found")
                                : names->join(QLatin1Char('\n'));
    });
    return Ok;
}

int answer(const Context& c)
{
    if (c.args.size() != 1)
        return c.fail(Usage,
                      QStringLiteral("answer takes one line: orvanectl answer LINE [settings]"));
    const QString name = c.args.first();
    if (Result<QStringList> known = voiceLines(); known && !known->contains(name))
        return c.fail(Failed,
                      QStringLiteral("no line is named \"%1\" (see orvanectl lines)").arg(name));
    Result<answering::AnsweringFile> file = answering::readAnsweringFile();
    if (!file)
        return c.fail(Failed, file.status().description());
    answering::StandingLine base;
    base.line = name;
    qsizetype at = -1;
    for (qsizetype i = 0; i < file->lines.size(); ++i)
        if (file->lines[i].line == name)
            at = i;
    if (at >= 0)
        base = file->lines[at];
    Result<answering::StandingLine> line = withOptions(c, base);
    if (!line)
        return c.fail(Usage, line.status().description());
    if (at >= 0)
        file->lines[at] = line.value();
    else
        file->lines.append(line.value());
    if (Status s = answering::writeAnsweringFile(file.value()); !s)
        return c.fail(Failed, s.description());
    return afterWriting(c, QStringLiteral("%1 answers unattended.").arg(name));
}

int stop(const Context& c)
{
    if (c.args.size() != 1)
        return c.fail(Usage, QStringLiteral("stop takes one line: orvanectl stop LINE"));
    const QString name = c.args.first();
    Result<answering::AnsweringFile> file = answering::readAnsweringFile();
    if (!file)
        return c.fail(Failed, file.status().description());
    const qsizetype before = file->lines.size();
    file->lines.removeIf([&](const answering::StandingLine& l) { return l.line == name; });
    if (file->lines.size() == before)
        return c.fail(Failed, QStringLiteral("\"%1\" is no standing line").arg(name));
    if (Status s = answering::writeAnsweringFile(file.value()); !s)
        return c.fail(Failed, s.description());
    return afterWriting(c, QStringLiteral("%1 no longer answers unattended.").arg(name));
}

namespace {

int sendFax(const Context& c)
{
    if (c.args.size() != 3)
        return c.fail(Usage, QStringLiteral("orvanectl fax send NUMBER FILE --line LINE"));
    const QString number = c.args[1];
    const QString document = QFileInfo(c.args[2]).absoluteFilePath();
    const QString line = c.option(QStringLiteral("line"));
    if (line.isEmpty())
        return c.fail(Usage, QStringLiteral("fax send needs --line LINE (see orvanectl lines)"));
    if (!serverRunning(c))
        return noServer(c);
    TolvexClient client(QDBusConnection::sessionBus(), c.service);
    Result<LineHandle> handle = client.createLine();
    if (!handle)
        return c.fail(Failed, handle.status().description());
    QEventLoop loop;
    QString last;
    // Each status of the job as it comes; the job has ended at test2.
    ServerSignals progress(
        [&](const QString& path, const QString&, const QString& status) {
            if (path != handle->path() || status == last)
                return;
            last = status;
            if (!c.json)
                c.say(shown(status));
        },
        {}, {});
    QDBusConnection::sessionBus().connect(c.service, QLatin1String(tolvex::kFactoryPath),
                                          QLatin1String(tolvex::kFactoryInterface),
                                          QStringLiteral("LineStatusChanged"), &progress,
                                          SLOT(changed(QString, QString, QString, bool)));
    // How the fax went: its transport, speed, pages and error correction.
    QString outcome;
    QVariantMap facts;
    progress.onFaxEnded(
        [&](const QString& path, const QString&, const QString& text, const QVariantMap& named) {
            if (path == handle->path()) {
                outcome = text;
                facts = named;
            }
        });
    QDBusConnection::sessionBus().connect(c.service, QLatin1String(tolvex::kFactoryPath),
                                          QLatin1String(tolvex::kFactoryInterface),
                                          QStringLiteral("FaxEnded"), &progress,
                                          SLOT(faxEnded(QString, QString, QString, QVariantMap)));
    QString message;
    QObject::connect(handle->events(), &LineEvents::messageBox, &loop,
                     [&](const QString& text, const QString&) { message = text; });
    QObject::connect(handle->events(), &LineEvents::test2, &loop, &QEventLoop::quit);
    if (Status s = handle->FnSendFax(number, document, QString(), line, nullptr); !s)
        return c.fail(Failed, s.description());
    quitOnTerminationSignals(*QCoreApplication::instance());
    loop.exec();
    // The job's last status, as the server kept it.
    QString final = last;
    if (Result<QList<QVariantMap>> lines = lineStatus(c))
        for (const QVariantMap& l : lines.value())
            if (l.value(QStringLiteral("path")).toString() == handle->path())
                final = l.value(QStringLiteral("status")).toString();
    const bool sent = final == QLatin1String(faxstatus::Completed);
    c.print(QJsonObject{{QStringLiteral("number"), number},
                        {QStringLiteral("file"), document},
                        {QStringLiteral("line"), line},
                        {QStringLiteral("status"), final},
                        {QStringLiteral("sent"), sent},
                        {QStringLiteral("message"), message},
                        {QStringLiteral("outcome"), outcome},
                        {QStringLiteral("how"), QJsonObject::fromVariantMap(facts)}},
            [&] {
                const QString how = outcome.isEmpty() ? QString() : QStringLiteral("\n") + outcome;
                return (sent ? QStringLiteral("The fax to %1 was sent.").arg(number)
                             : QStringLiteral("The fax to %1 was not sent: %2")
                                   .arg(number, message.isEmpty() ? shown(final) : message)) +
                       how;
            });
    return sent ? Ok : Failed;
}

} // namespace

int fax(const Context& c)
{
    const QString what = c.args.value(0);
    if (what == QLatin1String("send"))
        return sendFax(c);
    if (what == QLatin1String("list"))
        return faxList(c);
    return c.fail(Usage, QStringLiteral("fax takes send or list"));
}

} // namespace orvane::ctl
