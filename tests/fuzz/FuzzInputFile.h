#pragma once

// Fuzz targets for what arrives as a file (a greeting, a received fax) read the input from a
// path, as the line server does. One memory file serves every input of the process: a new
// file per input would cost more than the parsing it feeds.

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace orvane::fuzz {

// The path of a file that now holds exactly `data`.
inline QString inputFile(const uint8_t* data, size_t size)
{
    static const int fd = [] {
        const int made = ::memfd_create("orvane-fuzz-input", MFD_CLOEXEC);
        if (made < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return made;
    }();
    if (::ftruncate(fd, 0) != 0 ||
        (size > 0 && ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))) {
        std::perror("writing the fuzz input");
        std::abort();
    }
    // Opening the descriptor's /proc link opens the memory file itself, from its start.
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);
    return path;
}

} // namespace orvane::fuzz
