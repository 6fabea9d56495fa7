#include "core/registrations.h"

void Registrations::add(int device, int first, int last, bool keepEarlier) {
    std::vector<Registration>& list = ranges_[device];
    if (!keepEarlier) list.clear();
    list.push_back(Registration{first, last});
    tell(device);
}

void Registrations::remove(int device) {
    ranges_.erase(device);
    tell(device);
}

void Registrations::clear() {
    const std::vector<int> had = devices();
    ranges_.clear();
    for (int device : had) tell(device);
}

void Registrations::tell(int device) {
    if (index_) index_->set(device, *follower_, of(device));
}

bool Registrations::covers(int device, int destination) const {
    for (const Registration& r : of(device))
        if (destination >= r.first && destination <= r.last) return true;
    return false;
}

const std::vector<Registration>& Registrations::of(int device) const {
    static const std::vector<Registration> none;
    auto it = ranges_.find(device);
    return it == ranges_.end() ? none : it->second;
}

std::vector<int> Registrations::devices() const {
    std::vector<int> out;
    for (const auto& entry : ranges_) out.push_back(entry.first);
    return out;
}
