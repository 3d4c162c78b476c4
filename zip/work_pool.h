// zip/work_pool.h — worker threads that compress and check entries while the calling thread fires the
// events and writes the archive in order, and the window of work handed to them ahead of its turn.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace ferrolo::zip {

// Workers for `requested` (0: one per processor the process may run on, at most a fixed number, so that
// their memory stays bounded whatever the machine).
size_t worker_count(unsigned requested);

class WorkPool {
public:
    // Runs with the index of the worker, 0 to workers() - 1, so that each may keep state of its own.
    using Task = std::function<void(size_t worker)>;

    explicit WorkPool(size_t workers);
    // Drops the tasks not started and waits for those running.
    ~WorkPool();
    WorkPool(const WorkPool&) = delete;
    WorkPool& operator=(const WorkPool&) = delete;

    size_t workers() const { return threads_.size(); }
    // Queues `task`; the future is ready when it has run and carries what it threw.
    std::future<void> submit(Task task);

private:
    void serve(size_t worker);

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<void(size_t)>> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Jobs handed to a pool ahead of their turn and taken back strictly in order. What they hold at once is
// bounded in bytes (each job costs what its buffers may take) and in number.
template <typename Result>
class JobWindow {
public:
    using Work = std::function<void(size_t worker, Result& result)>;

    JobWindow(WorkPool& pool, uint64_t byte_budget, size_t job_limit)
        : pool_(pool), byte_budget_(byte_budget), job_limit_(job_limit) {}

    // True when a job of `cost` fits beside those in flight; an empty window takes any job.
    bool has_room(uint64_t cost) const {
        return jobs_.empty() || (bytes_in_flight_ + cost <= byte_budget_ && jobs_.size() < job_limit_);
    }
    void submit(size_t index, uint64_t cost, Work work) {
        auto result = std::make_shared<Result>();
        std::future<void> done =
            pool_.submit([result, work = std::move(work)](size_t worker) { work(worker, *result); });
        jobs_.push_back({index, cost, std::move(result), std::move(done)});
        bytes_in_flight_ += cost;
    }
    // The result of the job for `index`, once done; nothing when no job was handed out for it (or it was
    // taken already). Jobs of earlier indices are dropped.
    std::optional<Result> take(size_t index) {
        while (!jobs_.empty() && jobs_.front().index < index) {
            release_front();
        }
        if (jobs_.empty() || jobs_.front().index != index) {
            return std::nullopt;
        }
        jobs_.front().done.get();
        Result result = std::move(*jobs_.front().result);
        release_front();
        return result;
    }

private:
    struct Job {
        size_t index;
        uint64_t cost;
        std::shared_ptr<Result> result;  // shared with the task, which may outlive a dropped job
        std::future<void> done;
    };
    void release_front() {
        bytes_in_flight_ -= jobs_.front().cost;
        jobs_.pop_front();
    }

    WorkPool& pool_;
    uint64_t byte_budget_;
    size_t job_limit_;
    uint64_t bytes_in_flight_ = 0;
    std::deque<Job> jobs_;
};

}  // namespace ferrolo::zip
