// Who follows which router destination: device -> destination -> the
// components registered for it, in the order they were created. A router
// report is looked up here (O(log n) in the device's registrations) instead
// of asking every component's registrations.
//
// A follower's destinations on a device are the union of its registered
// ranges (ranges added with 'ADD' may overlap; a destination is followed
// once). Per device the index keeps segments: from each boundary up to the
// next one the same followers, in creation order; below the first boundary
// nobody. Adjacent segments never hold the same followers.
//
// A follower's order is taken once, from enrol(), when its component is
// created; it must not change while the follower is in the index, and a
// follower must leave the index (set to no ranges) before it is destroyed.
#ifndef VESK_HOST_CORE_REPORT_INDEX_H
#define VESK_HOST_CORE_REPORT_INDEX_H

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "base/report.h"

class ReportFollower {
public:
    virtual ~ReportFollower() = default;
    // Lower: created earlier.
    virtual uint64_t followOrder() const = 0;
    // A report of a destination it follows.
    virtual void follow(const Report& report) = 0;
};

class ReportIndex {
public:
    // The next creation order: 1, 2, 3, ...
    uint64_t enrol() { return ++enrolled_; }

    // `follower` follows on `device` the union of `ranges` from now on (none:
    // nothing there). Ranges with first > last are ignored.
    void set(int device, ReportFollower& follower, const std::vector<Registration>& ranges);
    // The followers of `destination` of `device`, earliest created first;
    // empty when none. Valid until the next set().
    const std::vector<ReportFollower*>& followers(int device, int destination) const;
    // How many boundaries the device's segments have (bounded by twice the
    // number of disjoint ranges followed there).
    size_t boundaries(int device) const;

private:
    using Followers = std::vector<ReportFollower*>;
    struct Span {
        int64_t first;
        int64_t end;  // one past the last destination
    };
    struct Device {
        std::map<int64_t, Followers> segments;  // boundary -> who follows from there
        std::unordered_map<ReportFollower*, std::vector<Span>> spans;  // what each follows, disjoint
    };

    static std::vector<Span> unite(const std::vector<Registration>& ranges);
    // Makes `at` a boundary, its segment holding what held `at` before.
    static void split(Device& device, int64_t at);
    static void add(Device& device, ReportFollower& follower, const Span& span);
    static void remove(Device& device, ReportFollower& follower, const Span& span);
    // Drops the boundaries in [first, end] that repeat the segment before them.
    static void merge(Device& device, int64_t first, int64_t end);

    std::unordered_map<int, Device> devices_;
    uint64_t enrolled_ = 0;
};

#endif  // VESK_HOST_CORE_REPORT_INDEX_H
