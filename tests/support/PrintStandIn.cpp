#include "PrintStandIn.h"

#include <QDir>
#include <QFile>

namespace orvane::test {

namespace {

void writeStandIn(const QString& folder, const QByteArray& body)
{
    QFile lp(QDir(folder).filePath(QStringLiteral("lp")));
    if (lp.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        lp.write("#!/bin/sh\n" + body);
        lp.close();
        lp.setPermissions(lp.permissions() | QFileDevice::ExeOwner);
    }
}

const QByteArray kNotes = "printf '%s\\n' \"$@\" >> \"$(dirname \"$0\")/printed\"\n";

} // namespace

QString installPrintStandIn(const QString& folder)
{
    QDir().mkpath(folder);
    writeStandIn(folder, kNotes);
    qputenv("PATH", QFile::encodeName(folder) + ":" + qgetenv("PATH"));
    return QDir(folder).filePath(QStringLiteral("printed"));
}

void makePrintStandInFail(const QString& folder, const QString& says)
{
    writeStandIn(folder, says.isEmpty() ? kNotes : "echo \"" + says.toUtf8() + "\" >&2\nexit 1\n");
}

} // namespace orvane::test
