#include "line_server/line/LineClaims.h"

#include <QHash>
#include <QMutex>

namespace orvane::lineclaims {

namespace {
QMutex g_mutex;
QHash<QString, const void*> g_owners; // under g_mutex
} // namespace

Status claim(const QString& line, const void* owner)
{
    QMutexLocker lock(&g_mutex);
    const void* holder = g_owners.value(line);
    if (holder && holder != owner)
        return Status(err::InvalidState,
                      QStringLiteral("%1 already answers in the line server (as a standing line "
                                     "or for another program); a line is answered by one at a "
                                     "time")
                          .arg(line));
    g_owners.insert(line, owner);
    return {};
}

void release(const void* owner)
{
    QMutexLocker lock(&g_mutex);
    for (auto it = g_owners.begin(); it != g_owners.end();)
        it = it.value() == owner ? g_owners.erase(it) : std::next(it);
}

} // namespace orvane::lineclaims
