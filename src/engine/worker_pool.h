// A fixed team of threads that runs one task on all of its members at once and returns
// when every member has finished: the solver's parallel steps, thousands of them per
// factorisation, each too short to start threads for. Members that find no work wait
// briefly on a spin, then sleep.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>
#include <vector>

namespace ptw3 {

class WorkerPool {
public:
    /// @param threads members including the calling thread; 0 means one per hardware thread
    explicit WorkerPool(int32_t threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int32_t size() const { return static_cast<int32_t>(m_helpers.size()) + 1; }

    /// Runs task(member, size()) on every member, member 0 on the calling thread. The task
    /// must not throw.
    void run(const std::function<void(int32_t member, int32_t members)>& task);

private:
    void serve(int32_t member);

    std::vector<std::thread> m_helpers;
    const std::function<void(int32_t, int32_t)>* m_task = nullptr;
    std::atomic<uint64_t> m_generation = 0; ///< one more for every task handed out
    std::atomic<int32_t> m_busy = 0;        ///< helpers still running the current task
    std::atomic<bool> m_closing = false;
};

} // namespace ptw3
