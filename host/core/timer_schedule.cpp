#include "core/timer_schedule.h"

void TimerSchedule::set(Emulator& who, uint64_t order, std::optional<int64_t> due) {
    auto had = entries_.find(&who);
    if (had != entries_.end()) {
        if (due && std::get<0>(had->second) == *due && std::get<1>(had->second) == order) return;
        queue_.erase(had->second);
        entries_.erase(had);
    }
    if (!due) return;
    const Entry entry{*due, order, &who};
    queue_.insert(entry);
    entries_.emplace(&who, entry);
}

Emulator* TimerSchedule::first(int64_t limit) const {
    if (queue_.empty() || std::get<0>(*queue_.begin()) > limit) return nullptr;
    return std::get<2>(*queue_.begin());
}

std::optional<int64_t> TimerSchedule::nextDue() const {
    if (queue_.empty()) return std::nullopt;
    return std::get<0>(*queue_.begin());
}
