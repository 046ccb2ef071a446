#pragma once
// A second thread for the large pivots of one tableau: started with the first pivot that
// shares its rows, it then waits for the next, which saves starting a thread per pivot (tens
// of microseconds, about a thousand entry updates). It ends with its tableau.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>

namespace mekra::lp {

class PivotHelper {
public:
    PivotHelper() : thread_([this](std::stop_token stop) { serve(stop); }) {}
    PivotHelper(const PivotHelper&) = delete;
    PivotHelper& operator=(const PivotHelper&) = delete;

    // Offers `task` to the helper thread: work the caller would otherwise do itself, such as
    // taking the rows of a pivot that are left. `task` must not throw. Every offer is followed
    // by finish() before the next.
    void offer(std::function<void()> task) {
        {
            std::lock_guard lock(mutex_);
            task_ = std::move(task);
            finished_ = false;
        }
        wake_.notify_one();
    }

    // Returns once the offered task has returned, or at once if the helper has not started
    // it, which is then withdrawn and never runs. The helper starts some 40 microseconds after
    // an offer, milliseconds when another process holds the second core; a caller that has
    // done all the work by then need not wait for it to find nothing left (sctap2 took 4-6%
    // less time).
    void finish() {
        std::unique_lock lock(mutex_);
        if (task_ != nullptr) {
            task_ = nullptr;
            finished_ = true;
            return;
        }
        done_.wait(lock, [&] { return finished_; });
    }

private:
    void serve(std::stop_token stop) {
        std::unique_lock lock(mutex_);
        while (wake_.wait(lock, stop, [&] { return task_ != nullptr; })) {
            std::function<void()> task = std::move(task_);
            task_ = nullptr;
            lock.unlock();
            task();
            lock.lock();
            finished_ = true;
            done_.notify_one();
        }
    }

    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::condition_variable done_;
    std::function<void()> task_;
    bool finished_ = true;
    std::jthread thread_;  // last: it starts once the members it uses exist, and stops first
};

}  // namespace mekra::lp
