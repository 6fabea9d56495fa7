// The router protocols vesk-host can follow, one row each: the only place
// that names them. A row gives the word scripts and the command line use,
// the default port, the options with their help, the re-send rule and how
// to make the protocol's codec (router_codec.h); the live-router core does
// the rest. "help", "--help", "device D PROTOCOL ..." and "--router" all read
// the rows.
//
//   device D swp08 HOST[:PORT] [matrix M] [level L] [names N]
//   --router D=swp08://HOST[:PORT]?matrix=M&level=L&names=N
//   --router D=HOST[:PORT]          (the first row's protocol: videohub)
#ifndef VESK_HOST_ROUTERS_PROTOCOLS_H
#define VESK_HOST_ROUTERS_PROTOCOLS_H

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "router_codec.h"

struct ProtocolOption {
    const char* name;         // "matrix"
    const char* placeholder;  // "M", in usage lines
    const char* help;         // "1..256, counted from 1 (1)": the values, the default last
};

struct RouterProtocol {
    const char* scheme;  // the word in scripts and addresses: "swp08"
    const char* title;   // for a person: "SW-P-08"
    uint16_t defaultPort;
    std::vector<ProtocolOption> options;
    // Unanswered requests go again after this, `maxResends` times at most;
    // zero: a request waits for its answer as long as the connection lasts.
    std::chrono::milliseconds resendAfter{0};
    int maxResends = 0;
    // The codec for the options given (by name); null with `error` naming the
    // option and the values allowed when one is bad.
    std::unique_ptr<RouterCodec> (*makeCodec)(const std::map<std::string, std::string>& options,
                                              std::string& error);
};

// Every protocol; the first is the one a bare HOST[:PORT] follows.
const std::vector<RouterProtocol>& protocols();
const RouterProtocol* findProtocol(const std::string& scheme);

// A live router as a script or the command line names it.
struct RouterTarget {
    std::string protocol;  // a scheme from protocols()
    std::string host;
    uint16_t port = 0;
    // Protocol options, by name ("matrix" -> "2"), as given.
    std::map<std::string, std::string> options;
};

// "PROTOCOL://HOST[:PORT][?NAME=VALUE&...]", or a bare "HOST[:PORT]" for the
// first protocol. Null with `error` set when the protocol is unknown, the
// address malformed, an option is not one the protocol takes or its value is
// bad.
std::optional<RouterTarget> parseRouterTarget(const std::string& text, std::string& error);
// "videohub://127.0.0.1:9990".
std::string formatRouterTarget(const RouterTarget& target);

// "device D swp08 HOST[:PORT] [matrix M] [level L] [names N]", with `device`
// in place of D.
std::string deviceUsage(const RouterProtocol& protocol, const char* device = "D");
// The "help" lines of every protocol's device statement, each ending in '\n'.
std::string deviceHelp();
// The lines "--help" gives for --router, each ending in '\n'.
std::string routerOptionHelp();

#endif  // VESK_HOST_ROUTERS_PROTOCOLS_H
