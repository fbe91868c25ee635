// Fuzz target: RTP as a caller may send it (any order, sizes, timestamps), through the
// jitter buffer, checking that every take gives exactly what it was asked for.

#include "platform/telephony/sip/JitterBuffer.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    orvane::sip::JitterBuffer jb(480);
    quint8 out[800];
    size_t at = 0;
    while (at + 7 <= size) {
        const quint16 seq = quint16(data[at] | data[at + 1] << 8);
        quint32 ts;
        std::memcpy(&ts, data + at + 2, 4);
        const size_t len = std::min<size_t>(data[at + 6] * 4u, size - at - 7);
        if (data[at] & 1) {
            jb.put(seq, ts, data + at + 7, qsizetype(len));
        } else {
            const qsizetype want = 1 + data[at + 6] % 800;
            std::memset(out, 0xAA, sizeof(out));
            jb.take(out, want);
            for (qsizetype i = want; i < qsizetype(sizeof(out)); ++i)
                if (out[i] != 0xAA)
                    std::abort(); // wrote past what was asked
        }
        at += 7 + len;
    }
    return 0;
}
