// Signalling events shared by the worker and whoever drives it.
//
// A manual-reset event stays set until reset; an automatic-reset event is
// cleared by the wait that reports it. Both start clear.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace qv {

class Event {
public:
    enum class Reset { Manual, Automatic };

    explicit Event(Reset kind) : kind_(kind) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // Zero-timeout poll: true when set. Consumes an automatic-reset event.
    bool poll();

    // Waits until one of the two events is set and returns its index: 0 for
    // `first`, 1 for `second`. When both are set the first wins. The event
    // reported is consumed when it resets automatically.
    static int waitEither(Event& first, Event& second);
    // Waits up to `timeout` for this event; true when it was set (consumed
    // when it resets automatically).
    bool waitFor(std::chrono::milliseconds timeout);
    // As waitEither, but gives up after `timeout` and returns -1.
    static int waitEitherFor(Event& first, Event& second, std::chrono::milliseconds timeout);

private:
    bool takeLocked();

    // One lock and one condition for all events keeps the two-event wait
    // simple and free of lost wake-ups.
    static std::mutex& lock();
    static std::condition_variable& changed();

    const Reset kind_;
    // Changed only under the lock; poll reads it first without the lock, so
    // the worker's check of a clear event between dwells costs one load.
    std::atomic<bool> signalled_{false};
};

}  // namespace qv
