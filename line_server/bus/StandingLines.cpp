#include "line_server/bus/StandingLines.h"

#include "line_server/bus/LineFactory.h"
#include "line_server/bus/LineObject.h"
#include "line_server/line/LineLog.h"
#include "line_server/line/StatusTexts.h"

#include <QDir>
#include <QSet>
#include <QTimer>

namespace orvane {

namespace {

LineSettings settingsOf(const answering::StandingLine& line, const QString& programFolder)
{
    LineSettings s;
    s.rings = line.rings;
    s.playType = line.playType;
    s.playFile = line.playFile.isEmpty()
                     ? QDir(programFolder).filePath(QStringLiteral("greeting/greeting.wav"))
                     : line.playFile;
    s.playMessage = line.playMessage;
    s.recordTime = line.recordTime;
    s.volume = line.volume;
    s.rate = line.rate;
    s.voice = line.voice;
    return s;
}

// Two configurations that only differ in what the next call reads.
bool sameBinding(const answering::StandingLine& a, const answering::StandingLine& b)
{
    return a.kind == b.kind && a.faxFolder == b.faxFolder && a.faxPrint == b.faxPrint;
}

} // namespace

StandingLines::StandingLines(LineFactory& factory, QObject* parent)
    : QObject(parent)
    , m_factory(factory)
{}

// The factory ends the lines themselves, with every other line of the server.
StandingLines::~StandingLines() = default;

bool StandingLines::isBound(const QString& line) const
{
    return m_lines.value(line).bound;
}

Status StandingLines::reload()
{
    const Result<answering::AnsweringFile> file = answering::readAnsweringFile();
    if (!file) {
        qCWarning(lineLog).noquote()
            << "the standing lines stay as they are:" << file.status().description();
        return file.status();
    }
    const QString folder =
        file->programFolder.isEmpty() ? answering::defaultProgramFolder() : file->programFolder;
    // Another program folder: every line binds anew there.
    if (folder != m_programFolder) {
        releaseAll();
        m_programFolder = folder;
    }
    QSet<QString> named;
    qint16 row = 0;
    for (const answering::StandingLine& line : file->lines) {
        named.insert(line.line);
        ++row;
        auto it = m_lines.find(line.line);
        if (it != m_lines.end() && (!sameBinding(it->config, line) || it->row != row)) {
            release(line.line);
            it = m_lines.end();
        }
        if (it == m_lines.end()) {
            create(line, row);
        } else if (!(it->config == line)) {
            it->config = line;
            applySettings(*it);
        }
    }
    for (const QString& line : m_lines.keys())
        if (!named.contains(line))
            release(line);
    qCInfo(lineLog).noquote() << "standing lines:" << m_lines.size() << "in" << m_programFolder;
    return {};
}

void StandingLines::releaseAll()
{
    for (const QString& line : m_lines.keys())
        release(line);
}

void StandingLines::create(const answering::StandingLine& config, qint16 row)
{
    Entry entry;
    entry.config = config;
    entry.row = row;
    entry.path = m_factory.createStandingLine();
    if (entry.path.isEmpty()) {
        qCWarning(lineLog).noquote() << "cannot make a line object for" << config.line;
        return;
    }
    entry.retry = new QTimer(this);
    entry.retry->setSingleShot(true);
    const QString name = config.line;
    connect(entry.retry, &QTimer::timeout, this, [this, name] { bind(name); });
    m_lines.insert(name, entry);
    applySettings(m_lines[name]);
    bind(name);
}

void StandingLines::release(const QString& line)
{
    const Entry entry = m_lines.take(line);
    delete entry.retry;
    if (!entry.path.isEmpty())
        m_factory.releaseStanding(entry.path);
}

void StandingLines::applySettings(const Entry& entry)
{
    LineObject* object = m_factory.lineAt(entry.path);
    if (!object)
        return;
    const LineSettings settings = settingsOf(entry.config, m_programFolder);
    // On the line's thread: a line busy with a call takes them for the next one.
    QMetaObject::invokeMethod(object, [object, settings] { object->line().settings() = settings; });
}

void StandingLines::bind(const QString& line)
{
    const auto it = m_lines.constFind(line);
    if (it == m_lines.constEnd())
        return;
    LineObject* object = m_factory.lineAt(it->path);
    if (!object)
        return;
    const answering::StandingLine config = it->config;
    const QString folder = m_programFolder;
    const QString path = it->path;
    const qint16 row = it->row;
    // The line objects end before this object does (the server releases them and waits for
    // their threads first), so the answer always has somewhere to go.
    QMetaObject::invokeMethod(object, [this, object, config, folder, path, row] {
        bool ok = false;
        if (config.kind == answering::StandingLine::Kind::ReceiveFax) {
            ok = object->line()
                     .FnReceiveFax(config.line, config.faxFolder, row, config.faxPrint ? 1 : 0,
                                   StatusGrid(), folder)
                     .isOk();
        } else {
            object->line().InitTAPI(config.line, StatusGrid(), row, folder);
            ok = object->line().getMessage() != QLatin1String(status::Error);
        }
        QMetaObject::invokeMethod(this, [this, config, path, ok] { bound(config.line, path, ok); });
    });
}

void StandingLines::bound(const QString& line, const QString& path, bool ok)
{
    const auto it = m_lines.find(line);
    if (it == m_lines.end() || it->path != path)
        return; // released or replaced meanwhile
    it->bound = ok;
    if (ok) {
        qCInfo(lineLog).noquote() << "standing line" << line << "answers";
        it->retryMs = kFirstRetryMs;
        return;
    }
    LineObject* object = m_factory.lineAt(path);
    qCWarning(lineLog).noquote() << "standing line" << line << "cannot answer now ("
                                 << (object ? object->report().message : QString())
                                 << "); trying again in" << it->retryMs / 1000.0 << "s";
    it->retry->start(it->retryMs);
    it->retryMs = qMin(it->retryMs * 2, kLongestRetryMs);
}

} // namespace orvane
