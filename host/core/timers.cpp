#include "core/timers.h"

void TimerClock::start(int id, int interval) { timers_[id] = Timer{interval, now_ + interval}; }

bool TimerClock::stop(int id) { return timers_.erase(id) != 0; }

std::optional<int> TimerClock::interval(int id) const {
    auto it = timers_.find(id);
    if (it == timers_.end()) return std::nullopt;
    return it->second.interval;
}

std::optional<int64_t> TimerClock::due(int id) const {
    auto it = timers_.find(id);
    if (it == timers_.end()) return std::nullopt;
    return it->second.due;
}

std::vector<int> TimerClock::runningTimers() const {
    std::vector<int> ids;
    for (const auto& entry : timers_) ids.push_back(entry.first);
    return ids;
}

std::optional<int> TimerClock::nextDue(int64_t limit) const {
    std::optional<int> best;
    int64_t bestDue = 0;
    for (const auto& [id, timer] : timers_) {
        if (timer.due > limit) continue;
        if (!best || timer.due < bestDue) {
            best = id;
            bestDue = timer.due;
        }
    }
    return best;
}

std::optional<int64_t> TimerClock::nextDueTime() const {
    std::optional<int64_t> earliest;
    for (const auto& entry : timers_)
        if (!earliest || entry.second.due < *earliest) earliest = entry.second.due;
    return earliest;
}

void TimerClock::fire(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    if (it->second.due > now_) now_ = it->second.due;
    it->second.due += it->second.interval;
}

void TimerClock::advanceTo(int64_t time) {
    if (time > now_) now_ = time;
}
