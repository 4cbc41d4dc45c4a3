// A fixed team of threads for the solver's parallel steps, thousands of them per
// factorisation, each too short to start threads for. A step is a number of chunks that
// any member may take; the calling thread takes chunks too and returns when all are done,
// so a helper that the system has not scheduled in time delays nothing. Members that find
// no work wait briefly on a spin, then sleep.
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

    /// Runs work(chunk) once for every chunk 0..chunks-1, on whichever members are free, and
    /// returns when all have run. The work must not throw.
    void forEachChunk(int32_t chunks, const std::function<void(int32_t chunk)>& work);

private:
    void serve();
    /// Takes and runs chunks of the step `step` until none is left.
    void takeChunks(uint32_t step);

    std::vector<std::thread> m_helpers;
    std::atomic<const std::function<void(int32_t)>*> m_work = nullptr;
    std::atomic<int32_t> m_chunks = 0;
    /// The step (high 32 bits) and its next chunk (low 32 bits), taken together so that a
    /// member late for one step can never take a chunk of the next.
    std::atomic<uint64_t> m_next = 0;
    std::atomic<int32_t> m_done = 0;  ///< chunks of the current step finished
    std::atomic<uint32_t> m_step = 0; ///< the step handed out last, for the members to wait on
    std::atomic<bool> m_closing = false;
};

} // namespace ptw3
