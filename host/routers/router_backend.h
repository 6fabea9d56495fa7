// A router device as the host sees it, whatever it is: the simulated router
// of a script, or a real router followed over the network. The host core
// talks to every device through this interface alone; Backends (backends.h)
// is the only place that chooses which kind a device is.
//
// Numbering: destination n of a device is the router's output n-1, source s
// its input s-1; a report's text is the name of the source routed to the
// destination, cut to 255 bytes.
//
// A backend never calls the component or the transcript. What it has to tell
// (a changed route, a note, the size the router announces) goes into the
// BackendEvents queue (backend_events.h) given at construction, which the host empties between
// calls to the component. A backend reports every destination whose source or
// source name changed, registered or not: registrations are the host's, and
// the host passes on only the reports of registered destinations.
#ifndef VESK_HOST_ROUTERS_ROUTER_BACKEND_H
#define VESK_HOST_ROUTERS_ROUTER_BACKEND_H

#include <string>
#include <vector>

#include "base/report.h"
#include "routers/backend_events.h"
#include "tcp_client.h"
#include "router_model.h"


// The answer to a poll: `why` is empty when the state is known (then
// `reports` holds one report per routed destination in the range, lowest
// first), else it says why the poll goes unanswered ("is offline", "is not
// connected", ...), completing "router device D ...".
struct PollResult {
    std::string why;
    std::vector<Report> reports;
};

class RouterBackend {
public:
    virtual ~RouterBackend() = default;

    // True for a router outside the host: a script that has one runs on the
    // wall clock, and simulated-only statements are refused for it.
    virtual bool live() const = 0;
    // The state of destinations first..last as far as it is known.
    virtual PollResult poll(int first, int last) const = 0;
    // Routes as the host last learned them, whether or not the router now
    // answers polls (for "state"); lowest destination first.
    virtual std::vector<Report> knownRoutes(int first, int last) const = 0;
    // Ask for a route or a source name. A simulated router changes at once;
    // a live one is asked, and nothing changes here until it reports. False
    // with `why` set ("... : route not sent") when the request cannot go.
    virtual bool route(int destination, int source, std::string& why) = 0;
    virtual bool rename(int source, const std::string& name, std::string& why) = 0;
    // The destination count the router announced; -1 before any (or never).
    virtual int announcedSize() const { return -1; }
    // The first connect has come to an end (connected, failed or refused):
    // the host waits for this, briefly, after adding a live router.
    virtual bool settled() const { return true; }
    // What "state" says of the backend ("PROTOCOL 127.0.0.1:9990, connected,
    // 12 destinations"); empty for a simulated router.
    virtual std::string describe() const { return ""; }
    // "PROTOCOL://127.0.0.1:9990" for a live router; empty for a simulated one.
    virtual std::string address() const { return ""; }
    // A live router's link as it is now (protocol, address, connected or
    // not); a simulated router has none.
    virtual RouterLink link() const { return RouterLink{}; }
};

// The link of a live router from what its connection says: `change` as the
// router's protocol and address show it (retry as notes give it, "2 s").
RouterLink linkOf(const LinkChange& change, const std::string& protocol, const std::string& address);
// Queues `change` as a link event of `device`, and a note of the requests it
// dropped (unless it repeats a quick close).
void queueLinkChange(BackendEvents& events, int device, const LinkChange& change, const std::string& protocol,
                     const std::string& address);

// One report per routed output of `model` among destinations first..last of
// `device`, lowest first.
std::vector<Report> routedDestinations(const RouterModel& model, int device, int first, int last);
// The report of `output` of `model` (which must have a route); its name ends
// at a zero byte, as the component reads it.
Report reportOf(const RouterModel& model, int device, int output);

#endif  // VESK_HOST_ROUTERS_ROUTER_BACKEND_H
