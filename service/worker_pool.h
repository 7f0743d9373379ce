// A bounded set of worker threads with a bounded queue, for the alerting
// actions that must never hold up the receive loop.
//
// One standing worker is started with the pool and waits for jobs for as long
// as the pool lives. When it is busy, submit() starts more workers (at most
// `max_workers` in all), which end when the queue is empty. A job waits in
// the queue, in arrival order, until a worker is free. When the queue already
// holds `max_queued` jobs (or has no memory left) the job is dropped and
// submit() returns false. A job that runs out of memory (std::bad_alloc) is
// given up; its worker goes on with the queue.
//
// So once the standing worker runs, every job is done by a worker however
// many threads the system refuses later. Should it not start, jobs wait in
// the queue until it does: it is tried again at each submit() and retry(),
// which the owner calls now and then (the receive loop, twice a second).
// The caller never does a job itself, so a slow job never holds it up.
//
// The destructor lets the workers finish the queue and waits for them;
// finish() does the same within a deadline, and the pool takes no job after it.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

template <class Job>
class WorkerPool {
public:
    using Run = std::function<void(Job&)>;
    // Runs `body` on a new detached thread; false when no thread could be started.
    using StartThread = std::function<bool(std::function<void()>)>;

    static bool start_detached(std::function<void()> body)
    {
        try {
            std::thread(std::move(body)).detach();
            return true;
        } catch (const std::system_error&) {
            return false;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    WorkerPool(Run run, int max_workers, std::size_t max_queued, StartThread start = start_detached)
        : run_(std::move(run)), start_(std::move(start)), max_workers_(max_workers), max_queued_(max_queued)
    {
        std::lock_guard<std::mutex> guard(lock_);
        start_standing_worker();
    }

    ~WorkerPool()
    {
        std::unique_lock<std::mutex> guard(lock_);
        closing_ = true;
        wake_.notify_all();
        ended_.wait(guard, [this] { return workers_ == 0; });
    }

    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    bool submit(Job job)
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (closing_ || queue_.size() >= max_queued_ || !enqueue(std::move(job))) return false;
        if (!standing_) start_standing_worker();
        if (standing_idle_) {
            standing_idle_ = false;
            wake_.notify_one();
        } else if (workers_ < max_workers_) {
            start_worker([this] { work(); });  // else a running worker takes it in turn
        }
        return true;
    }

    // Closes the pool: the workers run the queue until `deadline` and end,
    // waited for until then; the jobs still queued at the deadline are
    // dropped. Returns how many were. submit() refuses every job after it;
    // it may be called again with a later deadline to wait longer.
    std::size_t finish(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock<std::mutex> guard(lock_);
        closing_ = true;
        if (!standing_) start_standing_worker();
        wake_.notify_all();
        ended_.wait_until(guard, deadline, [this] { return workers_ == 0; });
        const std::size_t dropped = queue_.size();
        queue_.clear();
        return dropped;
    }

    // Starts the standing worker if it has not started yet; it takes the queue.
    void retry()
    {
        if (standing_.load(std::memory_order_relaxed)) return;  // the usual case takes no lock
        std::lock_guard<std::mutex> guard(lock_);
        if (!standing_) start_standing_worker();
    }

    int workers() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return workers_;
    }

private:
    // The methods below run with the lock held.
    bool enqueue(Job&& job)
    {
        try {
            queue_.push_back(std::move(job));
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }

    bool start_worker(std::function<void()> body)
    {
        if (!start_(std::move(body))) return false;
        ++workers_;
        return true;
    }

    void start_standing_worker() { standing_ = start_worker([this] { stand(); }); }

    // Runs queued jobs until the queue is empty, without the lock while a job runs.
    void run_queue(std::unique_lock<std::mutex>& guard)
    {
        while (!queue_.empty()) {
            Job job = std::move(queue_.front());
            queue_.pop_front();
            guard.unlock();
            run_safely(job);
            guard.lock();
        }
    }

    void end_worker()
    {
        --workers_;
        ended_.notify_all();
    }

    // A worker started on demand: ends with the queue.
    void work()
    {
        std::unique_lock<std::mutex> guard(lock_);
        run_queue(guard);
        end_worker();
    }

    // The standing worker: waits for jobs until the pool closes.
    void stand()
    {
        std::unique_lock<std::mutex> guard(lock_);
        for (;;) {
            run_queue(guard);
            if (closing_) break;
            standing_idle_ = true;
            wake_.wait(guard, [this] { return closing_ || !standing_idle_ || !queue_.empty(); });
            standing_idle_ = false;
        }
        standing_ = false;
        end_worker();
    }

    void run_safely(Job& job)
    {
        try {
            run_(job);
        } catch (const std::bad_alloc&) {
            // the job is given up; the worker and the program go on
        }
    }

    Run run_;
    StartThread start_;
    const int max_workers_;
    const std::size_t max_queued_;
    mutable std::mutex lock_;
    std::condition_variable wake_;   // the standing worker waits here for jobs
    std::condition_variable ended_;  // the destructor waits here for the workers
    int workers_ = 0;                // running workers, the standing one included
    std::atomic<bool> standing_{false};  // written with the lock held
    bool standing_idle_ = false;
    bool closing_ = false;
    std::deque<Job> queue_;
};
