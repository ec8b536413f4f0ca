#include "core/event.h"

namespace qv {

std::mutex& Event::lock() {
    static std::mutex m;
    return m;
}

std::condition_variable& Event::changed() {
    static std::condition_variable cv;
    return cv;
}

void Event::set() {
    {
        std::lock_guard<std::mutex> guard(lock());
        signalled_ = true;
    }
    changed().notify_all();
}

void Event::reset() {
    std::lock_guard<std::mutex> guard(lock());
    signalled_ = false;
}

bool Event::takeLocked() {
    if (!signalled_) return false;
    if (kind_ == Reset::Automatic) signalled_ = false;
    return true;
}

bool Event::poll() {
    // A set that this load misses is one made after the poll.
    if (!signalled_.load(std::memory_order_acquire)) return false;
    std::lock_guard<std::mutex> guard(lock());
    return takeLocked();
}

int Event::waitEither(Event& first, Event& second) {
    std::unique_lock<std::mutex> guard(lock());
    for (;;) {
        if (first.takeLocked()) return 0;
        if (second.takeLocked()) return 1;
        changed().wait(guard);
    }
}

bool Event::waitFor(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock());
    return changed().wait_for(guard, timeout, [this] { return signalled_.load(); }) && takeLocked();
}

int Event::waitEitherFor(Event& first, Event& second, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> guard(lock());
    for (;;) {
        if (first.takeLocked()) return 0;
        if (second.takeLocked()) return 1;
        if (changed().wait_until(guard, deadline) == std::cv_status::timeout) {
            if (first.takeLocked()) return 0;
            if (second.takeLocked()) return 1;
            return -1;
        }
    }
}

}  // namespace qv
