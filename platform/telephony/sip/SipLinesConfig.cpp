#include "platform/telephony/sip/SipLinesConfig.h"

#include "platform/RegularFile.h"
#include "platform/SectionedText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>

#include <algorithm>
#include <arpa/inet.h>
#include <sys/stat.h>

namespace orvane::sip {

namespace {

Status mistake(int lineNo, const QString& what)
{
    return sectionedTextMistake(QStringLiteral("lines.conf"), lineNo, what);
}

// "sip:user@host[:port][;params]" -> user and host.
// A numeric address in its one written form ("0::1" is "::1"), so that two lines on the
// same address are seen to be; empty when it is none.
QString canonicalAddress(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    unsigned char buffer[16];
    char written[INET6_ADDRSTRLEN] = {};
    for (const int family : {AF_INET, AF_INET6})
        if (inet_pton(family, bytes.constData(), buffer) == 1 &&
            inet_ntop(family, buffer, written, sizeof written))
            return QString::fromLatin1(written);
    return {};
}

bool splitSipUri(const QString& uri, QString* user, QString* host)
{
    const qsizetype scheme = uri.startsWith(QLatin1String("sip:"))    ? 4
                             : uri.startsWith(QLatin1String("sips:")) ? 5
                                                                      : 0;
    if (scheme == 0)
        return false;
    QString rest = uri.mid(scheme);
    rest = rest.left(rest.indexOf(QLatin1Char(';')) < 0 ? rest.size()
                                                        : rest.indexOf(QLatin1Char(';')));
    const qsizetype at = rest.indexOf(QLatin1Char('@'));
    if (user)
        *user = at < 0 ? QString() : rest.left(at);
    if (host)
        *host = at < 0 ? rest : rest.mid(at + 1);
    return !(host ? host->isEmpty() : rest.isEmpty());
}

// A path as a shell takes it, whatever characters it holds.
QString shellQuoted(const QString& path)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+-]+$"));
    if (plain.match(path).hasMatch())
        return path;
    QString quoted = path;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

// "a, b c" -> a, b, c.
QStringList listOf(const QString& value)
{
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    return value.split(separators, Qt::SkipEmptyParts);
}

// A request-URI user: what a trunk puts there (digits, +, *, #, letters).
bool plainUser(const QString& user)
{
    static const QRegularExpression allowed(QStringLiteral("^[A-Za-z0-9+*#._-]{1,64}$"));
    return allowed.match(user).hasMatch();
}

} // namespace

bool AddressRange::contains(const QByteArray& other) const
{
    if (other.size() != address.size())
        return false;
    for (int bit = 0; bit < prefix; bit += 8) {
        const int bits = qMin(8, prefix - bit);
        const quint8 mask = quint8(0xFF << (8 - bits));
        if ((quint8(other[bit / 8]) & mask) != (quint8(address[bit / 8]) & mask))
            return false;
    }
    return true;
}

Result<AddressRange> parseAddressRange(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    const QByteArray host = parts.first().toLatin1();
    unsigned char buffer[16];
    AddressRange range;
    if (inet_pton(AF_INET, host.constData(), buffer) == 1)
        range.address = QByteArray(reinterpret_cast<const char*>(buffer), 4);
    else if (inet_pton(AF_INET6, host.constData(), buffer) == 1)
        range.address = QByteArray(reinterpret_cast<const char*>(buffer), 16);
    else
        return Status(err::InvalidArg, QStringLiteral("\"%1\" is no address").arg(text));
    range.prefix = int(range.address.size()) * 8;
    if (parts.size() == 2) {
        bool ok = false;
        const int prefix = parts[1].toInt(&ok);
        if (!ok || prefix < 0 || prefix > range.prefix)
            return Status(err::InvalidArg, QStringLiteral("\"%1\" is no network").arg(text));
        range.prefix = prefix;
    } else if (parts.size() > 2) {
        return Status(err::InvalidArg, QStringLiteral("\"%1\" is no network").arg(text));
    }
    return range;
}

bool LineConfig::answers(const QString& requestUser) const
{
    return requestUser == user || acceptAny || accept.contains(requestUser);
}

QString LineConfig::routeUri(const QString& uri) const
{
    if (uri.isEmpty() || uri.contains(QLatin1String(";transport="), Qt::CaseInsensitive) ||
        transport == Transport::Udp || uri.startsWith(QLatin1String("sips:")))
        return uri;
    return uri + (transport == Transport::Tcp ? QLatin1String(";transport=tcp")
                                              : QLatin1String(";transport=tls"));
}

QString linesConfigPath()
{
    return userConfigFile("ORVANE_LINES_CONF", QStringLiteral("lines.conf"));
}

Result<QList<LineConfig>> parseLinesConfig(const QByteArray& text)
{
    Result<LinesFile> file = parseLinesFile(text);
    if (!file)
        return file.status();
    return file->lines;
}

Result<LinesFile> parseLinesFile(const QByteArray& text)
{
    Result<SectionedText> read =
        parseSectionedText(text, {QStringLiteral("lines.conf"), /*trailingComments=*/true});
    if (!read)
        return read.status();
    CallLimits limits;
    // Before the first line: the settings of the whole server.
    for (const SectionedText::Entry& e : std::as_const(read->head)) {
        bool ok = true;
        if (e.key == QLatin1String("max_calls")) {
            limits.maxCalls = e.value.toInt(&ok);
            ok = ok && limits.maxCalls >= 1 && limits.maxCalls <= 100000;
        } else if (e.key == QLatin1String("invite_rate")) {
            limits.inviteRate = e.value.toInt(&ok);
            ok = ok && limits.inviteRate >= 1 && limits.inviteRate <= 100000;
        } else if (e.key == QLatin1String("media_threads")) {
            limits.mediaThreads = e.value.toInt(&ok);
            ok = ok && limits.mediaThreads >= 0 && limits.mediaThreads <= 64;
        } else {
            return mistake(e.lineNo, QStringLiteral("\"%1\" is no setting of the server; line "
                                                    "settings come after a [line]")
                                         .arg(e.key));
        }
        if (!ok)
            return mistake(e.lineNo,
                           QStringLiteral("\"%1\" is not a valid %2").arg(e.value, e.key));
    }

    QList<LineConfig> lines;
    QList<int> startLines;
    for (const SectionedText::Section& section : std::as_const(read->sections)) {
        LineConfig line;
        line.name = section.name;
        bool transportGiven = false;
        for (const SectionedText::Entry& e : section.entries) {
            const QString& key = e.key;
            const QString& value = e.value;
            bool ok = true;
            if (key == QLatin1String("uri")) {
                line.uri = value;
            } else if (key == QLatin1String("registrar")) {
                line.registrar = value;
            } else if (key == QLatin1String("user")) {
                line.authUser = value;
            } else if (key == QLatin1String("password")) {
                line.password = value;
            } else if (key == QLatin1String("address")) {
                line.address = canonicalAddress(value);
                ok = !line.address.isEmpty();
            } else if (key == QLatin1String("port")) {
                const uint port = value.toUInt(&ok);
                ok = ok && port > 0 && port < 65536;
                line.port = quint16(port);
            } else if (key == QLatin1String("ring_interval_ms")) {
                line.ringIntervalMs = value.toInt(&ok);
                ok = ok && line.ringIntervalMs >= 100 && line.ringIntervalMs <= 60000;
            } else if (key == QLatin1String("stop_on_hangup")) {
                ok = readYesNo(value, &line.stopOnHangup);
            } else if (key == QLatin1String("transport")) {
                const QString v = value.toLower();
                ok = v == QLatin1String("udp") || v == QLatin1String("tcp") ||
                     v == QLatin1String("tls");
                line.transport = v == QLatin1String("tls")   ? Transport::Tls
                                 : v == QLatin1String("tcp") ? Transport::Tcp
                                                             : Transport::Udp;
                transportGiven = true;
            } else if (key == QLatin1String("outbound_proxy")) {
                line.outboundProxy = value;
                ok = splitSipUri(value, nullptr, nullptr);
            } else if (key == QLatin1String("keepalive_s")) {
                line.keepaliveSeconds = value.toInt(&ok);
                ok = ok && line.keepaliveSeconds >= 0 && line.keepaliveSeconds <= 3600;
            } else if (key == QLatin1String("public_address")) {
                line.publicAddress = canonicalAddress(value);
                ok = !line.publicAddress.isEmpty();
            } else if (key == QLatin1String("tls_ca")) {
                line.tlsCa = value;
            } else if (key == QLatin1String("tls_verify")) {
                ok = readYesNo(value, &line.tlsVerify);
            } else if (key == QLatin1String("tls_certificate")) {
                line.tlsCertificate = value;
            } else if (key == QLatin1String("accept")) {
                for (const QString& user : listOf(value)) {
                    if (user.toLower() == QLatin1String("any"))
                        line.acceptAny = true;
                    else if (plainUser(user))
                        line.accept.append(user);
                    else
                        ok = false;
                }
                ok = ok && !listOf(value).isEmpty();
            } else if (key == QLatin1String("media_encryption")) {
                const QString v = value.toLower();
                ok = v == QLatin1String("none") || v == QLatin1String("srtp") ||
                     v == QLatin1String("srtp_mandatory");
                line.mediaEncryption = v == QLatin1String("srtp") ? MediaEncryption::Srtp
                                       : v == QLatin1String("none")
                                           ? MediaEncryption::None
                                           : MediaEncryption::SrtpMandatory;
            } else if (key == QLatin1String("stun_server")) {
                static const QRegularExpression server(QStringLiteral(
                    "^(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9.-]+|[0-9A-Fa-f:]+)(:\\d{1,5})?$"));
                line.stunServer = value;
                ok = server.match(value).hasMatch();
            } else if (key == QLatin1String("detect_fax")) {
                ok = readYesNo(value, &line.detectFax);
            } else if (key == QLatin1String("fax_transport")) {
                const QString v = value.toLower();
                ok = v == QLatin1String("auto") || v == QLatin1String("t38") ||
                     v == QLatin1String("audio");
                line.faxTransport = v == QLatin1String("t38")     ? LineConfig::FaxTransport::T38
                                    : v == QLatin1String("audio") ? LineConfig::FaxTransport::Audio
                                                                  : LineConfig::FaxTransport::Auto;
            } else if (key == QLatin1String("dtmf_skip_greeting")) {
                ok = value.size() == 1 && QStringLiteral("0123456789*#ABCD").contains(value[0]);
                line.dtmfSkipKey = ok ? char(value[0].toLatin1()) : 0;
            } else if (key == QLatin1String("allow_from")) {
                for (const QString& from : listOf(value)) {
                    if (from.toLower() == QLatin1String("any")) {
                        line.allowAny = true;
                        continue;
                    }
                    Result<AddressRange> range = parseAddressRange(from);
                    if (range)
                        line.allowFrom.append(range.value());
                    else
                        ok = false;
                }
                ok = ok && !listOf(value).isEmpty();
            } else if (key == QLatin1String("expires")) {
                line.expires = value.toInt(&ok);
                ok = ok && line.expires >= 60 && line.expires <= 86400;
            } else {
                return mistake(e.lineNo, QStringLiteral("unknown setting \"%1\"").arg(key));
            }
            if (!ok)
                return mistake(e.lineNo,
                               QStringLiteral("\"%1\" is not a valid %2").arg(value, key));
        }
        if (line.uri.startsWith(QLatin1String("sips:"))) {
            if (transportGiven && line.transport != Transport::Tls)
                return mistake(section.lineNo,
                               QStringLiteral("a sips: line takes transport = tls"));
            line.transport = Transport::Tls;
        }
        lines.append(line);
        startLines.append(section.lineNo);
    }

    QSet<QString> endpoints;
    QHash<QString, int> streamPorts; // "address|port" -> the first line using TCP or TLS there
    QSet<QString> answeringAny;
    for (int i = 0; i < lines.size(); ++i) {
        LineConfig& line = lines[i];
        if (line.uri.isEmpty())
            return mistake(startLines[i], QStringLiteral("line \"%1\" has no uri").arg(line.name));
        if (!splitSipUri(line.uri, &line.user, &line.domain) || line.user.isEmpty())
            return mistake(startLines[i],
                           QStringLiteral("\"%1\" is not a sip:user@host address").arg(line.uri));
        if (!line.registrar.isEmpty() && !splitSipUri(line.registrar, nullptr, nullptr))
            return mistake(startLines[i],
                           QStringLiteral("\"%1\" is not a sip: registrar").arg(line.registrar));
        if (!line.password.isEmpty() && line.registrar.isEmpty())
            return mistake(startLines[i], QStringLiteral("a password needs a registrar"));
        if (line.authUser.isEmpty())
            line.authUser = line.user;
        // Lines may share a port; the user of the request URI tells them apart.
        const QString endpoint =
            QStringLiteral("%1|%2|%3").arg(line.address).arg(line.port).arg(line.user);
        if (endpoints.contains(endpoint))
            return mistake(
                startLines[i],
                QStringLiteral("another line on port %1 is user %2").arg(line.port).arg(line.user));
        endpoints.insert(endpoint);
        // One TCP socket per port: its lines speak TCP or TLS, and TLS lines on it share
        // one certificate and one way of checking the peer's.
        const QString port = QStringLiteral("%1|%2").arg(line.address).arg(line.port);
        if (line.transport != Transport::Udp) {
            if (streamPorts.contains(port)) {
                const LineConfig& other = lines[streamPorts.value(port)];
                if (other.transport != line.transport || other.tlsCa != line.tlsCa ||
                    other.tlsVerify != line.tlsVerify ||
                    other.tlsCertificate != line.tlsCertificate)
                    return mistake(startLines[i],
                                   QStringLiteral("line \"%1\" on port %2 uses TCP or TLS "
                                                  "otherwise; give this line a port of its own")
                                       .arg(other.name)
                                       .arg(line.port));
            } else {
                streamPorts.insert(port, i);
            }
        }
        if (line.acceptAny) {
            if (answeringAny.contains(port))
                return mistake(startLines[i],
                               QStringLiteral("another line on port %1 already takes any number")
                                   .arg(line.port));
            answeringAny.insert(port);
        }
        if (!line.tlsCertificate.isEmpty() && line.transport != Transport::Tls)
            return mistake(startLines[i], QStringLiteral("tls_certificate needs transport = tls"));
    }
    return LinesFile{lines, limits, {}};
}

Result<LinesFile> readLinesFile()
{
    const QString path = linesConfigPath();
    if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink())
        return LinesFile();
    // Only a regular file of sensible size: a FIFO would hang the line server for good and
    // /dev/zero would fill its memory.
    Result<QByteArray> text = readRegularFile(path, kMaxLinesFileBytes);
    if (!text)
        return Status(err::InvalidArg,
                      QStringLiteral("lines.conf: %1").arg(text.status().description()));
    Result<LinesFile> file = parseLinesFile(text.value());
    if (!file)
        return file;
    // Passwords that every user of the machine can read are no secret.
    const bool passwords = std::any_of(file->lines.cbegin(), file->lines.cend(),
                                       [](const LineConfig& l) { return !l.password.isEmpty(); });
    struct stat st {};
    if (passwords && ::stat(QFile::encodeName(path).constData(), &st) == 0 &&
        (st.st_mode & (S_IRGRP | S_IROTH)) != 0)
        file->warnings.append(
            QStringLiteral("%1 holds SIP passwords, and other users of this computer can read "
                           "it. To keep them to yourself, run:\n\n  chmod 600 %2")
                .arg(path, shellQuoted(path)));
    return file;
}

} // namespace orvane::sip
