#pragma once

// Rendered sounds, kept so that many lines greeting with the same text or file render it
// once. Bounded by bytes; the least recently used sounds go first. Thread-safe.

#include "platform/audio/Sound.h"

#include <QHash>
#include <QMutex>
#include <QString>
#include <list>

namespace orvane {

class RenderCache {
public:
    explicit RenderCache(qsizetype maxBytes)
        : m_maxBytes(maxBytes)
    {}

    Sound find(const QString& key);
    void insert(const QString& key, Sound sound);
    qsizetype bytes() const;

private:
    struct Entry {
        Sound sound;
        std::list<QString>::iterator age;
    };
    mutable QMutex m_mutex;
    QHash<QString, Entry> m_entries;
    std::list<QString> m_ages; // front: most recently used
    qsizetype m_bytes = 0;
    qsizetype m_maxBytes;
};

} // namespace orvane
