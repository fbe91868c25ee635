#include "platform/audio/G711.h"

#include <array>

namespace orvane::g711 {

namespace {

constexpr int kUlawBias = 0x84;
constexpr int kUlawClip = 32635;

constexpr quint8 encodeUlawSample(int sample)
{
    const int sign = (sample >> 8) & 0x80;
    if (sign)
        sample = -sample;
    if (sample > kUlawClip)
        sample = kUlawClip;
    sample += kUlawBias;
    int exponent = 7;
    for (int mask = 0x4000; (sample & mask) == 0 && exponent > 0; mask >>= 1)
        --exponent;
    const int mantissa = (sample >> (exponent + 3)) & 0x0F;
    return quint8(~(sign | (exponent << 4) | mantissa));
}

constexpr qint16 decodeUlawSample(quint8 byte)
{
    const int u = ~byte & 0xFF;
    int t = ((u & 0x0F) << 3) + kUlawBias;
    t <<= (u & 0x70) >> 4;
    return qint16((u & 0x80) ? (kUlawBias - t) : (t - kUlawBias));
}

constexpr quint8 encodeAlawSample(int sample)
{
    int mask = 0xD5;
    if (sample < 0) {
        mask = 0x55;
        sample = -sample - 1;
    }
    sample >>= 3; // 13-bit magnitude
    int seg = 0;
    for (int end = 0x1F; seg < 8 && sample > end; end = (end << 1) | 1)
        ++seg;
    if (seg >= 8)
        return quint8(0x7F ^ mask);
    int aval = seg << 4;
    aval |= (seg < 2) ? ((sample >> 1) & 0x0F) : ((sample >> seg) & 0x0F);
    return quint8(aval ^ mask);
}

constexpr qint16 decodeAlawSample(quint8 byte)
{
    int a = byte ^ 0x55;
    int t = (a & 0x0F) << 4;
    const int seg = (a & 0x70) >> 4;
    if (seg == 0)
        t += 8;
    else if (seg == 1)
        t += 0x108;
    else
        t = (t + 0x108) << (seg - 1);
    return qint16((a & 0x80) ? t : -t);
}

constexpr auto kUlawDecode = [] {
    std::array<qint16, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[size_t(i)] = decodeUlawSample(quint8(i));
    return table;
}();

constexpr auto kAlawDecode = [] {
    std::array<qint16, 256> table{};
    for (int i = 0; i < 256; ++i)
        table[size_t(i)] = decodeAlawSample(quint8(i));
    return table;
}();

} // namespace

quint8 linearToUlaw(qint16 sample)
{
    return encodeUlawSample(sample);
}
qint16 ulawToLinear(quint8 byte)
{
    return kUlawDecode[byte];
}
quint8 linearToAlaw(qint16 sample)
{
    return encodeAlawSample(sample);
}
qint16 alawToLinear(quint8 byte)
{
    return kAlawDecode[byte];
}
quint8 alawToUlaw(quint8 byte)
{
    return encodeUlawSample(kAlawDecode[byte]);
}
quint8 ulawToAlaw(quint8 byte)
{
    return encodeAlawSample(kUlawDecode[byte]);
}

void encodeUlaw(const qint16* in, quint8* out, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        out[i] = encodeUlawSample(in[i]);
}

void decodeUlaw(const quint8* in, qint16* out, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        out[i] = kUlawDecode[in[i]];
}

} // namespace orvane::g711
