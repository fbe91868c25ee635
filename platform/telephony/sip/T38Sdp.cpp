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

// An SDP as its session lines and its media sections (each from its m= line), every line
// CRLF-ended.
struct Parts {
    QByteArray session;
    QList<QByteArray> media;
};

Parts partsOf(const QByteArray& sdp)
{
    Parts parts;
    for (QByteArray line : sdp.split('\n')) {
        while (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        line += "\r\n";
        if (line.startsWith("m="))
            parts.media.append(line);
        else if (parts.media.isEmpty())
            parts.session += line;
        else
            parts.media.last() += line;
    }
    return parts;
}

QByteArray joined(const Parts& parts)
{
    QByteArray sdp = parts.session;
    for (const QByteArray& section : parts.media)
        sdp += section;
    return sdp;
}

// "m=audio 4000 RTP/AVP 0 8" -> its fields.
QList<QByteArray> mediaLine(const QByteArray& section)
{
    const qsizetype end = section.indexOf("\r\n");
    return section.mid(2, end < 0 ? -1 : end - 2).split(' ');
}

bool isT38Section(const QByteArray& section)
{
    const QList<QByteArray> fields = mediaLine(section);
    return fields.size() >= 4 && fields[0] == "image" && fields[2].toLower() == "udptl";
}

} // namespace

QByteArray withoutT38(const QByteArray& sdp)
{
    Parts parts = partsOf(sdp);
    parts.media.removeIf(isT38Section);
    return joined(parts);
}

bool hasActiveAudio(const QByteArray& sdp)
{
    for (const QByteArray& section : partsOf(sdp).media) {
        const QList<QByteArray> fields = mediaLine(section);
        if (fields.size() >= 2 && fields[0] == "audio" && fields[1].split('/').first() != "0")
            return true;
    }
    return false;
}

QByteArray t38Description(const QByteArray& ours, quint16 port, const T38Params& params)
{
    Parts parts = partsOf(ours);
    QByteArray connection;
    if (!parts.session.contains("\r\nc=") && !parts.session.startsWith("c="))
        for (const QByteArray& section : parts.media)
            if (const qsizetype at = section.indexOf("\r\nc="); at >= 0 && connection.isEmpty())
                connection = section.mid(at + 2, section.indexOf("\r\n", at + 2) - at);
    parts.media = {t38Section(port, params) + connection};
    return joined(parts);
}

QByteArray withSection(const QByteArray& ours, const QByteArray& section)
{
    Parts parts = partsOf(ours);
    parts.media.append(section);
    return joined(parts);
}

QByteArray alignedAnswer(const QByteArray& ours, const QByteArray& offer)
{
    Parts mine = partsOf(ours);
    Parts answer{mine.session, {}};
    for (const QByteArray& offered : partsOf(offer).media) {
        const QList<QByteArray> fields = mediaLine(offered);
        const qsizetype match =
            std::find_if(mine.media.begin(), mine.media.end(),
                         [&](const QByteArray& section) {
                             return mediaLine(section).value(0) == fields.value(0);
                         }) -
            mine.media.begin();
        if (match < mine.media.size()) {
            answer.media.append(mine.media.takeAt(match));
            continue;
        }
        // Refused: its port 0, its formats as offered.
        QList<QByteArray> refused = fields;
        while (refused.size() < 4)
            refused.append(refused.size() == 1 ? "0" : "-");
        refused[1] = "0";
        answer.media.append("m=" + refused.join(' ') + "\r\n");
    }
    return joined(answer);
}

QByteArray withOriginVersion(const QByteArray& sdp, quint64 version)
{
    Parts parts = partsOf(sdp);
    QList<QByteArray> lines = parts.session.split('\n');
    for (QByteArray& line : lines) {
        if (!line.startsWith("o="))
            continue;
        QList<QByteArray> fields = line.trimmed().split(' ');
        if (fields.size() >= 3)
            fields[2] = QByteArray::number(version);
        line = fields.join(' ') + '\r';
    }
    parts.session = lines.join('\n');
    return joined(parts);
}

quint64 originVersion(const QByteArray& sdp)
{
    for (const QByteArray& line : partsOf(sdp).session.split('\n'))
        if (line.startsWith("o="))
            return line.trimmed().split(' ').value(2).toULongLong();
    return 0;
}

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
