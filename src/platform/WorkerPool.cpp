#include "platform/WorkerPool.h"

#include <algorithm>

#if MOSARO_HAVE_TBB
#include <tbb/blocked_range.h>
#include <tbb/info.h>
#include <tbb/parallel_for.h>
#include <tbb/partitioner.h>
#include <tbb/task_arena.h>
#include <tbb/task_group.h>
#else
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>
#endif

namespace mosaro {

#if MOSARO_HAVE_TBB

int ProcessorThreads() { return tbb::info::default_concurrency(); }

// An arena of the run's own size: hosts running several grids at once share
// the cores instead of multiplying the threads, and the calling thread takes
// the arena's reserved slot.
class WorkerPool::Backend {
public:
    explicit Backend(int threads) : arena_(threads) {}

    void For(std::size_t count, std::size_t grain, const PieceBody& body) {
        arena_.execute([&] { Pieces(count, grain, body); });
    }

    void ForAlongside(std::size_t count, std::size_t grain, const PieceBody& body,
                      const std::function<void()>& alongside) {
        arena_.execute([&] {
            tbb::task_group group;
            group.run([&] { Pieces(count, grain, body); });
            try {
                alongside();
            } catch (...) {
                group.wait();
                throw;
            }
            group.wait();
        });
    }

private:
    // Pieces of exactly the grain (or its half), not the larger ones the
    // automatic partitioner would make: a piece's scratch state (the sweep's
    // covariance cache) is sized for it.
    static void Pieces(std::size_t count, std::size_t grain, const PieceBody& body) {
        tbb::parallel_for(
            tbb::blocked_range<std::size_t>(0, count, grain),
            [&](const tbb::blocked_range<std::size_t>& piece) {
                body(piece.begin(), piece.end(), tbb::this_task_arena::current_thread_index());
            },
            tbb::simple_partitioner());
    }

    tbb::task_arena arena_;
};

#else

int ProcessorThreads() {
    const unsigned cores = std::thread::hardware_concurrency();
    return cores > 0 ? static_cast<int>(cores) : 1;
}

// Size() - 1 threads started with the pool and parked between loops; the
// calling thread is worker 0. A loop hands out pieces from one counter, so
// whichever thread is free takes the next piece.
class WorkerPool::Backend {
public:
    explicit Backend(int threads) {
        try {
            for (int worker = 1; worker < threads; ++worker) threads_.emplace_back([this, worker] { Park(worker); });
        } catch (...) {
            Stop();
            throw;
        }
    }

    ~Backend() { Stop(); }

    void For(std::size_t count, std::size_t grain, const PieceBody& body) {
        ForAlongside(count, grain, body, [] {});
    }

    void ForAlongside(std::size_t count, std::size_t grain, const PieceBody& body,
                      const std::function<void()>& alongside) {
        Start(count, grain, body);
        try {
            alongside();
        } catch (...) {
            Abandon();
            Finish();
            throw;
        }
        Work(0);
        Finish();
        if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    }

private:
    void Start(std::size_t count, std::size_t grain, const PieceBody& body) {
        std::lock_guard<std::mutex> lock(mutex_);
        body_ = &body;
        count_ = count;
        grain_ = std::max<std::size_t>(grain, 1);
        next_.store(0);
        error_ = nullptr;  // a failure of an earlier loop is not this one's
        busy_ = threads_.size();
        ++generation_;
        wake_.notify_all();
    }

    // Every piece not yet taken is dropped.
    void Abandon() { next_.store(count_); }

    void Work(int worker) {
        for (;;) {
            const std::size_t first = next_.fetch_add(grain_);
            if (first >= count_) return;
            try {
                (*body_)(first, std::min(count_, first + grain_), worker);
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex_);
                if (!error_) error_ = std::current_exception();
                Abandon();
            }
        }
    }

    void Finish() {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return busy_ == 0; });
    }

    void Park(int worker) {
        unsigned seen = 0;
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_) return;
            seen = generation_;
            lock.unlock();
            Work(worker);
            lock.lock();
            if (--busy_ == 0) done_.notify_all();
        }
    }

    void Stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
            wake_.notify_all();
        }
        for (std::thread& thread : threads_) thread.join();
    }

    std::vector<std::thread> threads_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable done_;
    const PieceBody* body_ = nullptr;
    std::size_t count_ = 0;
    std::size_t grain_ = 1;
    std::atomic<std::size_t> next_{0};
    std::size_t busy_ = 0;
    unsigned generation_ = 0;
    bool stop_ = false;
    std::exception_ptr error_;
};

#endif

WorkerPool::WorkerPool(int threads) : size_(std::max(1, threads)), backend_(std::make_unique<Backend>(size_)) {}

WorkerPool::~WorkerPool() = default;

void WorkerPool::For(std::size_t count, std::size_t grain, const PieceBody& body) {
    if (count > 0) backend_->For(count, grain, body);
}

void WorkerPool::ForAlongside(std::size_t count, std::size_t grain, const PieceBody& body,
                              const std::function<void()>& alongside) {
    backend_->ForAlongside(count, grain, body, alongside);
}

}  // namespace mosaro
