#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>

namespace iax2 {

// Lock-free ring of samples between exactly one producer thread and one consumer
// thread, e.g. an audio callback and the engine. Storage is allocated once in the
// constructor; read and write never allocate, lock or block.
template<typename T>
class SpscRing
{
public:
    // Holds at least capacity items (rounded up to a power of two).
    explicit SpscRing(size_t capacity)
    {
        size_t size = 1;
        while (size < capacity)
            size <<= 1;
        m_mask = size - 1;
        m_data = std::make_unique<T[]>(size);
    }

    size_t capacity() const { return m_mask + 1; }

    // Producer side: copies up to count items in, returns how many fit.
    size_t write(const T *items, size_t count)
    {
        const size_t head = m_head.load(std::memory_order_relaxed);
        const size_t tail = m_tail.load(std::memory_order_acquire);
        const size_t n = std::min(count, capacity() - (head - tail));
        for (size_t i = 0; i < n; ++i)
            m_data[(head + i) & m_mask] = items[i];
        m_head.store(head + n, std::memory_order_release);
        return n;
    }

    // Producer side: room left.
    size_t writeAvailable() const
    {
        return capacity() - (m_head.load(std::memory_order_relaxed) - m_tail.load(std::memory_order_acquire));
    }

    // Consumer side: copies up to count items out, returns how many there were.
    size_t read(T *items, size_t count)
    {
        const size_t tail = m_tail.load(std::memory_order_relaxed);
        const size_t head = m_head.load(std::memory_order_acquire);
        const size_t n = std::min(count, head - tail);
        for (size_t i = 0; i < n; ++i)
            items[i] = m_data[(tail + i) & m_mask];
        m_tail.store(tail + n, std::memory_order_release);
        return n;
    }

    // Consumer side: drops up to count of the oldest items, returns how many.
    size_t skip(size_t count)
    {
        const size_t tail = m_tail.load(std::memory_order_relaxed);
        const size_t head = m_head.load(std::memory_order_acquire);
        const size_t n = std::min(count, head - tail);
        m_tail.store(tail + n, std::memory_order_release);
        return n;
    }

    // Consumer side: items waiting.
    size_t readAvailable() const
    {
        return m_head.load(std::memory_order_acquire) - m_tail.load(std::memory_order_relaxed);
    }

private:
    std::unique_ptr<T[]> m_data;
    size_t m_mask = 0;
    // Free-running counters; their difference is the fill. Kept on separate cache
    // lines so producer and consumer do not bounce one line between cores.
    alignas(64) std::atomic<size_t> m_head { 0 };
    alignas(64) std::atomic<size_t> m_tail { 0 };
};

} // namespace iax2
