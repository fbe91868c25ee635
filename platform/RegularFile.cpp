#include "platform/RegularFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace orvane {

namespace {

QString kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a named pipe (FIFO)");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("a device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("not a regular file");
}

Status notAFile(const QString& path, const QString& kind)
{
    return Status(err::InvalidArg, QStringLiteral("%1 is %2, not a file").arg(path, kind));
}

Status doesNotExist(const QString& path)
{
    return Status(err::FileNotFound, QStringLiteral("The file %1 does not exist").arg(path));
}

} // namespace

Status checkRegularFile(const QString& path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return doesNotExist(path);
    if (const QString kind = kindOf(st.st_mode); !kind.isEmpty())
        return notAFile(path, kind);
    return {};
}

Result<int> openRegularFile(const QString& path)
{
    // Looked at before it is opened: opening some devices does something. What is swapped
    // in between is caught once it is open.
    if (Status s = checkRegularFile(path); !s)
        return s;
    // O_NONBLOCK: opening a FIFO with no writer returns at once instead of waiting for one;
    // O_NOCTTY: a terminal never becomes ours.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return doesNotExist(path);
        return Status(err::Fail, QStringLiteral("Cannot read %1: %2")
                                     .arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return notAFile(path, kindOf(st.st_mode));
    }
    // Reads of a regular file never block; clear the flag so that libraries see a plain one.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

Result<QByteArray> readRegularFile(const QString& path, qint64 maxBytes)
{
    Result<int> fd = openRegularFile(path);
    if (!fd)
        return fd.status();
    QFile file;
    if (!file.open(fd.value(), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd.value());
        return Status(err::Fail,
                      QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    }
    if (file.size() > maxBytes)
        return Status(err::InvalidArg, QStringLiteral("%1 has %2 bytes; at most %3 are read")
                                           .arg(path)
                                           .arg(file.size())
                                           .arg(maxBytes));
    // Read one byte past the limit, in case the file grows while it is read.
    QByteArray data = file.read(maxBytes + 1);
    if (data.size() > maxBytes)
        return Status(err::InvalidArg,
                      QStringLiteral("%1 has more than %2 bytes").arg(path).arg(maxBytes));
    if (file.error() != QFileDevice::NoError)
        return Status(err::Fail,
                      QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return data;
}

} // namespace orvane
