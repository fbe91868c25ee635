#include "line_server/client/AnsweringConf.h"

#include "platform/RegularFile.h"
#include "platform/SectionedText.h"
#include "platform/speech/Speech.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace orvane::answering {

namespace {

const QString kFileName = QStringLiteral("answering.conf");

Status mistake(int lineNo, const QString& what)
{
    return sectionedTextMistake(kFileName, lineNo, what);
}

// A whole number from `low` to `high`.
bool readNumber(const QString& value, int low, int high, qint16* out)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (!ok || n < low || n > high)
        return false;
    *out = qint16(n);
    return true;
}

// One setting of a standing line; false when the value is not one the key takes, and the
// range in `expected`.
bool readSetting(StandingLine& line, const QString& key, const QString& value, bool* known,
                 QString* expected)
{
    *known = true;
    if (key == QLatin1String("rings")) {
        *expected = QStringLiteral("a whole number from 1 to 15");
        return readNumber(value, 1, 15, &line.rings);
    }
    if (key == QLatin1String("recordtime")) {
        *expected = QStringLiteral("a whole number of seconds from 1 to 60");
        return readNumber(value, 1, 60, &line.recordTime);
    }
    if (key == QLatin1String("volume")) {
        *expected = QStringLiteral("a whole number from 1 to 100");
        return readNumber(value, 1, 100, &line.volume);
    }
    if (key == QLatin1String("rate")) {
        *expected = QStringLiteral("a whole number from -10 to 10");
        return readNumber(value, -10, 10, &line.rate);
    }
    if (key == QLatin1String("voice")) {
        *expected = QStringLiteral("the position of a voice, 0 or more");
        return readNumber(value, 0, 999, &line.voice);
    }
    if (key == QLatin1String("playtype")) {
        *expected = QStringLiteral("FILE or MESS");
        line.playType = value.toUpper();
        return line.playType == QLatin1String("FILE") || line.playType == QLatin1String("MESS");
    }
    if (key == QLatin1String("playfile")) {
        *expected = QStringLiteral("an absolute path");
        line.playFile = value;
        return QDir::isAbsolutePath(value);
    }
    if (key == QLatin1String("playmessage")) {
        *expected = QStringLiteral("a text of at most %1 characters").arg(kMaxSpeechText);
        line.playMessage = value;
        return value.size() <= kMaxSpeechText;
    }
    if (key == QLatin1String("fax")) {
        *expected = QStringLiteral("receive");
        line.kind = StandingLine::Kind::ReceiveFax;
        return value.toLower() == QLatin1String("receive");
    }
    if (key == QLatin1String("faxfolder")) {
        *expected = QStringLiteral("an absolute path");
        line.faxFolder = value;
        return QDir::isAbsolutePath(value);
    }
    if (key == QLatin1String("faxprint")) {
        *expected = QStringLiteral("yes or no");
        return readYesNo(value, &line.faxPrint);
    }
    *known = false;
    return false;
}

} // namespace

QString answeringConfigPath()
{
    return userConfigFile("ORVANE_ANSWERING_CONF", kFileName);
}

QString defaultProgramFolder()
{
    const QString home = qEnvironmentVariable("ORVANE_HOME");
    if (!home.isEmpty())
        return QDir(home).absolutePath();
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation))
        .filePath(QStringLiteral("Orvane"));
}

Result<AnsweringFile> parseAnsweringFile(const QByteArray& text)
{
    Result<SectionedText> read = parseSectionedText(text, {kFileName, false});
    if (!read)
        return read.status();
    AnsweringFile file;
    for (const SectionedText::Entry& e : std::as_const(read->head)) {
        if (e.key != QLatin1String("program_folder"))
            return mistake(e.lineNo, QStringLiteral("\"%1\" is no setting of the whole file; a "
                                                    "line's settings come after its [name]")
                                         .arg(e.key));
        if (!QDir::isAbsolutePath(e.value))
            return mistake(e.lineNo, QStringLiteral("program_folder must be an absolute path"));
        file.programFolder = e.value;
    }
    for (const SectionedText::Section& section : std::as_const(read->sections)) {
        StandingLine line;
        line.line = section.name;
        for (const SectionedText::Entry& e : section.entries) {
            bool known = false;
            QString expected;
            if (readSetting(line, e.key, e.value, &known, &expected))
                continue;
            if (!known)
                return mistake(e.lineNo, QStringLiteral("unknown setting \"%1\"").arg(e.key));
            return mistake(e.lineNo, QStringLiteral("\"%1\" is not a valid %2: %3 is expected")
                                         .arg(e.value, e.key, expected));
        }
        if (line.kind == StandingLine::Kind::ReceiveFax && line.faxFolder.isEmpty())
            return mistake(section.lineNo,
                           QStringLiteral("the fax line \"%1\" needs a FaxFolder").arg(line.line));
        if (line.kind == StandingLine::Kind::Answer && line.playType == QLatin1String("MESS") &&
            line.playMessage.trimmed().isEmpty())
            return mistake(section.lineNo,
                           QStringLiteral("line \"%1\" speaks its greeting but has no PlayMessage")
                               .arg(line.line));
        file.lines.append(line);
    }
    return file;
}

Result<AnsweringFile> readAnsweringFile()
{
    const QString path = answeringConfigPath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return AnsweringFile();
    Result<QByteArray> text = readRegularFile(path, kMaxAnsweringFileBytes);
    if (!text)
        return Status(err::InvalidArg,
                      QStringLiteral("%1: %2").arg(kFileName, text.status().description()));
    return parseAnsweringFile(text.value());
}

QByteArray formatAnsweringFile(const AnsweringFile& file)
{
    QString out = QStringLiteral(
        "# The lines that answer with no one watching (see orvanectl answer and stop).\n");
    if (!file.programFolder.isEmpty())
        out += QStringLiteral("program_folder = %1\n").arg(file.programFolder);
    for (const StandingLine& l : file.lines) {
        out += QStringLiteral("\n[%1]\n").arg(l.line);
        if (l.kind == StandingLine::Kind::ReceiveFax) {
            out += QStringLiteral("Fax = receive\nFaxFolder = %1\nFaxPrint = %2\n")
                       .arg(l.faxFolder, l.faxPrint ? QStringLiteral("yes") : QStringLiteral("no"));
            continue;
        }
        out += QStringLiteral("Rings = %1\nPlayType = %2\n").arg(l.rings).arg(l.playType);
        if (!l.playFile.isEmpty())
            out += QStringLiteral("PlayFile = %1\n").arg(l.playFile);
        if (!l.playMessage.isEmpty()) {
            // One line of the file: a break in the text is spoken as the pause a blank is.
            QString text = l.playMessage;
            text.replace(QLatin1Char('\r'), QLatin1Char(' '))
                .replace(QLatin1Char('\n'), QLatin1Char(' '));
            out += QStringLiteral("PlayMessage = %1\n").arg(text.trimmed());
        }
        out += QStringLiteral("RecordTime = %1\nVolume = %2\nRate = %3\nVoice = %4\n")
                   .arg(l.recordTime)
                   .arg(l.volume)
                   .arg(l.rate)
                   .arg(l.voice);
    }
    return out.toUtf8();
}

Status writeAnsweringFile(const AnsweringFile& file)
{
    const QString path = answeringConfigPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return Status(err::Fail, QStringLiteral("Cannot make the folder of %1").arg(path));
    QSaveFile out(path);
    const QByteArray text = formatAnsweringFile(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit())
        return Status(err::Fail,
                      QStringLiteral("Cannot write %1: %2").arg(path, out.errorString()));
    return {};
}

} // namespace orvane::answering
