#include "line_server/client/TolvexNames.h"

#include <QtGlobal>

namespace orvane::tolvex {

QString serviceName()
{
    const QString name = qEnvironmentVariable("ORVANE_TOLVEX_SERVICE");
    return name.isEmpty() ? QString::fromLatin1(kDefaultServiceName) : name;
}

QString desktopServiceName()
{
    return qEnvironmentVariable("ORVANE_DESKTOP_SERVICE", QStringLiteral("org.orvane.Orvane"));
}

} // namespace orvane::tolvex
