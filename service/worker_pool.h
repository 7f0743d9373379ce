// A bounded set of worker threads with a bounded queue, for the alerting
// actions that must never hold up the receive loop.
//
// submit() hands a job over and returns at once: a free worker (at most
// `max_workers` at a time, started on demand) takes it; otherwise it waits in
// the queue, in arrival order. When the queue already holds `max_queued` jobs
// (or has no memory left) the job is dropped and submit() returns false.
// Workers end when the queue is empty. A job that runs out of memory
// (std::bad_alloc) is given up; its worker goes on with the queue.
//
// When no thread can be started, a running worker takes the job from the
// queue; when none runs, the caller runs the job itself before submit()
// returns. No other thread would ever pick the job up, so the caller is the
// only place where it is sure to be done now; the caller is held up for one
// job's time, and only while the system refuses new threads.
//
// The pool is meant to live for the whole program: it is never destroyed, so
// a worker still running at exit finds it intact.
#pragma once

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
    }

    bool submit(Job job)
    {
        std::unique_lock<std::mutex> guard(lock_);
        const bool may_start = workers_ < max_workers_;
        if (!may_start && queue_.size() >= max_queued_) return false;
        if (!enqueue(std::move(job))) return false;
        if (!may_start) return true;
        ++workers_;
        if (start_([this] { work(); })) return true;
        if (workers_ > 1) return give_back_worker();
        guard.unlock();
        work();  // no thread and no worker: the caller does the job
        return true;
    }

    int workers() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return workers_;
    }

private:
    // Both with the lock held.
    bool enqueue(Job&& job)
    {
        try {
            queue_.push_back(std::move(job));
            return true;
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    // The thread that would have taken the newest job did not start: a
    // running worker takes it, unless that would overfill the queue.
    bool give_back_worker()
    {
        --workers_;
        if (queue_.size() <= max_queued_) return true;
        queue_.pop_back();
        return false;
    }

    // Takes jobs from the queue until it is empty; counted in workers_.
    void work()
    {
        std::unique_lock<std::mutex> guard(lock_);
        while (!queue_.empty()) {
            Job job = std::move(queue_.front());
            queue_.pop_front();
            guard.unlock();
            run_safely(job);
            guard.lock();
        }
        --workers_;
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
    int workers_ = 0;
    std::deque<Job> queue_;
};
