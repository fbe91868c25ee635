#include "platform/audio/WaveDevice.h"

#include <QHash>
#include <QMutex>

namespace orvane {

namespace {

struct Registry {
    QMutex mutex;
    QHash<qint32, std::weak_ptr<WaveDevice>> devices;
    qint32 nextId = 1;
};

Registry& registry()
{
    static Registry instance;
    return instance;
}

} // namespace

qint32 WaveDeviceRegistry::add(const std::shared_ptr<WaveDevice>& device)
{
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    // Ids are never reused while the process lives, so a stale id can only miss.
    const qint32 id = r.nextId++;
    r.devices.insert(id, device);
    return id;
}

void WaveDeviceRegistry::remove(qint32 id)
{
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    r.devices.remove(id);
}

std::shared_ptr<WaveDevice> WaveDeviceRegistry::find(qint32 id)
{
    Registry& r = registry();
    QMutexLocker lock(&r.mutex);
    auto it = r.devices.constFind(id);
    return it == r.devices.constEnd() ? nullptr : it->lock();
}

} // namespace orvane
