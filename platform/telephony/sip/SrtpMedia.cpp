#include "platform/telephony/sip/SrtpMedia.h"

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

namespace orvane::sip {

namespace {

constexpr qsizetype kKeySaltBytes = 30;
// Below the RTP layer's own handling: the helper sees what goes on and comes off the wire.
constexpr int kSrtpLayer = 10;

struct Suite {
    const char* name;
    enum srtp_suite suite;
};
const Suite kSuites[] = {{"AES_CM_128_HMAC_SHA1_80", SRTP_AES_CM_128_HMAC_SHA1_80},
                         {"AES_CM_128_HMAC_SHA1_32", SRTP_AES_CM_128_HMAC_SHA1_32}};

// The lines of the SDP's first audio section.
QList<QByteArray> audioSection(const QByteArray& sdp)
{
    QList<QByteArray> lines;
    bool inAudio = false, seen = false;
    for (QByteArray line : sdp.split('\n')) {
        line = line.trimmed();
        if (line.startsWith("m=")) {
            inAudio = !seen && line.startsWith("m=audio ");
            seen = seen || inAudio;
        }
        if (inAudio)
            lines.append(line);
    }
    return lines;
}

} // namespace

const char* suiteName(int suite)
{
    for (const Suite& s : kSuites)
        if (int(s.suite) == suite)
            return s.name;
    return "";
}

QList<SdesCrypto> cryptosOf(const QByteArray& sdp)
{
    QList<SdesCrypto> found;
    for (const QByteArray& line : audioSection(sdp)) {
        if (!line.startsWith("a=crypto:"))
            continue;
        // a=crypto:<tag> <suite> inline:<key||salt>[|lifetime][|MKI:length] [session params]
        const QList<QByteArray> fields = line.mid(9).split(' ');
        if (fields.size() < 3 || !fields[2].startsWith("inline:"))
            continue;
        bool ok = false;
        const int tag = fields[0].toInt(&ok);
        if (!ok || tag < 0 || tag > 999999999)
            continue;
        int suite = -1;
        for (const Suite& s : kSuites)
            if (fields[1] == s.name)
                suite = int(s.suite);
        const QByteArray key = fields[2].mid(7);
        if (suite < 0 || key.contains('|'))
            continue; // a suite we do not speak, or a lifetime or MKI libre cannot follow
        const QByteArray keySalt =
            QByteArray::fromBase64(key, QByteArray::AbortOnBase64DecodingErrors);
        if (keySalt.size() != kKeySaltBytes)
            continue;
        found.append(SdesCrypto{tag, suite, keySalt});
    }
    return found;
}

bool secureProfile(const QByteArray& sdp)
{
    const QList<QByteArray> section = audioSection(sdp);
    return !section.isEmpty() && section.first().split(' ').value(2) == "RTP/SAVP";
}

Result<SdesCrypto> chooseCrypto(const QByteArray& offer, MediaEncryption mode)
{
    const QList<SdesCrypto> offered = cryptosOf(offer);
    const bool secure = secureProfile(offer);
    if (mode == MediaEncryption::None) {
        if (secure)
            return Status(err::InvalidArg, QStringLiteral("The caller speaks SRTP only"));
        return SdesCrypto();
    }
    if (!offered.isEmpty())
        return offered.first();
    if (mode == MediaEncryption::SrtpMandatory)
        return Status(err::InvalidArg, QStringLiteral("The caller offers no SRTP key we can use"));
    if (secure)
        return Status(err::InvalidArg, QStringLiteral("The caller's SRTP keys are of no suite we "
                                                      "speak"));
    return SdesCrypto();
}

SdesCrypto newCrypto(int tag, int suite)
{
    QByteArray keySalt(kKeySaltBytes, Qt::Uninitialized);
    rand_bytes(reinterpret_cast<uint8_t*>(keySalt.data()), size_t(keySalt.size()));
    return SdesCrypto{tag, suite, keySalt};
}

QByteArray cryptoAttribute(const SdesCrypto& crypto)
{
    return QByteArray::number(crypto.tag) + ' ' + suiteName(crypto.suite) +
           " inline:" + crypto.keySalt.toBase64();
}

Result<std::unique_ptr<SrtpSession>>
SrtpSession::start(struct rtp_sock* rtp, const SdesCrypto& ours, const SdesCrypto& theirs)
{
    std::unique_ptr<SrtpSession> session(new SrtpSession);
    if (srtp_alloc(&session->m_tx, static_cast<enum srtp_suite>(ours.suite),
                   reinterpret_cast<const uint8_t*>(ours.keySalt.constData()),
                   size_t(ours.keySalt.size()), 0) != 0)
        return Status(err::Fail, QStringLiteral("Cannot set up SRTP"));
    if (Status s = session->setTheirs(theirs); !s)
        return s;
    if (rtp && udp_register_helper(&session->m_helper, static_cast<struct udp_sock*>(rtp_sock(rtp)),
                                   kSrtpLayer, onSend, onReceive, session.get()) != 0)
        return Status(err::Fail, QStringLiteral("Cannot set up SRTP"));
    if (rtp && rtcp_sock(rtp) &&
        udp_register_helper(&session->m_reportHelper, static_cast<struct udp_sock*>(rtcp_sock(rtp)),
                            kSrtpLayer, onSendReport, onReceiveReport, session.get()) != 0)
        return Status(err::Fail, QStringLiteral("Cannot set up SRTCP"));
    return session;
}

SrtpSession::~SrtpSession()
{
    mem_deref(m_reportHelper);
    mem_deref(m_helper);
    mem_deref(m_tx);
    mem_deref(m_rx);
}

Status SrtpSession::setTheirs(const SdesCrypto& theirs)
{
    if (m_rx && theirs == m_theirs)
        return {};
    struct srtp* rx = nullptr;
    if (srtp_alloc(&rx, static_cast<enum srtp_suite>(theirs.suite),
                   reinterpret_cast<const uint8_t*>(theirs.keySalt.constData()),
                   size_t(theirs.keySalt.size()), 0) != 0)
        return Status(err::Fail, QStringLiteral("Cannot set up SRTP for the far end's key"));
    mem_deref(m_rx);
    m_rx = rx;
    m_theirs = theirs;
    return {};
}

bool SrtpSession::onSend(int* err, struct sa*, struct mbuf* mb, void* arg)
{
    auto* self = static_cast<SrtpSession*>(arg);
    *err = srtp_encrypt(self->m_tx, mb);
    return false; // on to the wire, encrypted
}

bool SrtpSession::onSendReport(int* err, struct sa*, struct mbuf* mb, void* arg)
{
    *err = srtcp_encrypt(static_cast<SrtpSession*>(arg)->m_tx, mb);
    return false;
}

bool SrtpSession::onReceiveReport(struct sa*, struct mbuf* mb, void* arg)
{
    auto* self = static_cast<SrtpSession*>(arg);
    if (srtcp_decrypt(self->m_rx, mb) != 0) {
        ++self->m_rejected;
        return true;
    }
    return false;
}

bool SrtpSession::onReceive(struct sa*, struct mbuf* mb, void* arg)
{
    auto* self = static_cast<SrtpSession*>(arg);
    // What fails authentication (plain RTP, a forgery, a replay) never reaches the call.
    if (srtp_decrypt(self->m_rx, mb) != 0) {
        ++self->m_rejected;
        return true;
    }
    return false;
}

} // namespace orvane::sip
