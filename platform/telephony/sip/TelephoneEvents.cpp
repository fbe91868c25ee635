#include "platform/telephony/sip/TelephoneEvents.h"

#include <QList>

namespace orvane::sip {

namespace {

// Events 0..15 are the keys of a phone; the rest (fax and modem tones, RFC 4734) are none.
char keyOfEvent(int event)
{
    static const char kKeys[] = "0123456789*#ABCD";
    return event >= 0 && event < 16 ? kKeys[event] : 0;
}

char keyOfText(QByteArray text)
{
    text = text.trimmed().toUpper();
    if (text.size() == 1 && QByteArray("0123456789*#ABCD").contains(text[0]))
        return text[0];
    bool ok = false;
    const int event = text.toInt(&ok); // some send "Signal=11" for '#'
    return ok && event >= 10 ? keyOfEvent(event) : 0;
}

} // namespace

char TelephoneEvents::take(quint32 timestamp, const quint8* payload, qsizetype size)
{
    if (size < 4)
        return 0;
    const char key = keyOfEvent(payload[0]);
    if (!key || (m_any && timestamp == m_lastTimestamp))
        return 0;
    m_any = true;
    m_lastTimestamp = timestamp;
    return key;
}

char keyOfInfo(const QByteArray& contentType, const QByteArray& body)
{
    const QByteArray type = contentType.trimmed().toLower();
    if (type.startsWith("application/dtmf-relay")) {
        for (const QByteArray& line : body.split('\n')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0 && line.left(eq).trimmed().toLower() == "signal")
                return keyOfText(line.mid(eq + 1));
        }
        return 0;
    }
    if (type.startsWith("application/dtmf"))
        return keyOfText(body);
    return 0;
}

} // namespace orvane::sip
