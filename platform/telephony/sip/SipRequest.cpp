#include "platform/telephony/sip/SipRequest.h"

#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

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

} // namespace orvane::sip
