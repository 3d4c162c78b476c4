#include "zip/work_pool.h"

#include <algorithm>

#include "platform/processors.h"

namespace ferrolo::zip {

namespace {

// More workers than this would only hold memory: the bytes in flight are bounded anyway.
constexpr size_t kMostWorkers = 16;

}  // namespace

size_t worker_count(unsigned requested) {
    return requested > 0 ? requested : std::min(platform::usable_processor_count(), kMostWorkers);
}

WorkPool::WorkPool(size_t workers) {
    threads_.reserve(workers);
    for (size_t worker = 0; worker < std::max<size_t>(workers, 1); ++worker) {
        threads_.emplace_back([this, worker] { serve(worker); });
    }
}

WorkPool::~WorkPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

std::future<void> WorkPool::submit(Task task) {
    std::packaged_task<void(size_t)> packaged(std::move(task));
    std::future<void> done = packaged.get_future();
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(packaged));
    }
    wake_.notify_one();
    return done;
}

void WorkPool::serve(size_t worker) {
    for (;;) {
        std::packaged_task<void(size_t)> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) {
                return;
            }
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task(worker);
    }
}

}  // namespace ferrolo::zip
