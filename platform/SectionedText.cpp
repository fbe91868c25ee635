#include "platform/SectionedText.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

namespace orvane {

Status sectionedTextMistake(const QString& fileName, int lineNo, const QString& what)
{
    return Status(err::InvalidArg,
                  QStringLiteral("%1, line %2: %3").arg(fileName).arg(lineNo).arg(what));
}

QString userConfigFile(const char* environmentVariable, const QString& fileName)
{
    const QString overridden = qEnvironmentVariable(environmentVariable);
    if (!overridden.isEmpty())
        return overridden;
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Orvane/") + fileName);
}

Result<SectionedText> parseSectionedText(const QByteArray& text, const SectionedTextRules& rules)
{
    static const QRegularExpression trailingComment(QStringLiteral("\\s+#.*$"));
    SectionedText result;
    QSet<QString> names;
    const QList<QByteArray> rows = text.split('\n');
    for (int i = 0; i < rows.size(); ++i) {
        const int lineNo = i + 1;
        const QString row = QString::fromUtf8(rows[i]).trimmed();
        if (row.isEmpty() || row.startsWith(QLatin1Char('#')) || row.startsWith(QLatin1Char(';')))
            continue;
        if (row.startsWith(QLatin1Char('['))) {
            if (!row.endsWith(QLatin1Char(']')))
                return sectionedTextMistake(rules.fileName, lineNo,
                                            QStringLiteral("a section name ends with ]"));
            const QString name = row.mid(1, row.size() - 2).trimmed();
            if (name.isEmpty())
                return sectionedTextMistake(rules.fileName, lineNo,
                                            QStringLiteral("a line needs a name"));
            if (names.contains(name))
                return sectionedTextMistake(
                    rules.fileName, lineNo,
                    QStringLiteral("the name \"%1\" is used twice").arg(name));
            names.insert(name);
            result.sections.append({lineNo, name, {}});
            continue;
        }
        const qsizetype eq = row.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return sectionedTextMistake(rules.fileName, lineNo,
                                        QStringLiteral("expected key = value"));
        QString value = row.mid(eq + 1);
        // A lone "#" is a value (the telephone's key), not a remark.
        if (rules.trailingComments && value.trimmed() != QLatin1String("#"))
            value.remove(trailingComment);
        SectionedText::Entry entry{lineNo, row.left(eq).trimmed().toLower(), value.trimmed()};
        if (result.sections.isEmpty())
            result.head.append(entry);
        else
            result.sections.last().entries.append(entry);
    }
    return result;
}

bool readYesNo(const QString& value, bool* out)
{
    const QString v = value.toLower();
    if (v == QLatin1String("yes") || v == QLatin1String("true") || v == QLatin1String("1"))
        *out = true;
    else if (v == QLatin1String("no") || v == QLatin1String("false") || v == QLatin1String("0"))
        *out = false;
    else
        return false;
    return true;
}

} // namespace orvane
