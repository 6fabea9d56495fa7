// Router devices that live outside the emulator (a Videohub on the network),
// as the emulator and the script runner see them: no sockets, no event loop.
//
// Numbering: destination n of a device is the router's output n-1, source s
// is its input s-1; a report's text is the label of the input routed to the
// destination, cut to 255 bytes.
#ifndef VESK_HOST_LIVE_ROUTERS_H
#define VESK_HOST_LIVE_ROUTERS_H

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "router.h"

// "HOST", "HOST:PORT", "[V6]" or "[V6]:PORT"; a bare IPv6 address (more than
// one ':') is a host without a port. Null when the host is empty or the port
// is not 1..65535.
struct RouterAddress {
    std::string host;
    uint16_t port;
};
std::optional<RouterAddress> parseRouterAddress(const std::string& text, uint16_t defaultPort = 9990);
// "host:port", with brackets around an IPv6 host.
std::string formatRouterAddress(const RouterAddress& address);

// How a live router's connection is kept: a PING: after `pingAfter` of
// silence, a drop after `deadAfter`; reconnects after a back-off doubling
// from `firstRetry` up to `maxRetry`.
struct LinkTiming {
    std::chrono::milliseconds pingAfter{5000};
    std::chrono::milliseconds deadAfter{15000};
    std::chrono::milliseconds firstRetry{100};
    std::chrono::milliseconds maxRetry{2000};
};

class LiveRouters {
public:
    virtual ~LiveRouters() = default;

    virtual bool has(int device) const = 0;

    // The answer to "RP device first last". When the router's state is not
    // known (not connected, device absent, no routing yet) `reports` stays
    // empty and `why` says so; a known state with nothing routed in the range
    // also leaves `reports` empty, `why` empty.
    virtual void poll(int device, int first, int last, std::vector<Report>& reports, std::string& why) const = 0;

    // Ask the router for a route or an input label; nothing changes here until
    // the router reports it. False with `why` set when the request cannot be
    // queued (bad numbers, too many waiting); a request that cannot be sent
    // later is dropped with a note.
    virtual bool route(int device, int destination, int source, std::string& why) = 0;
    virtual bool rename(int device, int source, const std::string& name, std::string& why) = 0;
};

#endif  // VESK_HOST_LIVE_ROUTERS_H
