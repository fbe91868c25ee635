#include "platform/speech/RenderCache.h"

namespace orvane {

namespace {
qsizetype soundBytes(const Sound& s)
{
    return s ? s->size() * qsizetype(sizeof(qint16)) : 0;
}
} // namespace

Sound RenderCache::find(const QString& key)
{
    QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(key);
    if (it == m_entries.end())
        return nullptr;
    m_ages.splice(m_ages.begin(), m_ages, it->age);
    return it->sound;
}

void RenderCache::insert(const QString& key, Sound sound)
{
    const qsizetype size = soundBytes(sound);
    if (size > m_maxBytes)
        return; // never worth evicting everything for one sound
    QMutexLocker lock(&m_mutex);
    auto it = m_entries.find(key);
    if (it != m_entries.end()) {
        m_bytes -= soundBytes(it->sound);
        m_ages.erase(it->age);
        m_entries.erase(it);
    }
    m_ages.push_front(key);
    m_entries.insert(key, Entry{sound, m_ages.begin()});
    m_bytes += size;
    while (m_bytes > m_maxBytes && !m_ages.empty()) {
        const QString oldest = m_ages.back();
        m_ages.pop_back();
        m_bytes -= soundBytes(m_entries.value(oldest).sound);
        m_entries.remove(oldest);
    }
}

qsizetype RenderCache::bytes() const
{
    QMutexLocker lock(&m_mutex);
    return m_bytes;
}

} // namespace orvane
