#include "platform/telephony/sip/SipCallerId.h"

#include "platform/telephony/CallerText.h"
#include "platform/telephony/sip/ReCompat.h"

#include <re.h>

namespace orvane::sip {

namespace {

QString text(const struct pl& pl)
{
    return QString::fromUtf8(pl.p, qsizetype(pl.l));
}

QByteArray bytes(const struct pl& pl)
{
    return QByteArray(pl.p, qsizetype(pl.l));
}

// A name-addr ("Ann" <sip:5550100@example.org>;party=calling) as caller and parameters.
bool decode(const QByteArray& value, CallerId* caller, QByteArray* params)
{
    if (value.trimmed().isEmpty())
        return false;
    struct pl pl;
    pl_set_str(&pl, value.constData());
    struct sip_addr addr;
    if (sip_addr_decode(&addr, &pl) != 0)
        return false;
    QString name = text(addr.dname).trimmed();
    if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
        name = name.mid(1, name.size() - 2);
    QString number = text(addr.uri.user);
    // tel:+15550100 has no user part: the number is the rest of the address.
    if (number.isEmpty() &&
        text(addr.uri.scheme).compare(QLatin1String("tel"), Qt::CaseInsensitive) == 0)
        number = text(addr.uri.host);
    // Visual separators and URI parameters are no part of a number.
    number = number.section(u';', 0, 0);
    QByteArray unescaped = QByteArray::fromPercentEncoding(number.toUtf8());
    caller->number = callerText(QString::fromUtf8(unescaped));
    caller->name = callerText(name);
    if (params)
        *params = bytes(addr.params).toLower();
    return !caller->number.isEmpty() || !caller->name.isEmpty();
}

bool anonymous(const CallerId& caller)
{
    return caller.number.compare(QLatin1String("anonymous"), Qt::CaseInsensitive) == 0 ||
           caller.name.compare(QLatin1String("anonymous"), Qt::CaseInsensitive) == 0;
}

} // namespace

CallerId callerIdOf(const QByteArray& assertedIdentity, const QByteArray& remotePartyId,
                    const QByteArray& from, const QByteArray& privacy)
{
    const CallerId withheld{QString::fromLatin1(kWithheld), QString()};
    const QByteArray asked = privacy.toLower();
    if (asked.contains("id") || asked.contains("user") || asked.contains("header"))
        return withheld;
    CallerId caller;
    QByteArray params;
    if (decode(assertedIdentity, &caller, nullptr))
        return anonymous(caller) ? withheld : caller;
    if (decode(remotePartyId, &caller, &params)) {
        if (params.contains("privacy=full") || params.contains("privacy=name") ||
            params.contains("privacy=uri") || anonymous(caller))
            return withheld;
        return caller;
    }
    if (decode(from, &caller, nullptr))
        return anonymous(caller) ? withheld : caller;
    return withheld;
}

CallerId callerIdOf(const struct sip_msg* invite)
{
    auto value = [invite](const char* name) {
        const struct sip_hdr* header = sip_msg_xhdr(invite, name);
        return header ? bytes(header->val) : QByteArray();
    };
    return callerIdOf(value("P-Asserted-Identity"), value("Remote-Party-ID"),
                      bytes(invite->from.val), value("Privacy"));
}

} // namespace orvane::sip
