// vesk-router's command line (CLI11):
//   vesk-router [--listen ADDR:PORT] [--swp08 ADDR:PORT] [--swp08-matrix N]
//               [--swp08-level N] [--levels N] [--inputs N] [--outputs M]
//               [--labels FILE] [-h|--help] [--version]
// The service options (--listen, --swp08) come from service_table.h. When
// none is given, the services with a default address serve there (Videohub
// on 127.0.0.1:9990).
#ifndef VESK_ROUTER_SERVER_OPTIONS_H
#define VESK_ROUTER_SERVER_OPTIONS_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host_port.h"

// Exit statuses of vesk-router, as its help lists them.
constexpr int kExitDone = 0;        // quit, SIGINT, SIGTERM, --help, --version
constexpr int kExitCannotServe = 1;  // cannot listen (address in use, say)
constexpr int kExitBadUsage = 2;    // a bad option or labels file

struct RouterOptions {
    // Where each service of serviceRows() is served, by row; null: not
    // served. Numeric addresses; port 0 picks a free one. At least one is set.
    std::vector<std::optional<HostPort>> addresses;
    int swp08Matrix = 0;  // the SW-P-08 matrix the router is, 0..255
    int swp08Level = 0;   // the SW-P-08 level of the router's level 1, 0..255
    int levels = 1;       // 1..16; swp08Level + levels - 1 is at most 255
    int inputs = 16;      // 0..kMaxRouterPorts
    int outputs = 16;     // 0..kMaxRouterPorts
    std::string labels;   // "" for none
};

// Parses the arguments. The options to serve with, or null with
// `exitStatus` set: kExitDone after writing the help or the version to `out`,
// kExitBadUsage after writing "vesk-router: WHY" and a hint to `err`.
std::optional<RouterOptions> parseRouterOptions(int argc, const char* const* argv, std::ostream& out,
                                                std::ostream& err, int& exitStatus);

#endif  // VESK_ROUTER_SERVER_OPTIONS_H
