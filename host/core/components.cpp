#include "core/components.h"

#include <algorithm>

// One "wait" fires at most this many timer events.
static const int kMaxTimerEvents = 100000;

Components::Components(Transcript& out) : out_(out) {}

Components::~Components() {
    std::vector<Emulator*> alive = live();
    for (auto it = alive.rbegin(); it != alive.rend(); ++it) (*it)->destroy();
}

Emulator& Components::slot(const std::string& name) {
    if (Emulator* found = find(name)) return *found;
    slots_.push_back(std::make_unique<Emulator>(Emulator::SiteLinks{out_, backends_, index_, schedule_, missingPanels_}, name));
    Emulator& made = *slots_.back();
    made.clockTo(now_);
    made.setRealTime(realTime_);
    byName_[name] = &made;
    return made;
}

Emulator* Components::find(const std::string& name) const {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

std::vector<std::string> Components::names() const {
    std::vector<std::string> out;
    for (const auto& slot : slots_)
        if (!slot->name().empty()) out.push_back(slot->name());
    return out;
}

std::vector<Emulator*> Components::live() const {
    std::vector<Emulator*> out;
    for (const auto& slot : slots_)
        if (slot->live()) out.push_back(slot.get());
    std::sort(out.begin(), out.end(), [](Emulator* a, Emulator* b) { return a->followOrder() < b->followOrder(); });
    return out;
}

void Components::deleteAll(const std::string& note) {
    std::vector<Emulator*> alive = live();
    for (auto it = alive.rbegin(); it != alive.rend(); ++it) {
        (*it)->transcript().note(note);
        (*it)->destroy();
    }
}

int Components::violations() const {
    int count = 0;
    for (const auto& slot : slots_) count += slot->violations();
    return count;
}

int Components::panelErrors() const {
    int count = 0;
    for (const auto& slot : slots_) count += slot->panelErrors();
    return count;
}

std::vector<std::string> Components::takeMissingPanels() {
    std::vector<std::string> out;
    out.swap(missingPanels_);
    return out;
}

void Components::advance(int64_t units) {
    const int64_t target = now_ + units;
    int fired = 0;
    while (Emulator* next = schedule_.first(target)) {
        if (++fired > kMaxTimerEvents) {
            out_.note("stopped after " + std::to_string(kMaxTimerEvents) + " timer events");
            break;
        }
        if (!next->fireNextTimer(target)) break;  // never: the schedule holds what is due
    }
    for (const auto& slot : slots_) slot->clockTo(target);
    now_ = target;
}

void Components::setRealTime(bool realTime) {
    realTime_ = realTime;
    for (const auto& slot : slots_) slot->setRealTime(realTime);
}

void Components::dispatch(const Report& report) {
    const std::vector<ReportFollower*>& followers = index_.followers(report.device, report.index);
    if (followers.size() == 1) {
        followers.front()->follow(report);
        return;
    }
    // A delivery may change the registrations, and with them the index.
    const std::vector<ReportFollower*> each = followers;
    for (ReportFollower* follower : each) follower->follow(report);
}

// The one place that takes backend events and hands them on.
void Components::takeBackendEvents(const std::function<void(int, int)>& announced) {
    for (BackendEvent& event : events_.take()) {
        switch (event.kind) {
            case BackendEvent::Kind::Note: out_.note(event.note); break;
            case BackendEvent::Kind::Report: dispatch(event.report); break;
            case BackendEvent::Kind::Link: out_.link(event.device, event.link); break;
            case BackendEvent::Kind::Size:
                out_.link(event.device, event.link, event.size);
                if (announced) announced(event.device, event.size);
                break;
        }
    }
}
