#pragma once

// Values handed from any number of threads to one that takes them all at once, without a
// lock: a thread that hands a value over never waits for the taker or for another giver.
// Taken in the order they were handed over. Thread-safe.

#include <QList>

#include <algorithm>
#include <atomic>
#include <utility>

namespace orvane {

template <typename T>
class HandOverList {
public:
    HandOverList() = default;
    HandOverList(const HandOverList&) = delete;
    HandOverList& operator=(const HandOverList&) = delete;
    ~HandOverList() { take(); }

    void push(T value)
    {
        auto* node = new Node{std::move(value), m_head.load(std::memory_order_relaxed)};
        // Sequentially consistent, as a taker's look at the list before it rests: neither may
        // miss the other.
        while (!m_head.compare_exchange_weak(node->next, node, std::memory_order_seq_cst,
                                             std::memory_order_relaxed)) {
        }
    }

    // Everything handed over since the last take, oldest first.
    QList<T> take()
    {
        Node* node = m_head.exchange(nullptr, std::memory_order_acquire);
        QList<T> values;
        for (; node; delete std::exchange(node, node->next))
            values.append(std::move(node->value));
        std::reverse(values.begin(), values.end()); // the list holds the newest first
        return values;
    }

    bool isEmpty() const { return m_head.load() == nullptr; }

private:
    struct Node {
        T value;
        Node* next;
    };
    std::atomic<Node*> m_head{nullptr};
};

} // namespace orvane
