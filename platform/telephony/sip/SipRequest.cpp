#include "platform/telephony/sip/SipRequest.h"

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

#include <QRegularExpression>

namespace orvane::sip {

namespace {

QByteArray bytes(const struct pl& pl)
{
    return pl.p ? QByteArray(pl.p, qsizetype(pl.l)) : QByteArray();
}

bool has(const struct sip_msg* msg, enum sip_hdrid id)
{
    return sip_msg_hdr(msg, id) != nullptr;
}

bool collect(const struct sip_hdr* hdr, const struct sip_msg*, void* arg)
{
    auto* out = static_cast<QByteArray*>(arg);
    *out += "Via: " + bytes(hdr->val) + "\r\n";
    return false; // every one, in order
}

} // namespace

QString malformation(const struct sip_msg* msg)
{
    if (!has(msg, SIP_HDR_VIA) || !pl_isset(&msg->via.sentby))
        return QStringLiteral("Missing Via");
    if (!has(msg, SIP_HDR_FROM))
        return QStringLiteral("Missing From");
    if (!has(msg, SIP_HDR_TO))
        return QStringLiteral("Missing To");
    if (!has(msg, SIP_HDR_CALL_ID) || !pl_isset(&msg->callid))
        return QStringLiteral("Missing Call-ID");
    if (!has(msg, SIP_HDR_CSEQ) || !pl_isset(&msg->cseq.met))
        return QStringLiteral("Missing CSeq");
    if (pl_cmp(&msg->cseq.met, &msg->met) != 0)
        return QStringLiteral("CSeq names another method");
    // Over UDP a message is its datagram: a length that is no count, or promises more
    // than came, is a broken message, not a short body.
    if (const struct sip_hdr* length = sip_msg_hdr(msg, SIP_HDR_CONTENT_LENGTH)) {
        const QByteArray value = bytes(length->val).trimmed();
        bool ok = !value.isEmpty();
        for (char c : value)
            ok = ok && c >= '0' && c <= '9';
        const qulonglong count = ok ? value.toULongLong(&ok) : 0;
        if (!ok)
            return QStringLiteral("Bad Content-Length");
        // Bytes beyond the length are not part of the message; fewer are a message cut short.
        const qulonglong left = msg->mb ? mbuf_get_left(msg->mb) : 0;
        if (count > left)
            return QStringLiteral("Content-Length is beyond the body");
    }
    return {};
}

QByteArray badRequest(const struct sip_msg* msg, const QString& why)
{
    QByteArray out = "SIP/2.0 400 Bad Request\r\n";
    sip_msg_hdr_apply(msg, true, SIP_HDR_VIA, collect, &out);
    if (const struct sip_hdr* from = sip_msg_hdr(msg, SIP_HDR_FROM))
        out += "From: " + bytes(from->val) + "\r\n";
    if (const struct sip_hdr* to = sip_msg_hdr(msg, SIP_HDR_TO)) {
        out += "To: " + bytes(to->val);
        if (!pl_isset(&msg->to.tag))
            out += ";tag=" + QByteArray::number(qulonglong(rand_u64()), 16);
        out += "\r\n";
    }
    if (pl_isset(&msg->callid))
        out += "Call-ID: " + bytes(msg->callid) + "\r\n";
    if (const struct sip_hdr* cseq = sip_msg_hdr(msg, SIP_HDR_CSEQ))
        out += "CSeq: " + bytes(cseq->val) + "\r\n";
    QByteArray reason = why.toUtf8();
    reason.replace('"', '\'');
    out += "Warning: 399 orvane \"" + reason + "\"\r\nContent-Length: 0\r\n\r\n";
    return out;
}

QByteArray messageBody(const struct sip_msg* msg)
{
    if (!msg || !msg->mb || mbuf_get_left(msg->mb) == 0)
        return {};
    size_t size = mbuf_get_left(msg->mb);
    if (pl_isset(&msg->clen))
        size = qMin<size_t>(size, pl_u32(&msg->clen));
    return QByteArray(reinterpret_cast<const char*>(mbuf_buf(msg->mb)), qsizetype(size));
}

bool knownMethod(const QByteArray& method)
{
    static const QByteArray kMethods[] = {"REGISTER", "SUBSCRIBE", "NOTIFY", "MESSAGE", "INFO",
                                          "UPDATE",   "PRACK",     "REFER",  "PUBLISH"};
    for (const QByteArray& m : kMethods)
        if (m == method)
            return true;
    return false;
}

namespace {

bool collectTags(const struct sip_hdr* hdr, const struct sip_msg*, void* arg)
{
    auto* out = static_cast<QByteArrayList*>(arg);
    for (const QByteArray& tag : bytes(hdr->val).split(','))
        if (!tag.trimmed().isEmpty())
            out->append(tag.trimmed());
    return false;
}

} // namespace

QByteArrayList requiredExtensions(const struct sip_msg* msg)
{
    QByteArrayList tags;
    sip_msg_hdr_apply(msg, true, SIP_HDR_REQUIRE, collectTags, &tags);
    return tags;
}

bool privateAddress(const struct sa& address)
{
    if (sa_af(&address) == AF_INET) {
        const uint32_t a = sa_in(&address);
        return (a >> 24) == 10 || (a >> 20) == (172u << 4 | 1) || (a >> 16) == (192u << 8 | 168) ||
               (a >> 22) == (100u << 2 | 1) || (a >> 16) == (169u << 8 | 254);
    }
    if (sa_af(&address) == AF_INET6) {
        const uint8_t* b = address.u.in6.sin6_addr.s6_addr;
        return (b[0] & 0xfe) == 0xfc || (b[0] == 0xfe && (b[1] & 0xc0) == 0x80);
    }
    return false;
}

QByteArray contactAtSource(const struct sip_msg* msg)
{
    const struct sip_hdr* contact = sip_msg_hdr(msg, SIP_HDR_CONTACT);
    if (!contact || sip_msg_hdr(msg, SIP_HDR_RECORD_ROUTE) || privateAddress(msg->src))
        return {};
    struct sip_addr addr;
    struct sa named;
    if (sip_addr_decode(&addr, &contact->val) != 0)
        return {};
    const QByteArray host = bytes(addr.uri.host);
    if (sa_set_str(&named, host.constData(), 5060) != 0 || !privateAddress(named))
        return {};
    char at[80] = {};
    re_snprintf(at, sizeof at, "%J", &msg->src);
    QByteArray uri = "sip:";
    if (pl_isset(&addr.uri.user))
        uri += bytes(addr.uri.user) + '@';
    uri += at;
    if (msg->tp != SIP_TRANSP_UDP)
        uri += QByteArray(";transport=") + sip_transp_name(msg->tp);
    return uri;
}

QByteArray routeHop(const QString& uri)
{
    QString hop = uri;
    static const QRegularExpression lr(QStringLiteral(";lr(?=;|$|>)"),
                                       QRegularExpression::CaseInsensitiveOption);
    hop.remove(lr);
    return hop.toUtf8();
}

int retargetDialog(struct sip_dialog* dialog, const QByteArray& uri)
{
    // A message of the one header libre reads for it.
    const QByteArray text = "SIP/2.0 200 OK\r\nContact: <" + uri + ">\r\nContent-Length: 0\r\n\r\n";
    struct mbuf* mb = mbuf_alloc(size_t(text.size()));
    if (!mb)
        return ENOMEM;
    mbuf_write_mem(mb, reinterpret_cast<const uint8_t*>(text.constData()), size_t(text.size()));
    mb->pos = 0;
    struct sip_msg* msg = nullptr;
    int rc = sip_msg_decode(&msg, mb);
    if (rc == 0)
        rc = sip_dialog_update(dialog, msg);
    mem_deref(msg);
    mem_deref(mb);
    return rc;
}

} // namespace orvane::sip
