// The threads of one run's parallel stages.
//
// The engine's parallel loops need little: a fixed number of threads for a
// run, a loop over pieces of an index range that tells each piece which
// thread runs it (so the piece can use that thread's scratch space), and a
// loop that runs while the calling thread does something else. Results
// never depend on how the pieces are spread over the threads.
//
// Where oneTBB is available the pool is a task arena of it, so that runs of
// several hosts' threads share the cores through one scheduler. Elsewhere
// (the Windows cross build has no oneTBB) it is a small set of std::threads
// started once per pool and woken for every loop.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace mosaro {

// Threads the processor runs at once, as the scheduler sees them.
int ProcessorThreads();

class WorkerPool {
public:
    // body(first, last, worker): one piece [first, last) of the range; worker
    // lies in [0, Size()) and no two pieces with the same worker run at once.
    using PieceBody = std::function<void(std::size_t first, std::size_t last, int worker)>;

    // At most `threads` threads, the caller's included; at least one.
    explicit WorkerPool(int threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    int Size() const { return size_; }

    // Runs body over [0, count) in pieces of at most `grain` indices and
    // returns when every piece is done; the first exception a piece throws
    // is rethrown here (pieces not yet started then do not run).
    void For(std::size_t count, std::size_t grain, const PieceBody& body);

    // As For, while the calling thread runs `alongside` first; returns when
    // both are done.
    void ForAlongside(std::size_t count, std::size_t grain, const PieceBody& body,
                      const std::function<void()>& alongside);

private:
    class Backend;
    int size_;
    std::unique_ptr<Backend> backend_;
};

}  // namespace mosaro
