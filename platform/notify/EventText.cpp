#include "platform/notify/EventText.h"

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
QString summary(const QString& what, const QString& caller, const QString& line,
                const QString& size)
{
    QString text = what;
    if (!caller.isEmpty())
        text += QStringLiteral(" from ") + caller;
    if (!line.isEmpty())
        text += QStringLiteral(" on ") + line;
    if (!size.isEmpty())
        text += QStringLiteral(" (%1)").arg(size);
    return text;
}
} // namespace

QString messageSummary(const QString& number, const QString& name, const QString& line, int seconds)
{
    return summary(QStringLiteral("New message"), callerShown(number, name), line,
                   lengthText(seconds));
}

QString faxSummary(const QString& number, const QString& line, int pages)
{
    const QString size = pages < 0    ? QString()
                         : pages == 1 ? QStringLiteral("1 page")
                                      : QStringLiteral("%1 pages").arg(pages);
    return summary(QStringLiteral("New fax"), number, line, size);
}

} // namespace orvane::eventtext
