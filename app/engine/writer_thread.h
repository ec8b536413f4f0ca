// A thread of its own for the files of a run that take long to make or to
// flush (consensus files, netCDF files, plots): tasks run one after
// another, in the order they are posted, while the worker reads and
// averages the next day.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

namespace qv {

class WriterThread {
public:
    WriterThread() = default;
    // Runs what is still posted, then ends the thread.
    ~WriterThread();
    WriterThread(const WriterThread&) = delete;
    WriterThread& operator=(const WriterThread&) = delete;

    // Queues `task`; its result (or the exception it threw) comes back
    // through the future. The thread starts with the first task. Where no
    // thread can be started the task runs at once, on the caller's thread.
    // May be called from several threads.
    template <typename Task>
    std::future<std::invoke_result_t<Task>> post(Task task) {
        using Result = std::invoke_result_t<Task>;
        auto packaged = std::make_shared<std::packaged_task<Result()>>(std::move(task));
        std::future<Result> result = packaged->get_future();
        if (!enqueue([packaged] { (*packaged)(); })) (*packaged)();
        return result;
    }

private:
    // False when no thread could be started.
    bool enqueue(std::function<void()> job);
    void run();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace qv
