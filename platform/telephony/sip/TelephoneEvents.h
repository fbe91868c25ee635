#pragma once

// The keys a caller presses, as SIP carries them: RTP telephone-events (RFC 4733), each
// press sent as several packets that share the timestamp of its start, or a SIP INFO
// (application/dtmf-relay "Signal=5", or application/dtmf "5").
//
// Thread: one at a time (the SIP loop's).

#include <QByteArray>
#include <QtGlobal>

namespace orvane::sip {

class TelephoneEvents {
public:
    // A telephone-event payload and its packet's timestamp: the key when this is a new
    // press, else 0.
    char take(quint32 timestamp, const quint8* payload, qsizetype size);

private:
    bool m_any = false;
    quint32 m_lastTimestamp = 0;
};

// The key an INFO body names, or 0.
char keyOfInfo(const QByteArray& contentType, const QByteArray& body);

} // namespace orvane::sip
