#include "platform/FreeName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace orvane {

namespace {

constexpr int kAttempts = 10000;

enum class Outcome { Kept, Taken, Unsupported, Failed };

// errno values that say "this file system cannot do it this way", not "it failed".
bool unsupported(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EXDEV ||
           error == EINVAL || error == EMLINK;
}

Outcome classify(int rc)
{
    if (rc == 0)
        return Outcome::Kept;
    if (errno == EEXIST)
        return Outcome::Taken;
    return unsupported(errno) ? Outcome::Unsupported : Outcome::Failed;
}

// A hard link fails rather than replace a file of that name; the part is let go after.
Outcome byLink(const QByteArray& from, const QByteArray& to)
{
    const Outcome o = classify(::link(from.constData(), to.constData()));
    if (o == Outcome::Kept)
        ::unlink(from.constData());
    return o;
}

// Where hard links are not to be had (FAT, exFAT, many network mounts).
Outcome byRename(const QByteArray& from, const QByteArray& to)
{
    return classify(
        ::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE));
}

// The last way: a new file made exclusively under the name, the part copied into it. A
// copy that fails is our own and goes; the part stays.
Outcome byCopy(const QByteArray& from, const QByteArray& to)
{
    const int out = ::open(to.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0)
        return errno == EEXIST ? Outcome::Taken : Outcome::Failed;
    const int in = ::open(from.constData(), O_RDONLY | O_CLOEXEC);
    int error = in < 0 ? errno : 0;
    char buffer[65536];
    while (error == 0) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : 0;
            break;
        }
        for (ssize_t done = 0; error == 0 && done < n;) {
            const ssize_t w = ::write(out, buffer + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                error = w < 0 ? errno : ENOSPC;
            else
                done += w;
        }
    }
    if (in >= 0)
        ::close(in);
    if (error == 0 && ::fsync(out) != 0)
        error = errno;
    if (::close(out) != 0 && error == 0)
        error = errno;
    if (error != 0) {
        ::unlink(to.constData());
        errno = error;
        return Outcome::Failed;
    }
    ::unlink(from.constData());
    return Outcome::Kept;
}

// Data and name both on the disk before a kept file counts as kept: the part's data, and,
// once it has its name, the folder that holds the name (a power cut would otherwise lose
// a name that the data outlived).
void syncPath(const QByteArray& path, int flags)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | flags);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

} // namespace

namespace freename {

Result<QString> keep(const QString& partPath, const QString& folder, const QString& name,
                     Method first)
{
    const QFileInfo wanted(name);
    const QString base = wanted.completeBaseName();
    const QString suffix =
        wanted.suffix().isEmpty() ? QString() : QLatin1Char('.') + wanted.suffix();
    const QByteArray from = QFile::encodeName(partPath);
    syncPath(from, 0);
    Method method = first;
    for (int n = 0; n < kAttempts;) {
        const QString candidate =
            n == 0 ? name : QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
        const QByteArray target = QFile::encodeName(QDir(folder).filePath(candidate));
        const Outcome o = method == Method::Link     ? byLink(from, target)
                          : method == Method::Rename ? byRename(from, target)
                                                     : byCopy(from, target);
        switch (o) {
        case Outcome::Kept:
            syncPath(QFile::encodeName(folder), O_DIRECTORY);
            if (const QString partFolder = QFileInfo(partPath).absolutePath();
                partFolder != QFileInfo(folder).absoluteFilePath())
                syncPath(QFile::encodeName(partFolder), O_DIRECTORY);
            return candidate;
        case Outcome::Taken:
            ++n;
            break;
        case Outcome::Unsupported:
            if (method == Method::Copy)
                return Status(err::CannotCreate, QStringLiteral("%1 cannot be written: %2")
                                                     .arg(QFile::decodeName(target),
                                                          QString::fromLocal8Bit(strerror(errno))));
            // The same name, the next way.
            method = method == Method::Link ? Method::Rename : Method::Copy;
            break;
        case Outcome::Failed:
            return Status(err::CannotCreate, QStringLiteral("%1 cannot be written: %2")
                                                 .arg(QFile::decodeName(target),
                                                      QString::fromLocal8Bit(strerror(errno))));
        }
    }
    return Status(err::CannotCreate, QStringLiteral("No free name for %1 in %2").arg(name, folder));
}

} // namespace freename

Result<QString> keepUnderFreeName(const QString& partPath, const QString& folder,
                                  const QString& name)
{
    return freename::keep(partPath, folder, name, freename::Method::Link);
}

} // namespace orvane
