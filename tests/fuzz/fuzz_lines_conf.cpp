// Fuzz target: a lines.conf as a user may write it. What the parser accepts must be lines
// the SIP stack can use; what it refuses must point at a line of the file that says
// something.

#include "FuzzCheck.h"

#include "platform/telephony/sip/ReCompat.h"
#include "platform/telephony/sip/SipLinesConfig.h"

#include <re.h>

#include <QRegularExpression>
#include <QSet>

using namespace orvane;

namespace {

void checkAccepted(const orvane::sip::LinesFile& file)
{
    FUZZ_CHECK(file.limits.maxCalls >= 1 && file.limits.maxCalls <= 100000);
    FUZZ_CHECK(file.limits.inviteRate >= 1 && file.limits.inviteRate <= 100000);
    QSet<QString> names, endpoints;
    for (const orvane::sip::LineConfig& line : file.lines) {
        FUZZ_CHECK(!line.name.isEmpty() && line.name == line.name.trimmed());
        FUZZ_CHECK(!names.contains(line.name));
        names.insert(line.name);
        FUZZ_CHECK(line.uri.startsWith(QLatin1String("sip:")));
        FUZZ_CHECK(!line.user.isEmpty() && !line.domain.isEmpty());
        FUZZ_CHECK(!line.authUser.isEmpty());
        FUZZ_CHECK(line.registrar.isEmpty() || line.registrar.startsWith(QLatin1String("sip:")));
        FUZZ_CHECK(line.password.isEmpty() || !line.registrar.isEmpty());
        if (!line.address.isEmpty()) { // the SIP stack binds to it
            struct sa bound;
            FUZZ_CHECK(sa_set_str(&bound, line.address.toUtf8().constData(), line.port) == 0);
        }
        FUZZ_CHECK(line.port >= 1); // a quint16: at most 65535
        FUZZ_CHECK(line.ringIntervalMs >= 100 && line.ringIntervalMs <= 60000);
        FUZZ_CHECK(line.expires >= 60 && line.expires <= 86400);
        // Two lines on one socket are told apart by their user.
        const QString endpoint = line.address + QLatin1Char('|') + QString::number(line.port) +
                                 QLatin1Char('|') + line.user;
        FUZZ_CHECK(!endpoints.contains(endpoint));
        endpoints.insert(endpoint);
    }
}

void checkRefused(const QByteArray& text, const Status& mistake)
{
    static const QRegularExpression where(QStringLiteral("^lines\\.conf, line (\\d+): \\S"));
    const QRegularExpressionMatch m = where.match(mistake.description());
    FUZZ_CHECK(m.hasMatch());
    const QList<QByteArray> rows = text.split('\n');
    bool ok = false;
    const qsizetype lineNo = m.captured(1).toLongLong(&ok);
    FUZZ_CHECK(ok && lineNo >= 1 && lineNo <= rows.size());
    // The line named is one that says something: neither blank nor a comment.
    const QString row = QString::fromUtf8(rows.at(lineNo - 1)).trimmed();
    FUZZ_CHECK(!row.isEmpty() && !row.startsWith(QLatin1Char('#')) &&
               !row.startsWith(QLatin1Char(';')));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    const Result<orvane::sip::LinesFile> file = orvane::sip::parseLinesFile(text);
    if (file)
        checkAccepted(file.value());
    else
        checkRefused(text, file.status());
    return 0;
}
