// What a live backend last reported for each output (the input routed and
// its label), so that it reports only what changed: after a message, and
// after a reconnect's dump, whatever the protocol.
#ifndef VESK_HOST_ROUTERS_REPORTED_ROUTES_H
#define VESK_HOST_ROUTERS_REPORTED_ROUTES_H

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "routers/router_backend.h"

class ReportedRoutes {
public:
    // Queues a report in `events` for each of `outputs` of `model` that has a
    // route whose input or input label differs from what was last reported
    // for it, and remembers it.
    void compare(const RouterModel& model, int device, const std::set<int>& outputs, BackendEvents& events);
    // Forgets the outputs from `outputs` on (the router has fewer now); the
    // destinations (1-based) forgotten, lowest first.
    std::vector<int> forgetFrom(int outputs);

private:
    std::map<int, std::pair<int, std::string>> last_;  // output -> (input, label)
};

#endif  // VESK_HOST_ROUTERS_REPORTED_ROUTES_H
