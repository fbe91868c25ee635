#include "database/DateTimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace orvane::datetext {

namespace {

// The locale's time format with seconds and without any time zone.
QString timeFormatWithSeconds(const QLocale& locale)
{
    QString format = locale.timeFormat(QLocale::ShortFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*t+"));
    format.remove(zone);
    if (!format.contains(QLatin1Char('s'))) {
        static const QRegularExpression minutes(QStringLiteral("mm?"));
        const QRegularExpressionMatch m = minutes.match(format);
        if (m.hasMatch())
            format.insert(m.capturedEnd(), QStringLiteral(":ss"));
        else
            format.append(QStringLiteral(":ss"));
    }
    return format.trimmed();
}

} // namespace

QString general(const QDateTime& when)
{
    const QLocale locale = QLocale::system();
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
           locale.toString(when.time(), timeFormatWithSeconds(locale));
}

QString shortDate(const QDate& day)
{
    return QLocale::system().toString(day, QLocale::ShortFormat);
}

QString toStored(const QDateTime& when)
{
    return when.toLocalTime().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QDateTime fromStored(const QString& text)
{
    return QDateTime::fromString(text, QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
}

QString dayStart(const QDate& day)
{
    return day.toString(QStringLiteral("yyyy-MM-ddT00:00:00"));
}

} // namespace orvane::datetext
