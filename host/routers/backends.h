// Which backend each router device is: the only place that chooses. A device
// is simulated ("device D size S") or follows a real router through one of the
// protocols registered in protocols() ("device D videohub HOST[:PORT]",
// "--router D=videohub://HOST[:PORT]", "device D swp08 HOST[:PORT] matrix 2",
// "--router D=swp08://HOST[:PORT]?matrix=2&level=1&names=16").
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
#include "tcp_client.h"

// A live router as a script or the command line names it.
struct RouterTarget {
    std::string protocol;  // a name from protocols()
    std::string host;
    uint16_t port = 0;
    // Protocol options, by name ("matrix" -> "2"), as given.
    std::map<std::string, std::string> options;
};

// "PROTOCOL://HOST[:PORT][?NAME=VALUE&...]", or a bare "HOST[:PORT]" for
// Videohub. Null with `error` set when the protocol is unknown, the address
// malformed, an option is not one the protocol takes or its value is bad.
std::optional<RouterTarget> parseRouterTarget(const std::string& text, std::string& error);
// "videohub://127.0.0.1:9990".
std::string formatRouterTarget(const RouterTarget& target);

// What a live backend is made with.
struct BackendContext {
    asio::io_context& io;
    BackendEvents& events;
    ClientTiming timing;
};

// One router protocol the host can follow.
struct RouterProtocol {
    const char* name;
    uint16_t defaultPort;
    // Option names it takes, and what each means (for help).
    std::vector<std::pair<std::string, std::string>> options;
    // Makes the backend; null with `error` set when an option's value is bad.
    std::unique_ptr<RouterBackend> (*make)(int device, const RouterTarget& target, BackendContext& context,
                                           std::string& error);
    // Checks the options' values (parseRouterTarget calls it, so a bad value is
    // refused where it is written); false with `error` naming the values
    // allowed. None: any value is taken.
    bool (*check)(const RouterTarget& target, std::string& error) = nullptr;
};
const std::vector<RouterProtocol>& protocols();
const RouterProtocol* findProtocol(const std::string& name);

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
