#include "engine/worker_pool.h"

#include <algorithm>

namespace ptw3 {
namespace {

/// Polls before sleeping: a step of the solver often ends within microseconds.
constexpr int32_t spinPolls = 2000;

template <class T, class Done> void awaitChange(const std::atomic<T>& value, T seen, Done done) {
    for (int32_t i = 0; i < spinPolls; ++i) {
        if (done()) {
            return;
        }
#if defined(__x86_64__) || defined(__i386__)
        __builtin_ia32_pause();
#endif
    }
    while (!done()) {
        value.wait(seen, std::memory_order_acquire);
        seen = value.load(std::memory_order_acquire);
    }
}

} // namespace

WorkerPool::WorkerPool(int32_t threads) {
    if (threads <= 0) {
        threads = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    }
    for (int32_t member = 1; member < threads; ++member) {
        m_helpers.emplace_back([this, member] { serve(member); });
    }
}

WorkerPool::~WorkerPool() {
    m_closing.store(true, std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    m_generation.notify_all();
    for (std::thread& helper : m_helpers) {
        helper.join();
    }
}

void WorkerPool::run(const std::function<void(int32_t, int32_t)>& task) {
    const int32_t members = size();
    if (members == 1) {
        task(0, 1);
        return;
    }
    m_task = &task;
    m_busy.store(members - 1, std::memory_order_release);
    m_generation.fetch_add(1, std::memory_order_acq_rel);
    m_generation.notify_all();
    task(0, members);
    const int32_t busy = m_busy.load(std::memory_order_acquire);
    awaitChange(m_busy, busy, [this] { return m_busy.load(std::memory_order_acquire) == 0; });
}

void WorkerPool::serve(int32_t member) {
    uint64_t seen = 0;
    for (;;) {
        awaitChange(m_generation, seen,
                    [&] { return m_generation.load(std::memory_order_acquire) != seen; });
        seen = m_generation.load(std::memory_order_acquire);
        if (m_closing.load(std::memory_order_acquire)) {
            return;
        }
        (*m_task)(member, size());
        if (m_busy.fetch_sub(1, std::memory_order_acq_rel) == 1) {
            m_busy.notify_one();
        }
    }
}

} // namespace ptw3
