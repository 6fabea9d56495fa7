// vesk-host's command line (CLI11):
//   vesk-host [--module PATH] [--router D=[PROTOCOL://]HOST[:PORT]]... [--json]
//             [--web [ADDR:]PORT] [-h|--help] [--version] [--] [SCRIPT...]
#ifndef VESK_HOST_APP_OPTIONS_H
#define VESK_HOST_APP_OPTIONS_H

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "host_port.h"
#include "script/scenario.h"

struct HostOptions {
    RunOptions run;
    bool json = false;
    std::vector<std::string> scripts;  // "-" names standard input
    std::optional<HostPort> web;        // --web: where the web view listens
};

// Parses the arguments. The options to run with, or null with `exitStatus`
// set: 0 after writing the help or the version to `out`, 2 after writing
// "vesk-host: WHY" (and the usage, for a missing value or an unknown option)
// to `err`.
std::optional<HostOptions> parseHostOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                                            int& exitStatus);

// Adds "--router D=TARGET" to `options`; empty, or what is wrong with it.
std::string addRouter(const std::string& value, RunOptions& options);

#endif  // VESK_HOST_APP_OPTIONS_H
