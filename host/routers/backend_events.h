// What the routers tell the host: queued by the backends (inside network
// handlers, or at once for a simulated router) and taken by the host between
// calls to the component, never during one.
//
// Invariants:
//   - notes, link changes and sizes keep the order they were queued in;
//   - reports are coalesced per device and destination: a report for a
//     destination that still has one queued replaces it in its place, so the
//     queue holds at most one report per destination however fast a router
//     sends (a salvo on a big router, or a flood), and the component gets the
//     newest state of each;
//   - what was folded is counted per device; once a take() finds a device's
//     reports no longer folding, one note says how many were, when the
//     folding went on over several takes or folded kQuietFolds or more (a
//     flood gives one note when it ends, not one per take; a short burst, a
//     rename reported twice in a moment, none).
#ifndef VESK_HOST_ROUTERS_BACKEND_EVENTS_H
#define VESK_HOST_ROUTERS_BACKEND_EVENTS_H

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "base/report.h"
#include "base/router_link.h"

struct BackendEvent {
    enum class Kind { Note, Report, Size, Link };
    Kind kind;
    int device;
    std::string note;  // Note: the whole line, "router device D ..."
    Report report;     // Report
    int size = 0;      // Size: the router's destination count as announced
    RouterLink link;   // Link, and Size: the router's link as it is now
};

class BackendEvents {
public:
    static constexpr uint64_t kQuietFolds = 64;

    void note(int device, std::string text);
    // Replaces a report of the same device and destination still queued.
    void report(Report report);
    void size(int device, int destinations, RouterLink link);
    void link(int device, RouterLink link);

    bool empty() const { return queue_.empty(); }
    // What is queued now, in order (tests and diagnostics).
    const std::vector<BackendEvent>& queued() const { return queue_; }
    // Everything queued, in order, then a note per device whose folding has
    // ended; the queue is empty afterwards.
    std::vector<BackendEvent> take();

private:
    void push(BackendEvent event);

    std::vector<BackendEvent> queue_;
    // (device, destination) -> index in queue_ of its queued report.
    std::unordered_map<uint64_t, size_t> reportAt_;
    struct FoldRun {
        uint64_t reports = 0;
        unsigned takes = 0;
    };
    // Reports folded since the last take, and since the folding began.
    std::map<int, uint64_t> foldedNow_;
    std::map<int, FoldRun> foldedRun_;
};

#endif  // VESK_HOST_ROUTERS_BACKEND_EVENTS_H
