#include "line_server/program/ServerLogging.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace orvane {

namespace {

// Whether standard error is the stream systemd connected to the journal ("dev:inode").
bool stderrIsJournal()
{
    const QByteArray stream = qgetenv("JOURNAL_STREAM");
    const QList<QByteArray> parts = stream.split(':');
    struct stat st {};
    if (parts.size() != 2 || fstat(STDERR_FILENO, &st) != 0)
        return false;
    bool devOk = false, inoOk = false;
    const qulonglong dev = parts[0].toULongLong(&devOk), ino = parts[1].toULongLong(&inoOk);
    return devOk && inoOk && dev == qulonglong(st.st_dev) && ino == qulonglong(st.st_ino);
}

void toJournal(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QByteArray lines = journalLines(type, qFormatLogMessage(type, context, message));
    std::fwrite(lines.constData(), 1, size_t(lines.size()), stderr);
    std::fflush(stderr);
}

} // namespace

int syslogPriority(QtMsgType type)
{
    switch (type) {
    case QtFatalMsg:
        return 2;
    case QtCriticalMsg:
        return 3;
    case QtWarningMsg:
        return 4;
    case QtInfoMsg:
        return 6;
    case QtDebugMsg:
    default:
        return 7;
    }
}

QByteArray journalLines(QtMsgType type, const QString& text)
{
    const QByteArray prefix = '<' + QByteArray::number(syslogPriority(type)) + '>';
    QByteArray out;
    for (const QString& line : text.split(u'\n'))
        out += prefix + line.toUtf8() + '\n';
    return out;
}

void installServerLogging()
{
    // The details are there for whoever asks for them (QT_LOGGING_RULES comes after this).
    QLoggingCategory::setFilterRules(QStringLiteral("orvane.*.debug=false"));
    if (!stderrIsJournal())
        return;
    qSetMessagePattern(QStringLiteral("%{if-category}%{category}: %{endif}%{message}"));
    qInstallMessageHandler(toJournal);
}

} // namespace orvane
