#include "platform/FreeName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvane {

namespace {
constexpr int kAttempts = 10000;
} // namespace

Result<QString> keepUnderFreeName(const QString& partPath, const QString& folder,
                                  const QString& name)
{
    const QFileInfo wanted(name);
    const QString base = wanted.completeBaseName();
    const QString suffix =
        wanted.suffix().isEmpty() ? QString() : QLatin1Char('.') + wanted.suffix();
    const QByteArray from = QFile::encodeName(partPath);
    for (int n = 0; n < kAttempts; ++n) {
        const QString candidate =
            n == 0 ? name : QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
        const QByteArray target = QFile::encodeName(QDir(folder).filePath(candidate));
        // A hard link fails rather than replace a file of that name.
        if (::link(from.constData(), target.constData()) == 0) {
            QFile::remove(partPath);
            return candidate;
        }
        if (errno != EEXIST)
            return Status(err::CannotCreate, QStringLiteral("%1 cannot be written: %2")
                                                 .arg(QFile::decodeName(target),
                                                      QString::fromLocal8Bit(strerror(errno))));
    }
    return Status(err::CannotCreate, QStringLiteral("No free name for %1 in %2").arg(name, folder));
}

} // namespace orvane
