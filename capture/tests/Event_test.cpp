#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "capture/Event.h"

using BaseLibrary::Event;
using BaseLibrary::EventGroup;
using Clock = std::chrono::steady_clock;

namespace {

long long msSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

TEST(Event, ManualResetStaysSignalled)
{
    Event event(false);
    EXPECT_FALSE(event.poll());
    EXPECT_FALSE(event.timedWait(0));
    event.set();
    EXPECT_TRUE(event.poll());
    EXPECT_TRUE(event.poll());
    EXPECT_TRUE(event.timedWait(0));
    event.wait();
    event.reset();
    EXPECT_FALSE(event.poll());
}

TEST(Event, AutoResetLetsOneThroughPerSet)
{
    Event event(true);
    event.set();
    EXPECT_TRUE(event.poll());
    EXPECT_FALSE(event.poll());
    const auto start = Clock::now();
    EXPECT_FALSE(event.timedWait(10));
    EXPECT_GE(msSince(start), 10);
    event.set();
    EXPECT_TRUE(event.timedWait(10));
    EXPECT_FALSE(event.poll());
}

TEST(Event, DelayedSetFiresOnItsOwnThreadOnce)
{
    Event event(true);
    const auto start = Clock::now();
    event.setAfter(300);
    event.setAfter(0);  // already armed: ignored
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const bool early = event.poll();
    if (msSince(start) < 300) {  // a stalled thread may legitimately poll after the set is due
        EXPECT_FALSE(early);
    }
    if (!early) {
        EXPECT_TRUE(event.timedWait(2000));  // woken by the delay thread while this one waits
    }
    EXPECT_GE(msSince(start), 300);

    event.setAfter(0);  // still armed after firing, until reset
    EXPECT_FALSE(event.timedWait(40));
    event.reset();
    event.setAfter(0);
    EXPECT_TRUE(event.timedWait(2000));
}

// A delayed set is due its delay after setAfter: a wait of that delay begun right after it sees the set, however
// late the set's thread gets to run; a wait that ends before the set is due does not.
TEST(Event, DelayedSetIsDueItsDelayAfterSetAfter)
{
    struct Case {
        int delayMs;
        int waitMs;
        bool seen;
    } cases[] = {{0, 0, true}, {5, 5, true}, {20, 20, true}, {600, 50, false}};
    Event event(true);
    for (const Case& c : cases) {
        for (int round = 0; round < 10; ++round) {
            event.reset();
            const auto start = Clock::now();
            event.setAfter(c.delayMs);
            const bool seen = event.timedWait(c.waitMs);
            if (c.seen || msSince(start) < c.delayMs) {  // a wait begun late may end after the set is due
                ASSERT_EQ(c.seen, seen) << c.delayMs << " ms, round " << round;
            }
            if (!c.seen)
                break;
        }
    }
    EXPECT_TRUE(event.timedWait(5000));  // the 600 ms set still comes
}

TEST(Event, ResetDisarmsButALaunchedDelayStillFires)
{
    Event event(false);
    const auto start = Clock::now();
    event.setAfter(300);
    event.reset();
    const bool early = event.poll();
    if (msSince(start) < 300) {
        EXPECT_FALSE(early);
    }
    EXPECT_TRUE(event.timedWait(3000));
    EXPECT_GE(msSince(start), 300);
}

TEST(Event, SetWakesEveryWaiterOfAManualEvent)
{
    Event event(false);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&, i] {
            if (i == 0) {
                event.wait();
                ++woken;
            } else if (event.timedWait(5000)) {
                ++woken;
            }
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    event.set();
    for (auto& t : waiters)
        t.join();
    EXPECT_EQ(3, woken.load());
}

TEST(Event, SetReleasesExactlyOneWaiterOfAnAutoEvent)
{
    Event event(true);
    std::atomic<int> woken{0};
    std::vector<std::thread> waiters;
    for (int i = 0; i < 3; ++i)
        waiters.emplace_back([&] {
            if (event.timedWait(60000))
                ++woken;
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    for (int released = 1; released <= 3; ++released) {
        event.set();
        const auto setAt = Clock::now();
        while (woken.load() < released && msSince(setAt) < 30000)
            std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(30));  // a second waiter let through would show
        EXPECT_EQ(released, woken.load());
    }
    for (auto& t : waiters)
        t.join();
    EXPECT_FALSE(event.poll());
}

TEST(Event, DestroyedWithPendingDelayedSets)
{
    // Armed, and disarmed-but-sleeping delayed sets must not touch the event once it is gone (the sanitizer
    // builds report a late set as a use after free).
    for (int round = 0; round < 5; ++round) {
        auto armed = std::make_unique<Event>(false);
        armed->setAfter(30);
        auto disarmed = std::make_unique<Event>(true);
        disarmed->setAfter(30);
        disarmed->reset();
        disarmed->setAfter(60);
        armed.reset();
        disarmed.reset();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    auto signalled = std::make_unique<Event>(false);
    signalled->setAfter(0);
    EXPECT_TRUE(signalled->timedWait(2000));
    signalled.reset();
}

TEST(Event, DestructionWaitsForAnArmedSetOnly)
{
    struct Case {
        const char* name;
        int delayMs;
        bool setFirst;   // already signalled: nothing to wait for
        bool resetFirst; // disarmed: its sleeping thread is cancelled
        long long atLeastMs, belowMs;
    } cases[] = {
        {"armed, not yet fired", 60, false, false, 60, 30000},
        // below the delay: the sleeping set was cancelled, not waited for
        {"armed, already signalled", 30000, true, false, 0, 30000},
        {"disarmed, still sleeping", 30000, false, true, 0, 30000},
    };
    for (const Case& c : cases) {
        const auto start = Clock::now();
        {
            Event event(false);
            event.setAfter(c.delayMs);
            if (c.setFirst)
                event.set();
            if (c.resetFirst)
                event.reset();
        }
        const long long elapsed = msSince(start);
        EXPECT_GE(elapsed, c.atLeastMs) << c.name;
        EXPECT_LT(elapsed, c.belowMs) << c.name;
    }
}

TEST(Event, ManyResetCyclesDoNotPileUpThreads)
{
    Event event(true);
    for (int i = 0; i < 50; ++i) {
        event.setAfter(0);
        ASSERT_TRUE(event.timedWait(2000)) << "cycle " << i;
        event.reset();
    }
}

TEST(EventGroup, WaitsForAnyAndAll)
{
    Event a(false), b(true);
    EventGroup group;
    EXPECT_THROW(group.add(nullptr), std::logic_error);
    EXPECT_EQ(0, group.add(&a));
    EXPECT_EQ(1, group.add(&b));
    EXPECT_TRUE(group.signalledIndices().empty());
    EXPECT_TRUE(group.waitAnyUntil(Event::Clock::now() + boost::chrono::milliseconds(10)).empty());

    std::thread setter([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        b.set();
    });
    EXPECT_EQ(std::vector<int>{1}, group.waitAny());
    setter.join();
    EXPECT_TRUE(b.poll());  // group waits never clear a member
    EXPECT_FALSE(group.waitAllUntil(Event::Clock::now() + boost::chrono::milliseconds(10)));
    a.set();
    EXPECT_TRUE(group.waitAllUntil(Event::Clock::now() + boost::chrono::milliseconds(10)));
    group.waitAll();
    a.reset();
    EXPECT_EQ(std::vector<int>{1}, group.signalledIndices());
}

TEST(EventGroup, NewMemberTakesItsCurrentStateAndLeavesOnDestruction)
{
    Event event(false);
    event.set();
    {
        EventGroup group;
        group.add(&event);
        EXPECT_EQ(std::vector<int>{0}, group.signalledIndices());
    }
    event.reset();  // the destroyed group is no longer called
    event.set();
    EXPECT_TRUE(event.poll());
}

}  // namespace
