#include "app/engine/writer_thread.h"

#include <system_error>

namespace qv {

WriterThread::~WriterThread() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.joinable()) thread_.join();
}

std::future<OutputReport> WriterThread::post(std::function<OutputReport()> task) {
    std::packaged_task<OutputReport()> packaged(std::move(task));
    std::future<OutputReport> result = packaged.get_future();
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            packaged();  // no thread to be had: the files are made now
            return result;
        }
    }
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(packaged));
    }
    wake_.notify_one();
    return result;
}

void WriterThread::run() {
    for (;;) {
        std::packaged_task<OutputReport()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (tasks_.empty()) return;  // stopping, and nothing left
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task();
    }
}

}  // namespace qv
