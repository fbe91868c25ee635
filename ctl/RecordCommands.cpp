// The commands on what the lines kept: the recorded calls of a day (listed, played,
// copied out, deleted) and the received faxes. They read the program folder directly; the
// line server need not run.

#include "ctl/Ctl.h"

#include "database/Database.h"
#include "database/DateTimeText.h"
#include "database/RecMessageTable.h"
#include "database/RecieveFaxTable.h"
#include "database/RecordingRemoval.h"
#include "platform/audio/SpeakerAudioOutput.h"
#include "platform/notify/EventText.h"
#include "platform/speech/Speech.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>

namespace orvane::ctl {

namespace {

struct Call {
    int n = 0;
    recmessage::CallRow row;
    QString path; // empty when the row names no recording of ours
};

// The day of --date (today without it).
Result<QDate> chosenDay(const Context& c)
{
    if (!c.isSet(QStringLiteral("date")))
        return QDate::currentDate();
    const QDate day = QDate::fromString(c.option(QStringLiteral("date")), Qt::ISODate);
    if (!day.isValid())
        return Status(err::InvalidArg, QStringLiteral("--date takes a day as YYYY-MM-DD"));
    return day;
}

// The calls of the chosen day, numbered from 1 in the order they came.
Result<QList<Call>> callsOfTheDay(const Context& c)
{
    Result<QDate> day = chosenDay(c);
    if (!day)
        return day.status();
    Database db;
    if (Status s = db.OpenDatabase(c.programFolder); !s)
        return s;
    Result<QList<recmessage::CallRow>> rows = recmessage::listDay(db, day.value());
    if (!rows)
        return rows.status();
    QList<Call> calls;
    for (const recmessage::CallRow& row : rows.value())
        calls.append(
            {int(calls.size()) + 1, row, recordingPath(c.programFolder, row.incomingCallFile)});
    return calls;
}

// Call N of the chosen day, from the command's first argument.
Result<Call> chosenCall(const Context& c)
{
    bool ok = false;
    const int n = c.args.value(0).toInt(&ok);
    if (!ok || n < 1)
        return Status(err::InvalidArg,
                      QStringLiteral("name a call by its number (see orvanectl calls)"));
    Result<QList<Call>> calls = callsOfTheDay(c);
    if (!calls)
        return calls.status();
    if (n > calls->size())
        return Status(
            err::FileNotFound,
            QStringLiteral("there is no call %1 that day (%2 calls)").arg(n).arg(calls->size()));
    const Call call = calls->at(n - 1);
    if (call.path.isEmpty() || !QFileInfo(call.path).isFile())
        return Status(err::FileNotFound, QStringLiteral("the recording of call %1 (%2) is missing")
                                             .arg(n)
                                             .arg(call.row.incomingCallFile));
    return call;
}

int failWith(const Context& c, const Status& s)
{
    return c.fail(s.code() == err::InvalidArg ? Usage : Failed, s.description());
}

} // namespace

int calls(const Context& c)
{
    Result<QList<Call>> list = callsOfTheDay(c);
    if (!list)
        return failWith(c, list.status());
    QJsonArray array;
    for (const Call& call : list.value()) {
        const qint64 bytes = QFileInfo(call.path).size();
        array.append(
            QJsonObject{{QStringLiteral("n"), call.n},
                        {QStringLiteral("time"), call.row.incomingCall.toString(Qt::ISODate)},
                        {QStringLiteral("file"), call.row.incomingCallFile},
                        {QStringLiteral("path"), call.path},
                        {QStringLiteral("seconds"), bytes > 44 ? double(bytes - 44) / 8000 : 0},
                        {QStringLiteral("caller"), call.row.details.callerNumber},
                        {QStringLiteral("callerName"), call.row.details.callerName},
                        {QStringLiteral("line"), call.row.details.line},
                        {QStringLiteral("keys"), call.row.details.keys},
                        {QStringLiteral("heard"), call.row.heard},
                        {QStringLiteral("server"), call.row.server}});
    }
    c.print(array, [&] {
        if (list->isEmpty())
            return QStringLiteral("No calls that day.");
        QString text;
        for (const QJsonValue& v : std::as_const(array)) {
            const QJsonObject o = v.toObject();
            const QString caller = eventtext::callerShown(o.value("caller").toString(),
                                                          o.value("callerName").toString());
            const QString keys = o.value("keys").toString();
            text += QStringLiteral("%1%2 %3  %4 s  %5  %6%7\n")
                        .arg(o.value("n").toInt(), 3)
                        .arg(o.value("heard").toBool() ? QLatin1Char(' ') : QLatin1Char('*'))
                        .arg(datetext::general(
                            QDateTime::fromString(o.value("time").toString(), Qt::ISODate)))
                        .arg(o.value("seconds").toDouble(), 5, 'f', 1)
                        .arg(caller.isEmpty() ? QStringLiteral("-") : caller, -20)
                        .arg(o.value("file").toString(),
                             keys.isEmpty() ? QString() : QStringLiteral("  keys ") + keys);
        }
        return text;
    });
    return Ok;
}

int play(const Context& c)
{
    Result<Call> call = chosenCall(c);
    if (!call)
        return failWith(c, call.status());
    Result<std::unique_ptr<Speech>> speech = createSpeech();
    if (!speech)
        return c.fail(Failed, speech.status().description());
    SpeakerAudioOutput speaker(22050);
    if (Status s = speech.value()->playFile(call->path, speaker); !s)
        return c.fail(Failed,
                      QStringLiteral("cannot play %1: %2").arg(call->path, s.description()));
    // Heard now: the tray stops counting it. The sound was played whatever the log says.
    Database db;
    Status heard = db.OpenDatabase(c.programFolder);
    if (heard)
        heard = recmessage::markHeard(db, call->row.incomingCallFile);
    if (!heard)
        c.fail(Ok, QStringLiteral("played, but cannot mark call %1 as heard: %2")
                       .arg(call->n)
                       .arg(heard.description()));
    return Ok;
}

int exportCall(const Context& c)
{
    if (c.args.size() != 2)
        return c.fail(Usage, QStringLiteral("orvanectl export N FILE"));
    Result<Call> call = chosenCall(c);
    if (!call)
        return failWith(c, call.status());
    const QString target = c.args[1];
    if (QFileInfo::exists(target))
        return c.fail(Failed, QStringLiteral("%1 exists; nothing was written").arg(target));
    if (!QFile::copy(call->path, target))
        return c.fail(Failed, QStringLiteral("cannot write %1").arg(target));
    c.say(QStringLiteral("Call %1 is in %2.").arg(call->n).arg(target));
    return Ok;
}

int deleteCall(const Context& c)
{
    if (c.args.size() != 1)
        return c.fail(Usage, QStringLiteral("orvanectl delete N"));
    Result<Call> call = chosenCall(c);
    if (!call)
        return failWith(c, call.status());
    const RemovalOutcome removed = deleteRecordings(c.programFolder, {call->row.incomingCallFile});
    if (!removed.status)
        return c.fail(Failed, removed.status.description());
    c.say(QStringLiteral("Call %1 (%2) is deleted.").arg(call->n).arg(call->row.incomingCallFile));
    return Ok;
}

int faxList(const Context& c)
{
    Database db;
    if (Status s = db.OpenDatabase(c.programFolder); !s)
        return c.fail(Failed, s.description());
    Result<QStringList> paths = recievefax::listAll(db, c.programFolder);
    if (!paths)
        return c.fail(Failed, paths.status().description());
    QJsonArray array;
    for (const QString& path : paths.value()) {
        const QFileInfo info(path);
        array.append(QJsonObject{{QStringLiteral("path"), path},
                                 {QStringLiteral("exists"), info.isFile()},
                                 {QStringLiteral("bytes"), info.isFile() ? info.size() : 0}});
    }
    c.print(array, [&] {
        return paths->isEmpty() ? QStringLiteral("No faxes received.")
                                : paths->join(QLatin1Char('\n'));
    });
    return Ok;
}

} // namespace orvane::ctl
