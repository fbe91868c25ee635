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
    // The stored form is fixed, and a day can hold thousands of calls: read the digits
    // directly rather than through a general format parser.
    if (text.size() != 19 || text[4] != QLatin1Char('-') || text[7] != QLatin1Char('-') ||
        text[10] != QLatin1Char('T') || text[13] != QLatin1Char(':') ||
        text[16] != QLatin1Char(':'))
        return QDateTime();
    auto number = [&text](int at, int digits, bool* ok) {
        int value = 0;
        for (int i = at; i < at + digits; ++i) {
            const char16_t c = text[i].unicode();
            if (c < '0' || c > '9') {
                *ok = false;
                return 0;
            }
            value = value * 10 + (c - '0');
        }
        return value;
    };
    bool ok = true;
    const QDate date(number(0, 4, &ok), number(5, 2, &ok), number(8, 2, &ok));
    const QTime time(number(11, 2, &ok), number(14, 2, &ok), number(17, 2, &ok));
    if (!ok || !date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

QString dayStart(const QDate& day)
{
    return day.toString(QStringLiteral("yyyy-MM-ddT00:00:00"));
}

} // namespace orvane::datetext
