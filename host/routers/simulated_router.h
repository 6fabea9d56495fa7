// The simulated router of a script: one device with a number of
// destinations, the source routed to each and source names, kept in a
// RouterModel (the model vesk-router and the live clients keep too).
//
// Rules it follows:
//   - a route (even to the source already routed) reports its destination;
//     a rename reports every destination that source feeds;
//   - an offline device reports nothing and answers no polls; coming back
//     online sends nothing by itself;
//   - a poll answers one report per destination in range that exists and has
//     a source routed;
//   - a destination that was never routed has no state to report.
// Limits (the model's): 0..kMaxRouterPorts destinations and sources
// 1..kMaxRouterPorts. Sources grow on demand up to the highest one routed or
// named; a source never named is "SRC <n>". A route or rename outside those
// limits changes nothing, reports nothing and returns false.
#ifndef VESK_HOST_ROUTERS_SIMULATED_ROUTER_H
#define VESK_HOST_ROUTERS_SIMULATED_ROUTER_H

#include "routers/router_backend.h"

class SimulatedRouter : public RouterBackend {
public:
    // Device `device` with destinations 1..size (clamped to
    // 0..kMaxRouterPorts). `events` must outlive the router.
    SimulatedRouter(int device, int size, BackendEvents& events);

    bool live() const override { return false; }
    PollResult poll(int first, int last) const override;
    std::vector<Report> knownRoutes(int first, int last) const override;
    bool route(int destination, int source, std::string& why) override;
    bool rename(int source, const std::string& name, std::string& why) override;

    int size() const { return model_.outputs(); }
    // A new size; routes beyond a smaller size are dropped, names kept.
    void resize(int size) { model_.resize(model_.inputs(), size); }
    bool online() const { return model_.present(); }
    void setOnline(bool online) { model_.setPresence(online ? Presence::Present : Presence::Absent); }

private:
    void report(int output);

    const int device_;
    BackendEvents& events_;
    RouterModel model_;
};

#endif  // VESK_HOST_ROUTERS_SIMULATED_ROUTER_H
