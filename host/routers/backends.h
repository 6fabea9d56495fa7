// Which backend each router device is: the only place that chooses. A device
// is simulated ("device D size S") or follows a real router through one of the
// protocols of protocols.h, as a LiveRouter with that protocol's codec.
//
// Replacing a device's backend is safe while the old one's network handlers
// are still queued: they run later and do nothing.
#ifndef VESK_HOST_ROUTERS_BACKENDS_H
#define VESK_HOST_ROUTERS_BACKENDS_H

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "routers/router_backend.h"
#include "routers/simulated_router.h"
#include "routers/protocols.h"
#include "tcp_client.h"

// What a live backend is made with.
struct BackendContext {
    asio::io_context& io;
    BackendEvents& events;
    ClientTiming timing;
};

class Backends {
public:
    explicit Backends(BackendEvents& events) : events_(events) {}

    RouterBackend* find(int device) const;
    // The simulated router of `device`; null when it has none or a live one.
    SimulatedRouter* simulated(int device) const;
    bool has(int device) const { return find(device) != nullptr; }
    bool isLive(int device) const;
    bool anyLive() const;
    std::vector<int> devices() const;

    // A simulated device of `size` destinations, or a new size for the one
    // there; a live router there is replaced.
    SimulatedRouter& simulate(int device, int size);
    // Makes `backend` the router of `device`, replacing what was there.
    RouterBackend& put(int device, std::unique_ptr<RouterBackend> backend);
    // Makes `device` follow the router `target` names, replacing what was there.
    // Null with `error` set when the backend cannot be made.
    RouterBackend* follow(int device, const RouterTarget& target, BackendContext& context, std::string& error);

private:
    BackendEvents& events_;
    std::map<int, std::unique_ptr<RouterBackend>> devices_;
};

#endif  // VESK_HOST_ROUTERS_BACKENDS_H
