// A thread of its own for the files of a run that take long to make (netCDF
// files, plots): tasks run one after another, in the order they are posted,
// while the worker reads and averages the next day. One thread, so the
// libraries behind the files are never entered from two threads at once.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

#include "core/job.h"

namespace qv {

class WriterThread {
public:
    WriterThread() = default;
    // Runs what is still posted, then ends the thread.
    ~WriterThread();
    WriterThread(const WriterThread&) = delete;
    WriterThread& operator=(const WriterThread&) = delete;

    // Queues `task`; its report (or the exception it threw) comes back
    // through the future. The thread starts with the first task. Where no
    // thread can be started the task runs at once, on the caller's thread.
    std::future<OutputReport> post(std::function<OutputReport()> task);

private:
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::packaged_task<OutputReport()>> tasks_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace qv
