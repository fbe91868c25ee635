#include "platform/audio/WaveDevice.h"

#include <QHash>
#include <QMutex>

#include <array>
#include <atomic>

namespace orvane {

namespace {

// Ids spread over shards with a lock each: lines answering at the same moment add their
// devices side by side instead of one after another.
constexpr qint32 kShards = 32;

struct Shard {
    QMutex mutex;
    QHash<qint32, std::weak_ptr<WaveDevice>> devices;
};

struct Registry {
    std::array<Shard, kShards> shards;
    std::atomic<qint32> nextId{1};

    Shard& shardOf(qint32 id) { return shards[size_t(quint32(id) % kShards)]; }
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
    // Ids are never reused while the process lives, so a stale id can only miss.
    const qint32 id = r.nextId.fetch_add(1);
    Shard& shard = r.shardOf(id);
    QMutexLocker lock(&shard.mutex);
    shard.devices.insert(id, device);
    return id;
}

void WaveDeviceRegistry::remove(qint32 id)
{
    Shard& shard = registry().shardOf(id);
    QMutexLocker lock(&shard.mutex);
    shard.devices.remove(id);
}

std::shared_ptr<WaveDevice> WaveDeviceRegistry::find(qint32 id)
{
    Shard& shard = registry().shardOf(id);
    QMutexLocker lock(&shard.mutex);
    auto it = shard.devices.constFind(id);
    return it == shard.devices.constEnd() ? nullptr : it->lock();
}

} // namespace orvane
