#include "live_routers.h"

static std::optional<uint16_t> parsePort(const std::string& text) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535) return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::optional<RouterAddress> parseRouterAddress(const std::string& text, uint16_t defaultPort) {
    RouterAddress address{"", defaultPort};
    std::string rest;
    if (!text.empty() && text[0] == '[') {
        size_t close = text.find(']');
        if (close == std::string::npos) return std::nullopt;
        address.host = text.substr(1, close - 1);
        rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return std::nullopt;
    } else {
        size_t colon = text.find(':');
        bool onePortColon = colon != std::string::npos && text.find(':', colon + 1) == std::string::npos;
        address.host = onePortColon ? text.substr(0, colon) : text;
        if (onePortColon) rest = text.substr(colon);
    }
    if (address.host.empty()) return std::nullopt;
    if (!rest.empty()) {
        std::optional<uint16_t> port = parsePort(rest.substr(1));
        if (!port) return std::nullopt;
        address.port = *port;
    }
    return address;
}

std::string formatRouterAddress(const RouterAddress& address) {
    bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}
