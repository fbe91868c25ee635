#include "platform/notify/EventText.h"

#include <QCoreApplication>

namespace orvane::eventtext {

QString lengthText(int seconds)
{
    if (seconds < 0)
        return QString();
    const int h = seconds / 3600;
    const int m = seconds / 60 % 60;
    const int s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3")
            .arg(h)
            .arg(m, 2, 10, QLatin1Char('0'))
            .arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString callerShown(const QString& number, const QString& name)
{
    if (number.isEmpty())
        return name;
    if (name.isEmpty() || name == number)
        return number;
    return QStringLiteral("%1 (%2)").arg(name, number);
}

namespace {

// In the user's language where the program has a translation (the desktop program); the
// line server has none and speaks English.
QString text(const char* source)
{
    return QCoreApplication::translate("orvane::eventtext", source);
}

QString summary(const QString& what, const QString& caller, const QString& line,
                const QString& size)
{
    QString shown = what;
    if (!caller.isEmpty())
        shown = text(QT_TRANSLATE_NOOP("orvane::eventtext", "%1 from %2")).arg(shown, caller);
    if (!line.isEmpty())
        shown = text(QT_TRANSLATE_NOOP("orvane::eventtext", "%1 on %2")).arg(shown, line);
    if (!size.isEmpty())
        shown += QStringLiteral(" (%1)").arg(size);
    return shown;
}

} // namespace

QString messageSummary(const QString& number, const QString& name, const QString& line, int seconds)
{
    return summary(text(QT_TRANSLATE_NOOP("orvane::eventtext", "New message")),
                   callerShown(number, name), line, lengthText(seconds));
}

QString faxSummary(const QString& number, const QString& line, int pages)
{
    const QString size = pages < 0 ? QString()
                         : pages == 1
                             ? text(QT_TRANSLATE_NOOP("orvane::eventtext", "1 page"))
                             : text(QT_TRANSLATE_NOOP("orvane::eventtext", "%1 pages")).arg(pages);
    return summary(text(QT_TRANSLATE_NOOP("orvane::eventtext", "New fax")), number, line, size);
}

} // namespace orvane::eventtext
