// Fuzz target: an SDP offer from the network, as a SIP line reads and answers it. The law
// chosen must be one the offer carries, and our answer must name it (and only it) at our own
// port; a re-INVITE with the same offer keeps the call as it was. Around the SDP library,
// our answer has one media line for each offered one, with T.38 or with audio.

#include "FuzzCheck.h"

#include "platform/telephony/sip/ReCompat.h"
#include "platform/telephony/sip/SipSdp.h"
#include "platform/telephony/sip/T38Sdp.h"

#include <re.h>

#include <QByteArray>
#include <QList>

using namespace orvane;
using namespace orvane::sip;

namespace {

constexpr quint16 kLocalPort = 20000;

int mediaLines(const QByteArray& sdp)
{
    int count = 0;
    for (const QByteArray& line : sdp.split('\n'))
        count += line.startsWith("m=");
    return count;
}

// Our answer shaped to the offer, however it came: audio, or T.38 in its place.
void checkAligned(const QByteArray& ours, const QByteArray& offer)
{
    const QByteArray audio = alignedAnswer(ours, offer);
    FUZZ_CHECK(mediaLines(audio) == mediaLines(offer));
    const T38Stream stream = t38StreamOf(offer);
    FUZZ_CHECK(!stream.offered || stream.port != 0);
    const QByteArray t38 =
        alignedAnswer(t38Description(ours, kLocalPort, t38Answer(stream.params)), offer);
    FUZZ_CHECK(mediaLines(t38) == mediaLines(offer));
    FUZZ_CHECK(originVersion(withOriginVersion(t38, 7)) == 7);
    FUZZ_CHECK(!hasActiveAudio(withoutT38(offer)) || hasActiveAudio(offer));
}

bool names(const QByteArray& sdp, const char* law)
{
    return sdp.toUpper().contains(law);
}

// The formats of the one audio stream at our port in an SDP of ours.
QList<QByteArray> audioFormats(const QByteArray& sdp)
{
    const QByteArray ours = "m=audio " + QByteArray::number(kLocalPort) + " RTP/AVP ";
    QList<QByteArray> formats;
    int streams = 0;
    for (const QByteArray& line : sdp.split('\n')) {
        if (!line.startsWith(ours))
            continue;
        ++streams;
        formats = line.mid(ours.size()).trimmed().split(' ');
    }
    FUZZ_CHECK(streams == 1);
    return formats;
}

// What an offer that lets `codec` be chosen must carry.
void checkCarried(const QByteArray& normalized, Codec codec)
{
    if (codec == Codec::Pcmu)
        FUZZ_CHECK(names(normalized, "PCMU"));
    if (codec == Codec::Pcma)
        FUZZ_CHECK(names(normalized, "PCMA"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray offer(reinterpret_cast<const char*>(data), qsizetype(size));
    const QByteArray normalized = normalizeOffer(offer);
    FUZZ_CHECK(normalizeOffer(normalized) == normalized);
    const Codec chosen = chooseCodec(offer);
    checkCarried(normalized, chosen);

    SdpNegotiation negotiation;
    struct sa local;
    sa_set_str(&local, "127.0.0.1", kLocalPort);
    if (offer.isEmpty()) {
        // An INVITE without an offer: ours has both laws.
        FUZZ_CHECK(negotiation.prepare(local, offer).isOk());
        const Result<QByteArray> ours = negotiation.encode(true);
        FUZZ_CHECK(ours.isOk());
        const QList<QByteArray> offered = audioFormats(ours.value());
        FUZZ_CHECK(offered.contains("0") && offered.contains("8"));
        return 0;
    }
    if (!negotiation.prepare(local, offer))
        return 0;
    FUZZ_CHECK(chosen != Codec::None && negotiation.codec() == chosen);
    struct sa remote;
    if (negotiation.remote(&remote))
        FUZZ_CHECK(sa_port(&remote) != 0); // RTP to port 0 reaches nobody

    const Result<QByteArray> answer = negotiation.encode(false);
    FUZZ_CHECK(answer.isOk());
    checkAligned(answer.value(), offer);
    // Our audio (the other media of the offer are refused beside it): the law chosen, not
    // the other one.
    const QList<QByteArray> formats = audioFormats(answer.value());
    FUZZ_CHECK(formats.contains(chosen == Codec::Pcma ? "8" : "0"));
    FUZZ_CHECK(!formats.contains(chosen == Codec::Pcma ? "0" : "8"));

    // The same offer again (a re-INVITE that refreshes the call).
    FUZZ_CHECK(negotiation.takeOffer(offer).isOk());
    FUZZ_CHECK(negotiation.codec() == chosen);
    return 0;
}
