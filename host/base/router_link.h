// A live router's link as the host shows it: what the host event stream, the
// JSON records, "state" and the web view say of each live router.
#ifndef VESK_HOST_BASE_ROUTER_LINK_H
#define VESK_HOST_BASE_ROUTER_LINK_H

#include <string>

struct RouterLink {
    enum class State { Connecting, Connected, Lost, Refused };
    State state = State::Connecting;
    std::string protocol;  // a scheme of routers/protocols.h
    std::string address;   // "HOST:PORT", brackets around an IPv6 host
    // Lost / Refused: why ("the router closed it"); empty otherwise.
    std::string why;
    // Refused: the longest wait between attempts, as notes give it ("2 s").
    std::string retry;
    // Connecting: the target it replaces ("PROTOCOL://127.0.0.1:9990"); empty
    // for a device that followed no live router before.
    std::string replaces;
    // Connected / Lost while the router closes each connection at once: how
    // many such closes came before this one (0: not a repeat).
    unsigned repeats = 0;
};

// "connecting", "connected", "lost", "refused".
const char* linkStateName(RouterLink::State state);

// A live router as "state" lists it.
struct RouterStatus {
    int device = 0;
    RouterLink link;
    int size = -1;     // destinations the router announced; -1: none yet
    std::string text;  // the router in words ("PROTOCOL 127.0.0.1:9990, connected, 16 outputs")
};

#endif  // VESK_HOST_BASE_ROUTER_LINK_H
