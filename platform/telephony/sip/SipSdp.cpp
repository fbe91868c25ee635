#include "platform/telephony/sip/SipSdp.h"

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

#include <QSet>

#include <arpa/inet.h>

namespace orvane::sip {

namespace {

// libre's buffers, released with the scope.
struct MbufRef {
    mbuf* mb = nullptr;
    ~MbufRef() { mem_deref(mb); }
};

mbuf* toMbuf(const QByteArray& bytes)
{
    mbuf* mb = mbuf_alloc(size_t(bytes.size()) + 1);
    if (!mb)
        return nullptr;
    mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()));
    mb->pos = 0;
    return mb;
}

int addFormats(sdp_media* m, Codec only)
{
    int rc = 0;
    if (only != Codec::Pcma)
        rc |= sdp_format_add(nullptr, m, false, "0", "PCMU", 8000, 1, nullptr, nullptr, nullptr,
                             false, nullptr);
    if (only != Codec::Pcmu)
        rc |= sdp_format_add(nullptr, m, false, "8", "PCMA", 8000, 1, nullptr, nullptr, nullptr,
                             false, nullptr);
    rc |= sdp_format_add(nullptr, m, false, "101", "telephone-event", 8000, 1, nullptr, nullptr,
                         nullptr, false, "0-15");
    return rc;
}

} // namespace

bool mediaWellFormed(const QByteArray& sdp)
{
    for (QByteArray line : sdp.split('\n')) {
        line = line.trimmed();
        if (line.startsWith("c=")) {
            // c=IN IP4 192.0.2.1[/ttl]: an address we could send RTP to.
            const QList<QByteArray> fields = line.mid(2).split(' ');
            if (fields.size() != 3 || fields[0] != "IN")
                return false;
            const QByteArray address = fields[2].split('/').first(); // less a TTL
            unsigned char buffer[16];
            const int family = fields[1] == "IP4" ? AF_INET : fields[1] == "IP6" ? AF_INET6 : -1;
            if (family < 0 || inet_pton(family, address.constData(), buffer) != 1)
                return false;
        } else if (line.startsWith("m=")) {
            // m=audio 49170[/2] RTP/AVP 0: a port that is one.
            const QList<QByteArray> fields = line.mid(2).split(' ');
            if (fields.size() < 4)
                return false;
            const QByteArray port = fields[1].split('/').first(); // less a count of ports
            bool ok = false;
            const uint value = port.toUInt(&ok);
            if (!ok || port.isEmpty() || port.startsWith('+') || value > 65535)
                return false;
        }
    }
    return true;
}

OfferedMedia offeredMedia(const QByteArray& sdp)
{
    // The session's lines hold for the audio unless its own section says otherwise.
    QByteArray sessionAddress, audioAddress, sessionDirection, audioDirection;
    bool inAudio = false, seenAudio = false, audioPortZero = false;
    for (QByteArray line : sdp.split('\n')) {
        line = line.trimmed();
        if (line.startsWith("m=")) {
            // The first audio stream is the call's.
            inAudio = !seenAudio && line.startsWith("m=audio ");
            if (inAudio) {
                seenAudio = true;
                audioPortZero = line.split(' ').value(1).split('/').first() == "0";
            }
            continue;
        }
        const bool session = !seenAudio;
        if (!session && !inAudio)
            continue;
        if (line.startsWith("c="))
            (session ? sessionAddress : audioAddress) = line.mid(2);
        else if (line == "a=sendonly" || line == "a=inactive" || line == "a=recvonly" ||
                 line == "a=sendrecv")
            (session ? sessionDirection : audioDirection) = line.mid(2);
    }
    const QByteArray address = audioAddress.isEmpty() ? sessionAddress : audioAddress;
    const QByteArray direction = audioDirection.isEmpty() ? sessionDirection : audioDirection;
    const QList<QByteArray> fields = address.split(' ');
    OfferedMedia media;
    if (fields.size() == 3)
        media.family = fields[1] == "IP6" ? AF_INET6 : fields[1] == "IP4" ? AF_INET : 0;
    const QByteArray host = fields.value(2).split('/').first();
    media.listens = direction != "sendonly" && direction != "inactive" && host != "0.0.0.0" &&
                    host != "::" && !audioPortZero;
    return media;
}

QByteArray normalizeOffer(const QByteArray& sdp)
{
    // The static payload types 0 and 8 need no rtpmap line, but the SDP library matches
    // formats by name: write the lines the offer left out.
    const QList<QByteArray> lines = sdp.split('\n');
    QByteArray out;
    out.reserve(sdp.size() + 64);
    QList<int> listed;
    QSet<int> mapped;
    bool audio = false;
    auto closeSection = [&] {
        if (!audio)
            return;
        if (listed.contains(0) && !mapped.contains(0))
            out += "a=rtpmap:0 PCMU/8000\r\n";
        if (listed.contains(8) && !mapped.contains(8))
            out += "a=rtpmap:8 PCMA/8000\r\n";
    };
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (line.startsWith("m=")) {
            closeSection();
            listed.clear();
            mapped.clear();
            const QList<QByteArray> fields = line.mid(2).split(' ');
            audio = fields.value(0) == "audio";
            for (qsizetype i = 3; i < fields.size(); ++i) {
                bool ok = false;
                const int pt = fields[i].toInt(&ok);
                if (ok)
                    listed.append(pt);
            }
        } else if (line.startsWith("a=rtpmap:")) {
            bool ok = false;
            const int pt = line.mid(9, line.indexOf(' ') - 9).toInt(&ok);
            if (ok)
                mapped.insert(pt);
        }
        out += line + "\r\n";
    }
    closeSection();
    return out;
}

namespace {

Codec codecOf(const sdp_media* m)
{
    if (!m || sdp_media_rport(m) == 0)
        return Codec::None;
    if (sdp_media_rformat(m, "PCMU"))
        return Codec::Pcmu;
    if (sdp_media_rformat(m, "PCMA"))
        return Codec::Pcma;
    return Codec::None;
}

} // namespace

Codec chooseCodec(const QByteArray& offer)
{
    if (offer.isEmpty() || !mediaWellFormed(offer))
        return Codec::None;
    sdp_session* session = nullptr;
    sdp_media* media = nullptr;
    sa local;
    sa_set_str(&local, "127.0.0.1", 0);
    if (sdp_session_alloc(&session, &local) != 0)
        return Codec::None;
    Codec codec = Codec::None;
    MbufRef mb{toMbuf(normalizeOffer(offer))};
    if (mb.mb && sdp_media_add(&media, session, "audio", 9, "RTP/AVP") == 0 &&
        sdp_media_set_alt_protos(media, 2, sdp_proto_rtpavp, sdp_proto_rtpsavp) == 0 &&
        addFormats(media, Codec::None) == 0 && sdp_decode(session, mb.mb, true) == 0)
        codec = codecOf(media);
    mem_deref(session);
    return codec;
}

SdpNegotiation::~SdpNegotiation()
{
    mem_deref(m_session);
}

Status SdpNegotiation::prepare(const struct sa& local, const QByteArray& offer,
                               MediaEncryption encryption)
{
    mem_deref(m_session);
    m_session = nullptr;
    m_media = nullptr;
    m_encryption = encryption;
    m_ours = m_theirs = SdesCrypto();
    m_codec = offer.isEmpty() ? Codec::None : chooseCodec(offer);
    if (!offer.isEmpty() && m_codec == Codec::None)
        return Status(err::InvalidArg, QStringLiteral("The offer has neither G.711 law"));
    if (!offer.isEmpty()) {
        Result<SdesCrypto> theirs = chooseCrypto(offer, encryption);
        if (!theirs)
            return theirs.status();
        m_theirs = theirs.value();
        if (m_theirs.isSet())
            m_ours = newCrypto(m_theirs.tag, m_theirs.suite);
    } else if (encryption != MediaEncryption::None) {
        m_ours = newCrypto(1, SRTP_AES_CM_128_HMAC_SHA1_80);
    }
    // Our offer on the secure profile when nothing else will do; an answer on the
    // offer's own profile (libre takes either).
    const char* proto = offer.isEmpty() && encryption == MediaEncryption::SrtpMandatory
                            ? sdp_proto_rtpsavp
                            : sdp_proto_rtpavp;
    if (sdp_session_alloc(&m_session, &local) != 0 ||
        sdp_media_add(&m_media, m_session, "audio", sa_port(&local), proto) != 0 ||
        sdp_media_set_alt_protos(m_media, 2, sdp_proto_rtpavp, sdp_proto_rtpsavp) != 0 ||
        addFormats(m_media, m_codec) != 0 ||
        (m_ours.isSet() && sdp_media_set_lattr(m_media, true, "crypto", "%s",
                                               cryptoAttribute(m_ours).constData()) != 0))
        return Status(err::OutOfMemory, QStringLiteral("Cannot describe the call's audio"));
    if (offer.isEmpty())
        return {};
    MbufRef mb{toMbuf(normalizeOffer(offer))};
    if (!mb.mb || sdp_decode(m_session, mb.mb, true) != 0)
        return Status(err::InvalidArg, QStringLiteral("The offer cannot be read"));
    return chooseFromRemote();
}

Status SdpNegotiation::takeCrypto(const QByteArray& sdp, bool answer)
{
    if (!m_ours.isSet())
        return {};
    const QList<SdesCrypto> offered = cryptosOf(sdp);
    SdesCrypto theirs;
    for (const SdesCrypto& c : offered)
        if (c.suite == m_ours.suite && (!answer || c.tag == m_ours.tag)) {
            theirs = c;
            break;
        }
    if (answer && !theirs.isSet() && m_encryption == MediaEncryption::Srtp && !m_theirs.isSet()) {
        // Offered, not taken: the call is plain, as the far end wants.
        m_ours = SdesCrypto();
        return {};
    }
    if (!theirs.isSet())
        return Status(err::InvalidArg, QStringLiteral("The far end drops the call's SRTP"));
    m_theirs = theirs;
    if (!answer && theirs.tag != m_ours.tag) {
        // Our answer names the tag of the line it takes.
        m_ours.tag = theirs.tag;
        sdp_media_set_lattr(m_media, true, "crypto", "%s", cryptoAttribute(m_ours).constData());
    }
    return {};
}

Status SdpNegotiation::takeOffer(const QByteArray& offer)
{
    if (!m_session)
        return Status(err::InvalidState, QStringLiteral("No audio has been prepared"));
    if (Status s = takeCrypto(offer, false); !s)
        return s;
    MbufRef mb{toMbuf(normalizeOffer(offer))};
    if (!mb.mb || sdp_decode(m_session, mb.mb, true) != 0)
        return Status(err::InvalidArg, QStringLiteral("The offer cannot be read"));
    return chooseFromRemote();
}

Status SdpNegotiation::takeAnswer(const QByteArray& answer)
{
    if (!m_session)
        return Status(err::InvalidState, QStringLiteral("No offer was made"));
    if (Status s = takeCrypto(answer, true); !s)
        return s;
    if (!m_ours.isSet())
        sdp_media_del_lattr(m_media, "crypto");
    MbufRef mb{toMbuf(normalizeOffer(answer))};
    if (!mb.mb || sdp_decode(m_session, mb.mb, false) != 0)
        return Status(err::InvalidArg, QStringLiteral("The answer cannot be read"));
    return chooseFromRemote();
}

Status SdpNegotiation::chooseFromRemote()
{
    m_codec = codecOf(m_media);
    if (m_codec == Codec::None)
        return Status(err::InvalidArg, QStringLiteral("The far end takes neither G.711 law"));
    return {};
}

Result<QByteArray> SdpNegotiation::encode(bool offer) const
{
    if (!m_session)
        return Status(err::InvalidState, QStringLiteral("No audio has been prepared"));
    mbuf* mb = nullptr;
    if (sdp_encode(&mb, m_session, offer) != 0 || !mb)
        return Status(err::Fail, QStringLiteral("Cannot write the call's SDP"));
    QByteArray text(reinterpret_cast<const char*>(mb->buf), qsizetype(mb->end));
    mem_deref(mb);
    return text;
}

void SdpNegotiation::remoteRtcp(struct sa* address) const
{
    sa_init(address, AF_UNSPEC);
    if (m_media)
        sdp_media_raddr_rtcp(m_media, address);
}

int SdpNegotiation::eventPayload() const
{
    const sdp_format* format = m_media ? sdp_media_rformat(m_media, "telephone-event") : nullptr;
    return format ? format->pt : -1;
}

bool SdpNegotiation::remote(struct sa* address) const
{
    if (!m_media || m_codec == Codec::None)
        return false;
    const sa* raddr = sdp_media_raddr(m_media);
    if (!raddr || !sa_isset(raddr, SA_ALL))
        return false;
    *address = *raddr;
    return true;
}

} // namespace orvane::sip
