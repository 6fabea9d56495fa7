// The simulated router: devices with a number of destinations, the source
// routed to each destination, source names, and the host's registrations for
// reports. Each device's state is a RouterModel, the model vesk-router and the
// live router client keep too; the registrations are the host's own.
//
// Host rules this emulator follows:
//   - "RR d f l" registers destinations f..l of device d, replacing the
//     device's earlier registrations; with 'ADD' the range is added to them.
//   - "RU d" ends every registration of device d.
//   - A route (even to the source already routed) is confirmed with one report
//     to every registered destination it touches; a rename reports every
//     registered destination fed by that source. An offline device sends no
//     reports and answers no polls; coming back online sends nothing by itself.
//   - "RP d f l" answers with one report per destination in f..l that exists
//     and has a source routed, whether or not it is registered.
//   - A destination that was never routed has no state to report.
// Registrations are kept for devices the router does not (yet) have.
//
// Limits (the model's): a device has 0..kMaxRouterPorts destinations and
// sources 1..kMaxRouterPorts. Its sources grow on demand up to the highest one
// routed or named; a source that was never named is "SRC <n>". A name is cut
// to kMaxLabelBytes. A route or rename outside those limits changes nothing
// and reports nothing.
#ifndef VESK_HOST_ROUTER_H
#define VESK_HOST_ROUTER_H

#include <map>
#include <string>
#include <vector>

#include "router_model.h"

struct Report {
    int device;
    int index;
    int info;
    std::string text;
};

struct Registration {
    int first;
    int last;
};

class Router {
public:
    // Adds device `device` with `size` destinations (1..size, size clamped to
    // 0..kMaxRouterPorts), or changes the size of an existing one; routes
    // beyond a smaller size are dropped, names are kept.
    void define(int device, int size);
    bool has(int device) const { return devices_.count(device) != 0; }
    int size(int device) const;
    bool online(int device) const;
    void setOnline(int device, bool online);

    // Name of `source` on `device`: the one given, else "SRC <n>".
    std::string sourceName(int device, int source) const;
    // Renames and returns the reports the change sends. The device must exist
    // and the source be within 1..kMaxRouterPorts.
    std::vector<Report> rename(int device, int source, const std::string& name);
    // Routes and returns the reports the change sends. The device and the
    // destination must exist and the source be within 1..kMaxRouterPorts.
    std::vector<Report> route(int device, int destination, int source);
    // Source routed to a destination, or 0 when none.
    int routed(int device, int destination) const;
    // The routed destinations of `device` that are registered, lowest first,
    // as reports (destination in `index`, source in `info`, its name).
    std::vector<Report> registeredRoutes(int device) const;

    void registerRange(int device, int first, int last, bool add);
    void unregister(int device);
    bool registered(int device, int destination) const;
    const std::vector<Registration>& registrations(int device) const;
    // Devices with at least one registration, lowest first.
    std::vector<int> registeredDevices() const;

    // The answer to "RP device first last": empty when offline or unknown.
    std::vector<Report> poll(int device, int first, int last) const;

private:
    const RouterModel* find(int device) const;
    RouterModel* find(int device);

    std::map<int, RouterModel> devices_;
    std::map<int, std::vector<Registration>> registrations_;
};

#endif  // VESK_HOST_ROUTER_H
