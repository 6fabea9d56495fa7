#include "routers/backend_events.h"

#include <utility>

static uint64_t keyOf(int device, int destination) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(device)) << 32) | static_cast<uint32_t>(destination);
}

void BackendEvents::push(BackendEvent event) { queue_.push_back(std::move(event)); }

void BackendEvents::note(int device, std::string text) {
    push(BackendEvent{BackendEvent::Kind::Note, device, std::move(text), Report{}, 0, RouterLink{}});
}

void BackendEvents::report(Report report) {
    const uint64_t key = keyOf(report.device, report.index);
    auto [it, fresh] = reportAt_.emplace(key, queue_.size());
    if (!fresh) {
        ++foldedNow_[report.device];
        queue_[it->second].report = std::move(report);
        return;
    }
    const int device = report.device;
    push(BackendEvent{BackendEvent::Kind::Report, device, "", std::move(report), 0, RouterLink{}});
}

void BackendEvents::size(int device, int destinations, RouterLink link) {
    push(BackendEvent{BackendEvent::Kind::Size, device, "", Report{}, destinations, std::move(link)});
}

void BackendEvents::link(int device, RouterLink link) {
    push(BackendEvent{BackendEvent::Kind::Link, device, "", Report{}, 0, std::move(link)});
}

std::vector<BackendEvent> BackendEvents::take() {
    std::vector<BackendEvent> out;
    out.swap(queue_);
    reportAt_.clear();
    for (auto it = foldedRun_.begin(); it != foldedRun_.end();) {
        if (foldedNow_.count(it->first)) {
            ++it;
            continue;
        }
        const FoldRun run = it->second;
        if (run.takes > 1 || run.reports >= kQuietFolds)
            out.push_back(BackendEvent{BackendEvent::Kind::Note, it->first,
                                   "router device " + std::to_string(it->first) + " sent changes faster than the "
                                   "component took them: each destination got its newest state (" +
                                       std::to_string(run.reports) + " older report(s) folded)",
                                   Report{}, 0, RouterLink{}});
        it = foldedRun_.erase(it);
    }
    for (const auto& [device, count] : foldedNow_) {
        foldedRun_[device].reports += count;
        ++foldedRun_[device].takes;
    }
    foldedNow_.clear();
    return out;
}
