#include "core/parallel.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace qv {

void forEachInParallel(std::size_t count, const std::function<void(std::size_t)>& work) {
    // A second thread pays off only with a second core and a second item.
    if (count < 2 || std::thread::hardware_concurrency() < 2) {
        for (std::size_t i = 0; i < count; ++i) work(i);
        return;
    }
    // Items are handed out one at a time, so a thread that draws the larger
    // items simply takes fewer of them.
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr firstError;
    std::mutex errorLock;
    auto drain = [&] {
        try {
            for (std::size_t i = next++; i < count && !failed.load(); i = next++) work(i);
        } catch (...) {
            std::lock_guard<std::mutex> guard(errorLock);
            if (!firstError) firstError = std::current_exception();
            failed = true;
        }
    };
    std::thread helper;
    try {
        helper = std::thread(drain);
    } catch (const std::system_error&) {
        // No thread to be had: the calling thread does all the items.
    }
    drain();
    if (helper.joinable()) helper.join();
    if (firstError) std::rethrow_exception(firstError);
}

}  // namespace qv
