// Fuzz target: UDPTL datagrams as a fax peer may send them (any bytes, any order), through
// the decoder: it never reads past a datagram, never hands out an IFP longer than allowed,
// never delivers a sequence number twice or out of order, and its counts add up.

#include "FuzzCheck.h"
#include "platform/fax/Udptl.h"

#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    orvane::fax::UdptlDecoder decoder;
    QSet<quint16> delivered;
    bool any = false;
    quint16 last = 0;
    size_t at = 0;
    // Datagrams, each a length byte then its bytes.
    while (at < size) {
        const size_t length = std::min<size_t>(data[at], size - at - 1);
        const QByteArray datagram(reinterpret_cast<const char*>(data + at + 1), qsizetype(length));
        at += 1 + length;
        for (const orvane::fax::UdptlDecoder::Ifp& ifp : decoder.decode(datagram)) {
            FUZZ_CHECK(ifp.data.size() <= orvane::fax::kMaxIfpBytes);
            FUZZ_CHECK(ifp.data.size() <= datagram.size());
            FUZZ_CHECK(!any || quint16(ifp.sequence - last) >= 1);
            FUZZ_CHECK(!delivered.contains(ifp.sequence) || delivered.size() > 60000);
            delivered.insert(ifp.sequence);
            last = ifp.sequence;
            any = true;
        }
    }
    FUZZ_CHECK(decoder.recovered() >= 0 && decoder.lost() >= 0 && decoder.malformed() >= 0);
    return 0;
}
