#include "routers/router_backend.h"

#include <algorithm>

Report reportOf(const RouterModel& model, int device, int output) {
    const int input = model.route(output);
    // The component reads the name as a C string: a zero byte ends it, and
    // every view shows it so.
    const std::string& label = model.inputLabel(input);
    return Report{device, destinationOfOutput(output), sourceOfInput(input), label.substr(0, label.find('\0'))};
}

std::vector<Report> routedDestinations(const RouterModel& model, int device, int first, int last) {
    std::vector<Report> out;
    const int to = std::min(last, model.outputs());
    for (int destination = std::max(first, 1); destination <= to; ++destination) {
        const int output = outputOfDestination(destination);
        if (model.route(output) != kNoInput) out.push_back(reportOf(model, device, output));
    }
    return out;
}

RouterLink linkOf(const LinkChange& change, const std::string& protocol, const std::string& address) {
    RouterLink link;
    link.protocol = protocol;
    link.address = address;
    link.why = change.why;
    link.repeats = change.repeats;
    switch (change.state) {
        case LinkChange::State::Connected: link.state = RouterLink::State::Connected; break;
        case LinkChange::State::Lost: link.state = RouterLink::State::Lost; break;
        case LinkChange::State::Refused:
            link.state = RouterLink::State::Refused;
            link.retry = secondsText(change.retry);
            break;
    }
    return link;
}

void queueLinkChange(BackendEvents& events, int device, const LinkChange& change, const std::string& protocol,
                     const std::string& address) {
    events.link(device, linkOf(change, protocol, address));
    if (change.state == LinkChange::State::Lost && change.dropped && !change.repeats)
        events.note(device, "router device " + std::to_string(device) + " dropped " + std::to_string(change.dropped) +
                                " request(s) the router had not answered");
}
