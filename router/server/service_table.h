// The services vesk-router can serve, one row each: the command line's
// options and the program's start read them, so a new service is one row
// (and its RouterService).
//
// Row order is the order of the "listening on" lines at the start and of
// the options in --help.
#ifndef VESK_ROUTER_SERVER_SERVICE_TABLE_H
#define VESK_ROUTER_SERVER_SERVICE_TABLE_H

#include <asio.hpp>

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <vector>

#include "options.h"
#include "router_service.h"
#include "shared_router.h"

// What a service is made with.
struct ServiceContext {
    asio::io_context& io;
    SharedRouter& router;
    const RouterOptions& options;
    std::ostream& log;
};

struct ServiceRow {
    const char* name;    // "Videohub", "SW-P-08": for help
    const char* option;  // "--listen": where to serve it, ADDR:PORT
    const char* help;    // the option's text in --help
    // The port when the option leaves it out; null: the port must be given.
    std::optional<uint16_t> defaultPort;
    // Served here when no row's option is given at all; null: never.
    const char* defaultAddress;
    // Its first line, followed by the bound ADDR:PORT: "listening on ".
    const char* listening;
    std::unique_ptr<RouterService> (*make)(const ServiceContext& context);
};

// Every row: Videohub, then SW-P-08.
const std::vector<ServiceRow>& serviceRows();

#endif  // VESK_ROUTER_SERVER_SERVICE_TABLE_H
