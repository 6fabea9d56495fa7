// vesk-router's command line (CLI11):
//   vesk-router [--listen ADDR:PORT] [--swp08 ADDR:PORT] [--swp08-matrix N]
//               [--swp08-level N] [--inputs N] [--outputs M] [--labels FILE]
//               [-h|--help] [--version]
// At least one of --listen (Videohub) and --swp08 (SW-P-08) must be given.
#ifndef VESK_ROUTER_SERVER_OPTIONS_H
#define VESK_ROUTER_SERVER_OPTIONS_H

#include <optional>
#include <ostream>
#include <string>

#include "host_port.h"

// Exit statuses of vesk-router, as its help lists them.
constexpr int kExitDone = 0;        // quit, SIGINT, SIGTERM, --help, --version
constexpr int kExitCannotServe = 1;  // cannot listen (address in use, say)
constexpr int kExitBadUsage = 2;    // a bad option or labels file

struct RouterOptions {
    // Numeric addresses; port 0 picks a free one. At least one is set.
    std::optional<HostPort> listen;  // Videohub (no port given: 9990)
    std::optional<HostPort> swp08;   // SW-P-08 (a port must be given)
    int swp08Matrix = 0;             // the table the model is, 0..255 each
    int swp08Level = 0;
    int inputs = 16;                 // 0..kMaxRouterPorts
    int outputs = 16;                // 0..kMaxRouterPorts
    std::string labels;              // "" for none
};

// Parses the arguments. The options to serve with, or null with
// `exitStatus` set: kExitDone after writing the help or the version to `out`,
// kExitBadUsage after writing "vesk-router: WHY" and a hint to `err` (a bad
// option, or neither --listen nor --swp08).
std::optional<RouterOptions> parseRouterOptions(int argc, const char* const* argv, std::ostream& out,
                                                std::ostream& err, int& exitStatus);

#endif  // VESK_ROUTER_SERVER_OPTIONS_H
