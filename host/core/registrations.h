// The host's registrations for router reports, per device, applied to every
// router backend alike:
//   - "RR d f l" registers destinations f..l of device d, replacing the
//     device's earlier registrations; with 'ADD' the range is added to them;
//   - "RU d" ends every registration of device d.
// Registrations are kept for devices the host has no router for (yet).
#ifndef VESK_HOST_CORE_REGISTRATIONS_H
#define VESK_HOST_CORE_REGISTRATIONS_H

#include <map>
#include <string>
#include <vector>

#include "base/report.h"

class Registrations {
public:
    void add(int device, int first, int last, bool keepEarlier);
    void remove(int device) { ranges_.erase(device); }
    void clear() { ranges_.clear(); }
    bool covers(int device, int destination) const;
    // The device's ranges in the order they were registered; none: empty.
    const std::vector<Registration>& of(int device) const;
    // Devices with at least one registration, lowest first.
    std::vector<int> devices() const;

private:
    std::map<int, std::vector<Registration>> ranges_;
};

#endif  // VESK_HOST_CORE_REGISTRATIONS_H
