#pragma once

// UDPTL, the framing T.38 fax packets (IFP) travel in over UDP (ITU-T T.38 Annex, RFC
// 3362), with redundancy as its error recovery: each datagram carries, after its own IFP,
// the few IFPs sent before it, so that a datagram lost on the way is recovered from the
// next ones that arrive. Packed as ASN.1 PER does it: a 16-bit sequence number, the primary
// IFP as an open type (a length determinant and its bytes), then the error-recovery choice
// (redundancy: a count and the secondary IFPs, newest first).
//
// No Debian library offers it; spandsp's T.38 terminal takes the IFPs this carries.
//
// Thread: one at a time per object.

#include <QByteArray>
#include <QList>
#include <QtGlobal>

namespace orvane::fax {

// The largest IFP carried (T38FaxMaxDatagram stays well under it) and datagram read.
constexpr qsizetype kMaxIfpBytes = 1024;
constexpr qsizetype kMaxUdptlBytes = 8192;

class UdptlEncoder {
public:
    // `redundancy`: how many earlier IFPs each datagram repeats (0..8).
    explicit UdptlEncoder(int redundancy = 3);

    // The datagram that carries `ifp` as the next in sequence (empty when it is too long).
    QByteArray encode(const QByteArray& ifp);
    quint16 nextSequence() const { return m_sequence; }

private:
    int m_redundancy;
    quint16 m_sequence = 0;
    QList<QByteArray> m_sent; // newest first, at most m_redundancy
};

class UdptlDecoder {
public:
    struct Ifp {
        quint16 sequence;
        QByteArray data;
    };

    // The IFPs a datagram brings, in order: those it recovers from its redundancy first
    // (the ones lost before it), then its own. Empty for a datagram already taken (a
    // duplicate, or one that comes after a later one), or one that is malformed.
    QList<Ifp> decode(const QByteArray& datagram);

    qint64 recovered() const { return m_recovered; } // IFPs taken from redundancy
    qint64 lost() const { return m_lost; }           // IFPs neither came nor were recovered
    qint64 malformed() const { return m_malformed; }

private:
    bool m_started = false;
    quint16 m_expected = 0; // the next sequence number not yet delivered
    qint64 m_recovered = 0, m_lost = 0, m_malformed = 0;
};

} // namespace orvane::fax
