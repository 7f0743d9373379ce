// A bounded set of worker threads with a bounded queue, for the alerting
// actions that must never hold up the receive loop.
//
// submit() hands a job over and returns at once: a free worker (at most
// `max_workers` at a time, started on demand) takes it; otherwise it waits in
// the queue, in arrival order. When the queue already holds `max_queued` jobs
// the job is dropped and submit() returns false. Workers end when the queue is
// empty. The pool is meant to live for the whole program: it is never
// destroyed, so a worker still running at exit finds it intact.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

template <class Job>
class WorkerPool {
public:
    using Run = std::function<void(Job&)>;

    WorkerPool(Run run, int max_workers, std::size_t max_queued)
        : run_(std::move(run)), max_workers_(max_workers), max_queued_(max_queued)
    {
    }

    bool submit(Job job)
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (workers_ < max_workers_) {
            try {
                std::thread(&WorkerPool::work, this, std::move(job)).detach();
                ++workers_;
                return true;
            } catch (const std::system_error&) {
                // no thread to be had: the job waits in the queue like any other
            }
        }
        if (queue_.size() >= max_queued_) return false;
        queue_.push_back(std::move(job));
        return true;
    }

    int workers() const
    {
        std::lock_guard<std::mutex> guard(lock_);
        return workers_;
    }

private:
    void work(Job job)
    {
        for (;;) {
            run_(job);
            std::lock_guard<std::mutex> guard(lock_);
            if (queue_.empty()) {
                --workers_;
                return;
            }
            job = std::move(queue_.front());
            queue_.pop_front();
        }
    }

    Run run_;
    const int max_workers_;
    const std::size_t max_queued_;
    mutable std::mutex lock_;
    int workers_ = 0;
    std::deque<Job> queue_;
};
