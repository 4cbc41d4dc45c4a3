#include "solver/worker_pool.h"

#include <algorithm>

namespace ptw3 {
namespace {

/// Polls before sleeping: a step of the solver often ends within microseconds.
constexpr int32_t spinPolls = 2000;

void pause() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

/// Waits until done() holds, polling `value` (which changes when it may) and then sleeping
/// on it.
template <class T, class Done> void awaitChange(const std::atomic<T>& value, Done done) {
    for (int32_t i = 0; i < spinPolls; ++i) {
        if (done()) {
            return;
        }
        pause();
    }
    for (T seen = value.load(std::memory_order_acquire); !done();
         seen = value.load(std::memory_order_acquire)) {
        value.wait(seen, std::memory_order_acquire);
    }
}

constexpr uint64_t packed(uint32_t step, uint32_t chunk) {
    return (static_cast<uint64_t>(step) << 32) | chunk;
}

} // namespace

WorkerPool::WorkerPool(int32_t threads) {
    if (threads <= 0) {
        threads = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    }
    for (int32_t member = 1; member < threads; ++member) {
        m_helpers.emplace_back([this] { serve(); });
    }
}

WorkerPool::~WorkerPool() {
    m_closing.store(true, std::memory_order_release);
    m_step.fetch_add(1, std::memory_order_acq_rel);
    m_step.notify_all();
    for (std::thread& helper : m_helpers) {
        helper.join();
    }
}

void WorkerPool::forEachChunk(int32_t chunks, const std::function<void(int32_t)>& work) {
    if (m_helpers.empty() || chunks <= 1) {
        for (int32_t chunk = 0; chunk < chunks; ++chunk) {
            work(chunk);
        }
        return;
    }
    const uint32_t step = m_step.load(std::memory_order_relaxed) + 1;
    m_work.store(&work, std::memory_order_relaxed);
    m_chunks.store(chunks, std::memory_order_relaxed);
    m_done.store(0, std::memory_order_relaxed);
    m_next.store(packed(step, 0), std::memory_order_release);
    m_step.store(step, std::memory_order_release);
    m_step.notify_all();
    takeChunks(step);
    awaitChange(m_done, [&] { return m_done.load(std::memory_order_acquire) == chunks; });
}

// The work and the count read after m_next showed `step` belong to that step for as long as
// m_next still shows it, and a chunk is only run once m_next has been moved on from it.
void WorkerPool::takeChunks(uint32_t step) {
    for (;;) {
        uint64_t next = m_next.load(std::memory_order_acquire);
        const int32_t chunks = m_chunks.load(std::memory_order_relaxed);
        const auto chunk = static_cast<int32_t>(next & 0xffffffffu);
        if (static_cast<uint32_t>(next >> 32) != step || chunk >= chunks) {
            return;
        }
        const std::function<void(int32_t)>* work = m_work.load(std::memory_order_relaxed);
        if (!m_next.compare_exchange_weak(next, next + 1, std::memory_order_acq_rel)) {
            continue;
        }
        (*work)(chunk);
        if (m_done.fetch_add(1, std::memory_order_acq_rel) + 1 == chunks) {
            m_done.notify_all();
        }
    }
}

void WorkerPool::serve() {
    uint32_t seen = 0;
    for (;;) {
        awaitChange(m_step, [&] { return m_step.load(std::memory_order_acquire) != seen; });
        seen = m_step.load(std::memory_order_acquire);
        if (m_closing.load(std::memory_order_acquire)) {
            return;
        }
        takeChunks(seen);
    }
}

} // namespace ptw3
