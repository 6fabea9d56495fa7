#include "ui/web/router_links.h"

#include <cctype>

const char* linkStateName(RouterLink::State state) {
    switch (state) {
        case RouterLink::State::Connecting: return "connecting";
        case RouterLink::State::Connected: return "connected";
        case RouterLink::State::Lost: return "lost";
        case RouterLink::State::Unreachable: return "unreachable";
    }
    return "connecting";
}

static bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The device of a note "router device D REST", with `rest` set; -1 when the
// note is not about one router.
static int deviceOf(const std::string& text, std::string& rest) {
    static const std::string kPrefix = "router device ";
    if (!startsWith(text, kPrefix)) return -1;
    size_t at = kPrefix.size();
    int device = 0;
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])) && device < 100000)
        device = device * 10 + (text[at++] - '0');
    if (at == kPrefix.size() || at >= text.size() || text[at] != ' ') return -1;
    rest = text.substr(at + 1);
    return device;
}

// `text` from `from` up to the first `end` (or its end).
static std::string upTo(const std::string& text, size_t from, const std::string& end) {
    return text.substr(from, text.find(end, from) - from);
}

bool RouterLinks::takeNote(const std::string& text) {
    if (startsWith(text, "reset: a fresh emulator")) {
        const bool had = !links_.empty();
        links_.clear();
        return had;
    }
    std::string rest;
    const int device = deviceOf(text, rest);
    if (device < 0) return false;
    RouterLink link;
    if (startsWith(rest, "connected to ")) {
        link = RouterLink{RouterLink::State::Connected, rest.substr(13), ""};
    } else if (startsWith(rest, "lost the connection to ")) {
        const std::string tail = rest.substr(23);
        const size_t colon = tail.find(": ");
        link = RouterLink{RouterLink::State::Lost, upTo(tail, 0, ": "),
                          colon == std::string::npos ? "" : upTo(tail, colon + 2, "; connecting again")};
    } else if (startsWith(rest, "cannot connect to ")) {
        const std::string tail = rest.substr(18);
        const size_t paren = tail.find(" (");
        link = RouterLink{RouterLink::State::Unreachable, upTo(tail, 0, " ("),
                          paren == std::string::npos ? "" : upTo(tail, paren + 2, ")")};
    } else if (startsWith(rest, "follows ")) {
        link = RouterLink{RouterLink::State::Connecting, upTo(rest, 8, " now"), ""};
    } else {
        return false;
    }
    links_[device] = link;
    return true;
}

bool RouterLinks::take(const HostEvent& event) {
    if (const auto* note = std::get_if<event::Note>(&event)) return takeNote(note->text);
    // A script starts or ends: its routers are gone.
    if (std::holds_alternative<event::File>(event) || std::holds_alternative<event::Result>(event)) {
        const bool had = !links_.empty();
        links_.clear();
        return had;
    }
    return false;
}

bool RouterLinks::anyDown() const {
    for (const auto& [device, link] : links_)
        if (link.state != RouterLink::State::Connected) return true;
    return false;
}
