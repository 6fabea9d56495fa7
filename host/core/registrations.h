// The host's registrations for router reports, per device, applied to every
// router backend alike:
//   - "RR d f l" registers destinations f..l of device d, replacing the
//     device's earlier registrations; with 'ADD' the range is added to them;
//   - "RU d" ends every registration of device d.
// Registrations are kept for devices the host has no router for (yet).
//
// One component's registrations. Made with a report index, every change is
// told to the index at once, as that component's (the index then finds the
// component for a report without asking these).
#ifndef VESK_HOST_CORE_REGISTRATIONS_H
#define VESK_HOST_CORE_REGISTRATIONS_H

#include <map>
#include <string>
#include <vector>

#include "base/report.h"
#include "core/report_index.h"

class Registrations {
public:
    Registrations() = default;
    // `index` and `follower` must outlive these registrations.
    Registrations(ReportIndex& index, ReportFollower& follower) : index_(&index), follower_(&follower) {}
    Registrations(const Registrations&) = delete;
    Registrations& operator=(const Registrations&) = delete;

    void add(int device, int first, int last, bool keepEarlier);
    void remove(int device);
    void clear();
    bool covers(int device, int destination) const;
    // The device's ranges in the order they were registered; none: empty.
    const std::vector<Registration>& of(int device) const;
    // Devices with at least one registration, lowest first.
    std::vector<int> devices() const;

private:
    void tell(int device);

    std::map<int, std::vector<Registration>> ranges_;
    ReportIndex* index_ = nullptr;
    ReportFollower* follower_ = nullptr;
};

#endif  // VESK_HOST_CORE_REGISTRATIONS_H
