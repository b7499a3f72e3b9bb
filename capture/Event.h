#pragma once
// A waitable event with automatic or manual reset, timed waits on a steady clock, and a delayed set that runs on
// its own thread. A delayed set is due its delay after setAfter was called; a timed wait whose deadline is not
// before a pending set's due time waits for that set, however late its thread runs. Delayed-set threads belong to
// the event: its destructor gives an armed delayed set up to its delay to fire, then cancels and joins every
// delayed-set thread.
#include <vector>

#include <boost/chrono.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

namespace BaseLibrary {

class EventGroup;

class Event {
public:
    using Clock = boost::chrono::steady_clock;

    explicit Event(bool autoReset);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;
    ~Event();

    void set();
    void reset();           // also disarms the delayed set; a set already sleeping still fires when its delay ends
    bool poll();            // the state as it was; an auto-reset event is cleared by a successful poll
    void wait();
    bool waitUntil(Clock::time_point deadline);
    bool timedWait(int ms);
    void setAfter(int ms);  // arms one delayed set; ignored while one is armed

    bool isAutoReset() const { return autoReset; }

private:
    friend class EventGroup;

    struct auto_shot {
        Event* event;
        Clock::time_point due;
        void operator()() const;
    };

    void reapFinishedDelays();  // under delayMutex
    void setLocked();           // under stateMutex
    void fireDelayed(Clock::time_point due);
    void dropPending(Clock::time_point due);
    bool delayedSetDueBy(Clock::time_point deadline) const;  // under stateMutex

    bool signalled = false;
    const bool autoReset;
    boost::mutex stateMutex;
    boost::condition_variable condition;
    std::vector<EventGroup*> groups;
    std::vector<Clock::time_point> pendingDue;  // due times of delayed sets that have not fired; under stateMutex
    boost::mutex delayMutex;  // taken before stateMutex where both are held
    boost::shared_ptr<boost::thread> delayThread;
    int delayMs = 0;
    std::vector<boost::shared_ptr<boost::thread>> disarmedThreads;  // disarmed by reset, possibly still sleeping
};

// Waits for any or all of several events. A member event must outlive the group.
class EventGroup {
public:
    EventGroup() = default;
    EventGroup(const EventGroup&) = delete;
    EventGroup& operator=(const EventGroup&) = delete;
    ~EventGroup();

    int add(Event* event);  // throws std::logic_error "Trying to add non-existent event." for null
    std::vector<int> signalledIndices();
    std::vector<int> waitAny();
    std::vector<int> waitAnyUntil(Event::Clock::time_point deadline);
    void waitAll();
    bool waitAllUntil(Event::Clock::time_point deadline);

private:
    friend class Event;
    struct Entry {
        Event* event;
        bool signalled;
    };

    void onMemberSet(Event* event);    // called by the member under its own mutex
    void onMemberReset(Event* event);
    std::vector<int> markedLocked() const;
    bool allMarkedLocked() const;

    boost::mutex mutex;
    boost::condition_variable anyCondition;
    boost::condition_variable allCondition;
    std::vector<Entry> entries;
};

}  // namespace BaseLibrary
