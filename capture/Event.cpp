#include "capture/Event.h"

#include <algorithm>
#include <stdexcept>

namespace BaseLibrary {

void Event::auto_shot::operator()() const
{
    try {
        boost::this_thread::sleep_until(due);
    } catch (const boost::thread_interrupted&) {
        event->dropPending(due);  // the event is being destroyed
        return;
    }
    event->fireDelayed(due);
}

Event::Event(bool autoReset) : autoReset(autoReset) {}

Event::~Event()
{
    bool armed = false;
    int armedMs = 0;
    {
        boost::lock_guard<boost::mutex> lock(delayMutex);
        armed = static_cast<bool>(delayThread);
        armedMs = delayMs;
    }
    if (armed) {  // an armed delayed set gets up to its delay to fire, as a flash interval runs out
        try {
            timedWait(armedMs);
        } catch (...) {
        }
    }
    std::vector<boost::shared_ptr<boost::thread>> threads;
    {
        boost::lock_guard<boost::mutex> lock(delayMutex);
        threads.swap(disarmedThreads);
        if (delayThread)
            threads.push_back(delayThread);
        delayThread.reset();
    }
    for (const auto& thread : threads)
        thread->interrupt();
    for (const auto& thread : threads) {
        try {
            thread->join();
        } catch (...) {
        }
    }
}

void Event::set()
{
    boost::lock_guard<boost::mutex> lock(stateMutex);
    setLocked();
}

void Event::setLocked()
{
    signalled = true;
    condition.notify_all();
    for (EventGroup* group : groups)
        group->onMemberSet(this);
}

// The set and the end of its pending mark happen together, so a waiter never sees neither.
void Event::fireDelayed(Clock::time_point due)
{
    boost::lock_guard<boost::mutex> lock(stateMutex);
    const auto it = std::find(pendingDue.begin(), pendingDue.end(), due);
    if (it != pendingDue.end())
        pendingDue.erase(it);
    setLocked();
}

void Event::dropPending(Clock::time_point due)
{
    boost::lock_guard<boost::mutex> lock(stateMutex);
    const auto it = std::find(pendingDue.begin(), pendingDue.end(), due);
    if (it != pendingDue.end())
        pendingDue.erase(it);
    condition.notify_all();  // a waiter counting on this set gives up
}

bool Event::delayedSetDueBy(Clock::time_point deadline) const
{
    return std::any_of(pendingDue.begin(), pendingDue.end(),
                       [deadline](Clock::time_point due) { return due <= deadline; });
}

void Event::reset()
{
    {
        boost::lock_guard<boost::mutex> lock(delayMutex);
        if (delayThread) {
            disarmedThreads.push_back(delayThread);
            delayThread.reset();
        }
        reapFinishedDelays();
    }
    boost::lock_guard<boost::mutex> lock(stateMutex);
    signalled = false;
    condition.notify_all();
    for (EventGroup* group : groups)
        group->onMemberReset(this);
}

bool Event::poll()
{
    boost::lock_guard<boost::mutex> lock(stateMutex);
    const bool was = signalled;
    if (autoReset)
        signalled = false;
    return was;
}

void Event::wait()
{
    boost::unique_lock<boost::mutex> lock(stateMutex);
    while (!signalled)
        condition.wait(lock);
    if (autoReset)
        signalled = false;
}

bool Event::waitUntil(Clock::time_point deadline)
{
    boost::unique_lock<boost::mutex> lock(stateMutex);
    while (!signalled) {
        if (Clock::now() < deadline) {
            condition.wait_until(lock, deadline);
        } else if (delayedSetDueBy(deadline)) {
            condition.wait(lock);  // due by the deadline: only its thread's wake-up is late
        } else {
            return false;
        }
    }
    if (autoReset)
        signalled = false;
    return true;
}

bool Event::timedWait(int ms)
{
    return waitUntil(Clock::now() + boost::chrono::milliseconds(ms));
}

void Event::setAfter(int ms)
{
    boost::lock_guard<boost::mutex> lock(delayMutex);
    reapFinishedDelays();
    if (delayThread)
        return;
    const Clock::time_point due = Clock::now() + boost::chrono::milliseconds(ms);
    {
        boost::lock_guard<boost::mutex> state(stateMutex);
        pendingDue.push_back(due);
    }
    try {
        delayThread = boost::shared_ptr<boost::thread>(new boost::thread(auto_shot{this, due}));
    } catch (...) {
        dropPending(due);
        throw;
    }
    delayMs = ms;
}

void Event::reapFinishedDelays()
{
    auto finished = [](const boost::shared_ptr<boost::thread>& thread) {
        return thread->try_join_for(boost::chrono::milliseconds(0));
    };
    disarmedThreads.erase(std::remove_if(disarmedThreads.begin(), disarmedThreads.end(), finished),
                          disarmedThreads.end());
}

EventGroup::~EventGroup()
{
    std::vector<Event*> members;
    {
        boost::lock_guard<boost::mutex> lock(mutex);
        for (const Entry& entry : entries)
            if (std::find(members.begin(), members.end(), entry.event) == members.end())
                members.push_back(entry.event);
    }
    for (Event* event : members) {
        boost::lock_guard<boost::mutex> lock(event->stateMutex);
        auto& groups = event->groups;
        groups.erase(std::remove(groups.begin(), groups.end(), this), groups.end());
    }
}

int EventGroup::add(Event* event)
{
    if (!event)
        throw std::logic_error("Trying to add non-existent event.");
    boost::lock_guard<boost::mutex> eventLock(event->stateMutex);
    boost::lock_guard<boost::mutex> lock(mutex);
    if (std::find(event->groups.begin(), event->groups.end(), this) == event->groups.end())
        event->groups.push_back(this);
    entries.push_back(Entry{event, event->signalled});
    return static_cast<int>(entries.size()) - 1;
}

void EventGroup::onMemberSet(Event* event)
{
    boost::lock_guard<boost::mutex> lock(mutex);
    if (entries.empty()) {
        allCondition.notify_all();
        return;
    }
    for (Entry& entry : entries)
        if (entry.event == event)
            entry.signalled = true;
    anyCondition.notify_all();
    if (allMarkedLocked())
        allCondition.notify_all();
}

void EventGroup::onMemberReset(Event* event)
{
    boost::lock_guard<boost::mutex> lock(mutex);
    for (Entry& entry : entries)
        if (entry.event == event)
            entry.signalled = false;
}

std::vector<int> EventGroup::markedLocked() const
{
    std::vector<int> indices;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].signalled)
            indices.push_back(static_cast<int>(i));
    return indices;
}

bool EventGroup::allMarkedLocked() const
{
    return std::all_of(entries.begin(), entries.end(), [](const Entry& e) { return e.signalled; });
}

std::vector<int> EventGroup::signalledIndices()
{
    boost::lock_guard<boost::mutex> lock(mutex);
    return markedLocked();
}

std::vector<int> EventGroup::waitAny()
{
    boost::unique_lock<boost::mutex> lock(mutex);
    std::vector<int> marked = markedLocked();
    while (marked.empty()) {
        anyCondition.wait(lock);
        marked = markedLocked();
    }
    return marked;
}

std::vector<int> EventGroup::waitAnyUntil(Event::Clock::time_point deadline)
{
    boost::unique_lock<boost::mutex> lock(mutex);
    if (markedLocked().empty())
        anyCondition.wait_until(lock, deadline);
    return markedLocked();
}

void EventGroup::waitAll()
{
    boost::unique_lock<boost::mutex> lock(mutex);
    while (!allMarkedLocked())
        allCondition.wait(lock);
}

bool EventGroup::waitAllUntil(Event::Clock::time_point deadline)
{
    boost::unique_lock<boost::mutex> lock(mutex);
    if (!allMarkedLocked())
        allCondition.wait_until(lock, deadline);
    return allMarkedLocked();
}

}  // namespace BaseLibrary
