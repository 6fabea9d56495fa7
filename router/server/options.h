// vesk-router's command line (CLI11):
//   vesk-router [--listen ADDR:PORT] [--inputs N] [--outputs M] [--labels FILE]
//               [-h|--help] [--version]
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
    HostPort listen{"127.0.0.1", 9990};  // a numeric address; port 0 picks a free one
    int inputs = 16;                     // 0..kMaxRouterPorts
    int outputs = 16;                    // 0..kMaxRouterPorts
    std::string labels;                  // "" for none
};

// Parses the arguments. The options to serve with, or null with
// `exitStatus` set: kExitDone after writing the help or the version to `out`,
// kExitBadUsage after writing "vesk-router: WHY" and a hint to `err`.
std::optional<RouterOptions> parseRouterOptions(int argc, const char* const* argv, std::ostream& out,
                                                std::ostream& err, int& exitStatus);

#endif  // VESK_ROUTER_SERVER_OPTIONS_H
