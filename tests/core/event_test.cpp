#include "core/event.h"

#include <gtest/gtest.h>

#include <thread>

namespace qv {
namespace {

TEST(Event_Reset, ManualStaysSetAutomaticIsConsumed) {
    Event manual(Event::Reset::Manual);
    Event automatic(Event::Reset::Automatic);
    EXPECT_FALSE(manual.poll());
    EXPECT_FALSE(automatic.poll());
    manual.set();
    automatic.set();
    EXPECT_TRUE(manual.poll());
    EXPECT_TRUE(manual.poll());
    EXPECT_TRUE(automatic.poll());
    EXPECT_FALSE(automatic.poll());
    manual.reset();
    EXPECT_FALSE(manual.poll());
}

TEST(Event_WaitEither, FirstHandleWinsAndOnlyTheReportedOneIsConsumed) {
    Event cont(Event::Reset::Automatic);
    Event cancel(Event::Reset::Manual);
    cont.set();
    cancel.set();
    EXPECT_EQ(Event::waitEither(cont, cancel), 0);
    EXPECT_FALSE(cont.poll());
    EXPECT_EQ(Event::waitEither(cont, cancel), 1);
    EXPECT_TRUE(cancel.poll());  // manual reset: still set

    Event a(Event::Reset::Automatic), b(Event::Reset::Automatic);
    b.set();
    a.set();
    EXPECT_EQ(Event::waitEither(a, b), 0);
    EXPECT_EQ(Event::waitEither(a, b), 1);
    EXPECT_EQ(Event::waitEitherFor(a, b, std::chrono::milliseconds(5)), -1);
}

TEST(Event_WaitEither, WakesWhenAnotherThreadSets) {
    Event cont(Event::Reset::Automatic);
    Event cancel(Event::Reset::Manual);
    std::thread t([&] { cancel.set(); });
    EXPECT_EQ(Event::waitEither(cont, cancel), 1);
    t.join();
    Event late(Event::Reset::Manual);
    std::thread u([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        late.set();
    });
    EXPECT_TRUE(late.waitFor(std::chrono::seconds(10)));
    u.join();
}

}  // namespace
}  // namespace qv
