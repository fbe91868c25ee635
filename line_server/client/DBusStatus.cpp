#include "line_server/client/DBusStatus.h"

#include "line_server/client/TolvexNames.h"

#include <QRegularExpression>

namespace orvane::tolvex {

QString errorName(const Status& status)
{
    switch (status.code()) {
    case err::NoDevice:
        return QString::fromLatin1(kErrorNoDevice);
    case err::CannotCreate:
        return QString::fromLatin1(kErrorCannotCreate);
    case err::NotImplemented:
        return QString::fromLatin1(kErrorNotSupported);
    default:
        return QString::fromLatin1(kErrorFailed);
    }
}

QString errorMessage(const Status& status)
{
    return status.toString();
}

Status statusOf(const QDBusError& error)
{
    if (!error.isValid())
        return {};
    const QString name = error.name();
    QString text = error.message();
    qint32 code = err::Fail;
    if (name == QLatin1String(kErrorNoDevice))
        code = err::NoDevice;
    else if (name == QLatin1String(kErrorCannotCreate))
        code = err::CannotCreate;
    else if (name == QLatin1String(kErrorNotSupported))
        code = err::NotImplemented;
    // "0x80004005: text" or "429: text" carry their code in front.
    static const QRegularExpression codeFirst(QStringLiteral("^(0x[0-9a-fA-F]{8}|\\d+): (.*)$"),
                                              QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch m = codeFirst.match(text);
    if (m.hasMatch()) {
        bool ok = false;
        const QString digits = m.captured(1);
        const qint64 parsed = digits.startsWith(QLatin1String("0x"))
                                  ? digits.mid(2).toLongLong(&ok, 16)
                                  : digits.toLongLong(&ok, 10);
        if (ok && name == QLatin1String(kErrorFailed))
            code = qint32(quint32(parsed));
        text = m.captured(2);
    }
    if (code == err::Ok)
        code = err::Fail;
    return Status(code, text.isEmpty() ? name : text);
}

Status statusOf(const QDBusMessage& reply)
{
    if (reply.type() != QDBusMessage::ErrorMessage)
        return {};
    return statusOf(QDBusError(reply));
}

} // namespace orvane::tolvex
