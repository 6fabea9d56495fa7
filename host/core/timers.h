// Timers on a virtual clock. One unit of time is one millisecond, so the
// component's interval of 10000 is ten seconds; time moves only when a script
// says so.
//
// "ET id interval" (re)starts timer `id`: it first fires `interval` after the
// moment it was started, then every `interval`. Starting a running timer
// starts it afresh. "ET id" stops it; stopping a stopped timer is harmless.
#ifndef VESK_HOST_CORE_TIMERS_H
#define VESK_HOST_CORE_TIMERS_H

#include <cstdint>
#include <map>
#include <optional>
#include <vector>

class TimerClock {
public:
    int64_t now() const { return now_; }

    void start(int id, int interval);
    // True when the timer was running.
    bool stop(int id);
    bool running(int id) const { return timers_.count(id) != 0; }
    std::optional<int> interval(int id) const;
    // When timer `id` fires next; null when it is not running.
    std::optional<int64_t> due(int id) const;
    // Ids of the running timers, lowest first.
    std::vector<int> runningTimers() const;

    // The timer due first at or before `limit`, earliest first, lower id first
    // on a tie. Null when none is due by then.
    std::optional<int> nextDue(int64_t limit) const;
    // When the next timer falls due; null when none runs.
    std::optional<int64_t> nextDueTime() const;
    // Moves the clock to timer `id`'s due time and schedules its next firing.
    // The timer must be running and due no later than any other.
    void fire(int id);
    // Moves the clock forward to `time` (never back).
    void advanceTo(int64_t time);

private:
    struct Timer {
        int interval;
        int64_t due;
    };
    int64_t now_ = 0;
    std::map<int, Timer> timers_;
};

#endif  // VESK_HOST_CORE_TIMERS_H
