#include "platform/telephony/sip/T38Sdp.h"

#include "platform/fax/Udptl.h"

#include <QList>

#include <algorithm>

namespace orvane::sip {

namespace {

// "a=Name:value" or "a=Name" (a flag) -> name and value; case as written.
bool attribute(const QByteArray& line, QByteArray* name, QByteArray* value)
{
    if (!line.startsWith("a="))
        return false;
    const QByteArray rest = line.mid(2);
    const qsizetype colon = rest.indexOf(':');
    *name = (colon < 0 ? rest : rest.left(colon)).trimmed().toLower();
    *value = colon < 0 ? QByteArray("1") : rest.mid(colon + 1).trimmed();
    return true;
}

} // namespace

T38Stream t38StreamOf(const QByteArray& sdp)
{
    T38Stream stream;
    QByteArray sessionAddress;
    bool inT38 = false, seen = false, anyMedia = false;
    for (QByteArray line : sdp.split('\n')) {
        line = line.trimmed();
        if (line.startsWith("m=")) {
            anyMedia = true;
            const QList<QByteArray> fields = line.mid(2).split(' ');
            inT38 = !seen && fields.size() >= 4 && fields[0] == "image" &&
                    fields[2].toLower() == "udptl" && fields[3].toLower() == "t38";
            if (inT38) {
                seen = true;
                bool ok = false;
                const uint port = fields[1].toUInt(&ok);
                stream.port = ok && port <= 65535 ? quint16(port) : 0;
                stream.offered = stream.port != 0;
            }
            continue;
        }
        if (line.startsWith("c=")) {
            const QByteArray address = line.mid(2).split(' ').value(2).split('/').first();
            if (!anyMedia)
                sessionAddress = address;
            else if (inT38)
                stream.address = address;
            continue;
        }
        QByteArray name, value;
        if (!inT38 || !attribute(line, &name, &value))
            continue;
        bool ok = false;
        if (name == "t38faxversion") {
            const int v = value.toInt(&ok);
            if (ok && v >= 0 && v <= 3)
                stream.params.version = v;
        } else if (name == "t38maxbitrate") {
            const int rate = value.toInt(&ok);
            if (ok && rate >= 2400 && rate <= 33600)
                stream.params.maxBitRate = rate;
        } else if (name == "t38faxratemanagement") {
            stream.params.transferredTcf = value.toLower() == "transferredtcf";
        } else if (name == "t38faxmaxdatagram" || name == "t38maxdatagram") {
            const int size = value.toInt(&ok);
            if (ok && size >= 48)
                stream.params.maxDatagram = int(std::min<qsizetype>(size, fax::kMaxUdptlBytes));
        } else if (name == "t38faxudpec") {
            stream.params.redundancy = value.toLower() == "t38udpredundancy";
        }
    }
    if (stream.address.isEmpty())
        stream.address = sessionAddress;
    return stream;
}

T38Params t38Answer(const T38Params& theirs)
{
    T38Params ours;
    ours.version = std::min(theirs.version, 0);
    ours.maxBitRate = std::min(theirs.maxBitRate, 14400);
    ours.transferredTcf = true; // over UDP the training is not carried
    ours.maxDatagram = std::min(theirs.maxDatagram, 400);
    ours.redundancy = true;
    return ours;
}

QByteArray t38Section(quint16 port, const T38Params& params)
{
    return "m=image " + QByteArray::number(port) +
           " udptl t38\r\n"
           "a=T38FaxVersion:" +
           QByteArray::number(params.version) +
           "\r\na=T38MaxBitRate:" + QByteArray::number(params.maxBitRate) +
           "\r\na=T38FaxRateManagement:" + (params.transferredTcf ? "transferredTCF" : "localTCF") +
           "\r\na=T38FaxMaxDatagram:" + QByteArray::number(params.maxDatagram) +
           "\r\na=T38FaxUdpEC:" + (params.redundancy ? "t38UDPRedundancy" : "t38UDPFEC") + "\r\n";
}

} // namespace orvane::sip
