#include "platform/telephony/CallerText.h"

namespace orvane {

QString callerText(const QString& raw)
{
    QString text;
    text.reserve(qMin(raw.size(), kMaxCallerText));
    for (const QChar c : raw) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format ||
            c.isSurrogate())
            text.append(QLatin1Char(' '));
        else
            text.append(c);
    }
    text = text.simplified();
    if (text.size() > kMaxCallerText)
        text = text.left(kMaxCallerText).trimmed();
    return text;
}

QString keysText(const QString& raw)
{
    QString keys;
    for (const QChar c : raw)
        if (keys.size() < kMaxKeys && QStringLiteral("0123456789*#ABCD").contains(c))
            keys.append(c);
    return keys;
}

} // namespace orvane
