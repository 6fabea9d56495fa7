// The connection state of each live router, as the transcript tells it: the
// web view follows the notes the router clients write ("router device D
// connected to ...", "... lost the connection to ...", "... cannot connect
// to ...", "... follows ... now") and forgets every router when a script
// starts, is reset or ends (its routers go with its emulator).
//
// Simulated routers write none of these notes and are not listed.
#ifndef VESK_HOST_UI_WEB_ROUTER_LINKS_H
#define VESK_HOST_UI_WEB_ROUTER_LINKS_H

#include <map>
#include <string>

#include "output/host_event.h"

struct RouterLink {
    enum class State { Connecting, Connected, Lost, Unreachable };
    State state = State::Connecting;
    std::string address;  // "127.0.0.1:9990" as the notes name it
    std::string why;      // why it is lost or unreachable; empty otherwise
};

// "connecting", "connected", "lost", "unreachable".
const char* linkStateName(RouterLink::State state);

class RouterLinks {
public:
    // Takes what `event` tells of routers; true when a link changed.
    bool take(const HostEvent& event);
    // Device -> link, lowest device first.
    const std::map<int, RouterLink>& links() const { return links_; }
    // True when some live router is not connected: what the panel shows
    // of the routers may be out of date.
    bool anyDown() const;

private:
    bool takeNote(const std::string& text);
    std::map<int, RouterLink> links_;
};

#endif  // VESK_HOST_UI_WEB_ROUTER_LINKS_H
