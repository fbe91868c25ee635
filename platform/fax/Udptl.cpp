#include "platform/fax/Udptl.h"

#include <algorithm>

namespace orvane::fax {

namespace {

constexpr int kMaxRedundancy = 8;

// A PER length determinant: one byte below 128, two (the first marked 10) below 16384.
// Longer ones come in fragments, which no IFP of ours needs: they are refused.
bool putLength(QByteArray& out, qsizetype length)
{
    if (length < 0x80) {
        out.append(char(length));
        return true;
    }
    if (length < 0x4000) {
        out.append(char(0x80 | (length >> 8)));
        out.append(char(length & 0xFF));
        return true;
    }
    return false;
}

// Reads a length determinant at `at`; -1 when there is none (or a fragmented one).
qsizetype takeLength(const QByteArray& in, qsizetype& at)
{
    if (at >= in.size())
        return -1;
    const quint8 first = quint8(in[at]);
    if ((first & 0x80) == 0) {
        ++at;
        return first;
    }
    if ((first & 0xC0) == 0x80 && at + 1 < in.size()) {
        const qsizetype length = ((first & 0x3F) << 8) | quint8(in[at + 1]);
        at += 2;
        return length;
    }
    return -1;
}

// An open-type field: its length, then its bytes.
bool takeField(const QByteArray& in, qsizetype& at, QByteArray* field)
{
    const qsizetype length = takeLength(in, at);
    if (length < 0 || length > kMaxIfpBytes || at + length > in.size())
        return false;
    *field = in.mid(at, length);
    at += length;
    return true;
}

} // namespace

UdptlEncoder::UdptlEncoder(int redundancy)
    : m_redundancy(std::clamp(redundancy, 0, kMaxRedundancy))
{}

QByteArray UdptlEncoder::encode(const QByteArray& ifp)
{
    if (ifp.size() > kMaxIfpBytes)
        return {};
    QByteArray out;
    out.append(char(m_sequence >> 8));
    out.append(char(m_sequence & 0xFF));
    putLength(out, ifp.size());
    out += ifp;
    // Error recovery: the redundancy choice (first bit 0), then the earlier IFPs.
    out.append(char(0x00));
    putLength(out, m_sent.size());
    for (const QByteArray& earlier : std::as_const(m_sent)) {
        putLength(out, earlier.size());
        out += earlier;
    }
    m_sent.prepend(ifp);
    while (m_sent.size() > m_redundancy)
        m_sent.removeLast();
    ++m_sequence;
    return out;
}

QList<UdptlDecoder::Ifp> UdptlDecoder::decode(const QByteArray& datagram)
{
    QList<Ifp> taken;
    if (datagram.size() < 4 || datagram.size() > kMaxUdptlBytes) {
        ++m_malformed;
        return taken;
    }
    qsizetype at = 0;
    const quint16 sequence = quint16((quint8(datagram[0]) << 8) | quint8(datagram[1]));
    at = 2;
    QByteArray primary;
    QList<QByteArray> secondary; // newest first: sequence - 1, - 2...
    bool ok = takeField(datagram, at, &primary) && at < datagram.size();
    if (ok) {
        const quint8 choice = quint8(datagram[at++]);
        if ((choice & 0x80) == 0) {
            const qsizetype count = takeLength(datagram, at);
            ok = count >= 0 && count <= kMaxRedundancy;
            for (qsizetype i = 0; ok && i < count; ++i) {
                QByteArray earlier;
                ok = takeField(datagram, at, &earlier);
                secondary.append(earlier);
            }
        }
        // Forward error correction (choice bit 1) is not sent by us; the primary stands.
    }
    if (!ok) {
        ++m_malformed;
        return taken;
    }

    if (!m_started) {
        m_started = true;
        m_expected = sequence;
    }
    // How far ahead of what we wait for it is, modulo the 16-bit sequence; a datagram from
    // the past (a duplicate, or one overtaken by its followers) brings nothing new.
    const quint16 ahead = quint16(sequence - m_expected);
    if (ahead >= 0x8000)
        return taken;
    // The gap before it: what its redundancy holds is recovered, the rest is lost.
    for (quint16 missing = ahead; missing > 0; --missing) {
        const quint16 seq = quint16(sequence - missing);
        const qsizetype index = missing - 1; // secondary[0] is sequence - 1
        if (index < secondary.size()) {
            taken.append({seq, secondary[index]});
            ++m_recovered;
        } else {
            ++m_lost;
        }
    }
    taken.append({sequence, primary});
    m_expected = quint16(sequence + 1);
    return taken;
}

} // namespace orvane::fax
