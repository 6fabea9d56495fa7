// "HOST[:PORT]" as both programs take it: vesk-host's router addresses and
// vesk-router's --listen.
//
// Accepted forms: "HOST", "HOST:PORT", "[V6]", "[V6]:PORT", and a bare IPv6
// literal ("::1", "fe80::1%eth0"), which is a host without a port. A host
// holding ':' must be a valid IPv6 literal, so "127.0.0.1:1:2" is refused
// rather than taken for a host of that name. PORT is 1 to 5 decimal digits.
#ifndef VESK_ROUTER_NET_HOST_PORT_H
#define VESK_ROUTER_NET_HOST_PORT_H

#include <cstdint>
#include <optional>
#include <string>

struct HostPort {
    std::string host;  // without brackets
    uint16_t port;
};

// Whether port 0 ("any free port", for a listener) is a port.
enum class PortZero { Refused, Allowed };

// `text` as a host and a port; `defaultPort` when no port is given. Null when
// the host is empty or holds a blank or control byte, when a host holding ':'
// is not a valid IPv6 literal, when brackets do not close or are followed by
// anything but ":PORT", or when the port is not 1..65535 (0..65535 with
// PortZero::Allowed). Names are not resolved.
std::optional<HostPort> parseHostPort(const std::string& text, uint16_t defaultPort,
                                      PortZero zero = PortZero::Refused);

// "host:port", with brackets around a host holding ':' (IPv6).
std::string formatHostPort(const HostPort& address);

#endif  // VESK_ROUTER_NET_HOST_PORT_H
