#include "PrintStandIn.h"

#include <QDir>
#include <QFile>

namespace orvane::test {

QString installPrintStandIn(const QString& folder)
{
    QDir().mkpath(folder);
    QFile lp(QDir(folder).filePath(QStringLiteral("lp")));
    if (lp.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        lp.write("#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/printed\"\n");
        lp.close();
        lp.setPermissions(lp.permissions() | QFileDevice::ExeOwner);
    }
    qputenv("PATH", QFile::encodeName(folder) + ":" + qgetenv("PATH"));
    return QDir(folder).filePath(QStringLiteral("printed"));
}

} // namespace orvane::test
