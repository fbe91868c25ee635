#pragma once

// G.711 companding: the wire format of telephone audio and of the recording files.

#include <QtGlobal>

namespace orvane::g711 {

// The mu-law byte of digital silence.
constexpr quint8 ULAW_SILENCE = 0xFF;
constexpr quint8 ALAW_SILENCE = 0xD5;

quint8 linearToUlaw(qint16 sample);
qint16 ulawToLinear(quint8 byte);
quint8 linearToAlaw(qint16 sample);
qint16 alawToLinear(quint8 byte);
quint8 alawToUlaw(quint8 byte);
quint8 ulawToAlaw(quint8 byte);

void encodeUlaw(const qint16* in, quint8* out, qsizetype count);
void decodeUlaw(const quint8* in, qint16* out, qsizetype count);

} // namespace orvane::g711
