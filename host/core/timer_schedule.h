// The site's timers in one order: for each component with a timer running,
// when its next one falls due, so the component due first is found in
// O(log n) rather than by asking every component (the event loop asks after
// every handler it runs).
//
// Each component tells its own entry whenever its timers change (started,
// stopped, fired, ended with the component); an entry's order is the
// component's creation order and breaks ties between equal times.
#ifndef VESK_HOST_CORE_TIMER_SCHEDULE_H
#define VESK_HOST_CORE_TIMER_SCHEDULE_H

#include <cstdint>
#include <optional>
#include <set>
#include <tuple>
#include <unordered_map>

class Emulator;

class TimerSchedule {
public:
    // `who`, created `order`-th, next falls due at `due`; null: none of its
    // timers runs.
    void set(Emulator& who, uint64_t order, std::optional<int64_t> due);
    // The component due first at or before `limit`, the earlier created on a
    // tie; null when none is due by then.
    Emulator* first(int64_t limit) const;
    // When the first falls due; null when no timer runs.
    std::optional<int64_t> nextDue() const;

private:
    using Entry = std::tuple<int64_t, uint64_t, Emulator*>;
    std::set<Entry> queue_;
    std::unordered_map<Emulator*, Entry> entries_;
};

#endif  // VESK_HOST_CORE_TIMER_SCHEDULE_H
