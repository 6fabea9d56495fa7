#include "core/report_index.h"

#include <algorithm>
#include <iterator>

static bool createdEarlier(const ReportFollower* a, const ReportFollower* b) {
    return a->followOrder() < b->followOrder();
}

std::vector<ReportIndex::Span> ReportIndex::unite(const std::vector<Registration>& ranges) {
    std::vector<Span> spans;
    for (const Registration& r : ranges)
        if (r.first <= r.last) spans.push_back(Span{r.first, static_cast<int64_t>(r.last) + 1});
    std::sort(spans.begin(), spans.end(), [](const Span& a, const Span& b) { return a.first < b.first; });
    std::vector<Span> united;
    for (const Span& s : spans) {
        if (!united.empty() && s.first <= united.back().end)
            united.back().end = std::max(united.back().end, s.end);
        else
            united.push_back(s);
    }
    return united;
}

void ReportIndex::split(Device& device, int64_t at) {
    auto next = device.segments.upper_bound(at);
    if (next != device.segments.begin() && std::prev(next)->first == at) return;
    Followers before = next == device.segments.begin() ? Followers{} : std::prev(next)->second;
    device.segments.emplace_hint(next, at, std::move(before));
}

void ReportIndex::add(Device& device, ReportFollower& follower, const Span& span) {
    split(device, span.first);
    split(device, span.end);
    for (auto it = device.segments.find(span.first); it->first < span.end; ++it) {
        Followers& f = it->second;
        f.insert(std::lower_bound(f.begin(), f.end(), &follower, createdEarlier), &follower);
    }
}

void ReportIndex::remove(Device& device, ReportFollower& follower, const Span& span) {
    split(device, span.first);
    split(device, span.end);
    for (auto it = device.segments.find(span.first); it->first < span.end; ++it) {
        Followers& f = it->second;
        f.erase(std::remove(f.begin(), f.end(), &follower), f.end());
    }
    merge(device, span.first, span.end);
}

void ReportIndex::merge(Device& device, int64_t first, int64_t end) {
    auto it = device.segments.lower_bound(first);
    if (it != device.segments.begin()) --it;
    while (it != device.segments.end() && it->first <= end) {
        const bool repeats =
            it == device.segments.begin() ? it->second.empty() : std::prev(it)->second == it->second;
        it = repeats ? device.segments.erase(it) : std::next(it);
    }
}

void ReportIndex::set(int device, ReportFollower& follower, const std::vector<Registration>& ranges) {
    std::vector<Span> wanted = unite(ranges);
    auto found = devices_.find(device);
    if (found == devices_.end() && wanted.empty()) return;
    Device& d = found == devices_.end() ? devices_[device] : found->second;
    auto had = d.spans.find(&follower);
    if (had != d.spans.end()) {
        for (const Span& s : had->second) remove(d, follower, s);
        d.spans.erase(had);
    }
    for (const Span& s : wanted) add(d, follower, s);
    if (!wanted.empty())
        d.spans[&follower] = std::move(wanted);
    else if (d.spans.empty())
        devices_.erase(device);
}

const std::vector<ReportFollower*>& ReportIndex::followers(int device, int destination) const {
    static const Followers nobody;
    auto d = devices_.find(device);
    if (d == devices_.end()) return nobody;
    auto next = d->second.segments.upper_bound(destination);
    return next == d->second.segments.begin() ? nobody : std::prev(next)->second;
}

size_t ReportIndex::boundaries(int device) const {
    auto d = devices_.find(device);
    return d == devices_.end() ? 0 : d->second.segments.size();
}
