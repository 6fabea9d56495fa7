#include "host_port.h"

#include <asio/ip/address_v6.hpp>

static std::optional<uint16_t> parsePort(const std::string& text, PortZero zero) {
    if (text.empty() || text.size() > 5) return std::nullopt;
    unsigned value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 65535 || (value == 0 && zero == PortZero::Refused)) return std::nullopt;
    return static_cast<uint16_t>(value);
}

static bool isIPv6Literal(const std::string& host) {
    asio::error_code error;
    (void)asio::ip::make_address_v6(host, error);
    return !error;
}

// A host name or address: not empty, no blank or control byte, and an IPv6
// literal when it holds ':'.
static bool validHost(const std::string& host) {
    if (host.empty()) return false;
    for (char c : host)
        if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
    return host.find(':') == std::string::npos || isIPv6Literal(host);
}

std::optional<HostPort> parseHostPort(const std::string& text, uint16_t defaultPort, PortZero zero) {
    HostPort address{"", defaultPort};
    std::string port;  // "" when none is given
    bool hasPort = false;
    if (!text.empty() && text[0] == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos) return std::nullopt;
        address.host = text.substr(1, close - 1);
        const std::string rest = text.substr(close + 1);
        if (!rest.empty() && rest[0] != ':') return std::nullopt;
        hasPort = !rest.empty();
        if (hasPort) port = rest.substr(1);
    } else {
        const size_t colon = text.find(':');
        hasPort = colon != std::string::npos && text.find(':', colon + 1) == std::string::npos;
        address.host = hasPort ? text.substr(0, colon) : text;
        if (hasPort) port = text.substr(colon + 1);
    }
    if (!validHost(address.host)) return std::nullopt;
    if (hasPort) {
        const std::optional<uint16_t> number = parsePort(port, zero);
        if (!number) return std::nullopt;
        address.port = *number;
    }
    return address;
}

std::string formatHostPort(const HostPort& address) {
    const bool v6 = address.host.find(':') != std::string::npos;
    return (v6 ? "[" + address.host + "]" : address.host) + ":" + std::to_string(address.port);
}
