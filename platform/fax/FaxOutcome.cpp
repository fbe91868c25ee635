#include "platform/fax/FaxOutcome.h"

namespace orvane::fax {

QString outcomeText(const FaxProgress& progress, FaxEngine::Role role)
{
    if (!progress.negotiated)
        return {};
    QString text =
        role == FaxEngine::Role::Send ? QStringLiteral("Sent as ") : QStringLiteral("Received as ");
    text += progress.t38 ? QStringLiteral("T.38") : QStringLiteral("audio");
    if (progress.switched)
        text += progress.t38 ? QStringLiteral(" (switched from audio)")
                             : QStringLiteral(" (switched from T.38)");
    if (progress.bitRate > 0)
        text += QStringLiteral(" at %1 bit/s").arg(progress.bitRate);
    text += QStringLiteral(": %1 %2")
                .arg(progress.pagesDone)
                .arg(progress.pagesDone == 1 ? QStringLiteral("page") : QStringLiteral("pages"));
    if (progress.ecm)
        text +=
            QStringLiteral(", error correction on, %1 %2 sent again")
                .arg(progress.ecmRetries)
                .arg(progress.ecmRetries == 1 ? QStringLiteral("frame") : QStringLiteral("frames"));
    else
        text += QStringLiteral(", no error correction");
    return text;
}

QVariantMap outcomeFacts(const FaxProgress& progress)
{
    return {{QStringLiteral("transport"),
             progress.t38 ? QStringLiteral("t38") : QStringLiteral("audio")},
            {QStringLiteral("switched"), progress.switched},
            {QStringLiteral("bitRate"), progress.bitRate},
            {QStringLiteral("pages"), progress.pagesDone},
            {QStringLiteral("ecm"), progress.ecm},
            {QStringLiteral("ecmRetries"), progress.ecmRetries},
            {QStringLiteral("seconds"), double(progress.samples) / 8000.0}};
}

} // namespace orvane::fax
