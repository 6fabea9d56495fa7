// vesk-router: a router model served over the Videohub Ethernet protocol,
// SW-P-08, or both at once (one model: a take through one reaches the
// clients of the other), for desks without a router, for other tools and
// for the project's tests.
//
//   vesk-router [--listen ADDR:PORT] [--swp08 ADDR:PORT] [--levels N]
//               [--inputs N] [--outputs M] [--labels FILE]   (see options.h)
//
// The services it can serve are the rows of service_table.h.
//
// The first lines written are "listening on ADDR:PORT" (Videohub) and
// "swp08 listening on ADDR:PORT" (SW-P-08), for the services given, with the
// ports really bound (give port 0 for a free one); then one line per
// connect, drop, change (with its origin) and NAK. Commands on standard
// input: see console.h. It runs until "quit", SIGINT or SIGTERM; the end of
// standard input does not stop it, so it can run in the background with no
// input. Exit statuses: see options.h.
#include <csignal>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "change_log.h"
#include "console.h"
#include "labels_file.h"
#include "options.h"
#include "shared_router.h"
#include "stdin_lines.h"
#include "stdio_setup.h"
#include "service_table.h"
#include "tcp_server.h"

// A fresh model: default labels, each output on the input of the same number
// when there is one (outputs beyond the inputs start with no route).
static void routeStraight(RouterModel& model) {
    for (int output = 0; output < model.outputs() && output < model.inputs(); ++output) model.setRoute(output, output);
}

static asio::ip::tcp::endpoint endpointOf(const HostPort& address) {
    return asio::ip::tcp::endpoint(asio::ip::make_address(address.host), address.port);
}

static std::string bound(const TcpServer& server) {
    const asio::ip::tcp::endpoint at = server.endpoint();
    return formatHostPort(HostPort{at.address().to_string(), at.port()});
}

// Serves `model` until quit or a signal; the exit status.
static int serve(RouterModel& model, const RouterOptions& options) {
    asio::io_context io;
    SharedRouter router(model, options.levels);
    logChanges(router, std::cout);
    const std::vector<ServiceRow>& rows = serviceRows();
    // The servers after the services, so they are closed (and tell every
    // session) first.
    std::vector<std::unique_ptr<RouterService>> services;
    std::vector<std::unique_ptr<TcpServer>> servers;
    std::vector<const char*> listening;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!options.addresses[i]) continue;
        services.push_back(rows[i].make(ServiceContext{io, router, options, std::cout}));
        servers.push_back(std::make_unique<TcpServer>(io, endpointOf(*options.addresses[i]),
                                                      services.back()->factory(), std::cout));
        listening.push_back(rows[i].listening);
    }
    Console console(router, std::cout);
    asio::signal_set signals(io, SIGINT, SIGTERM);
    const auto stop = [&]() {
        std::cout << "stopping" << std::endl;
        for (const auto& server : servers) server->close();
        io.stop();
    };
    signals.async_wait([&](const asio::error_code& e, int) {
        if (!e) stop();
    });
    StdinLines lines(io, [&](std::optional<std::string> line) {
        if (line && console.run(*line) == Console::Result::Quit) stop();
    });
    // Last, so that whoever waits for these lines can signal or type at once.
    for (size_t i = 0; i < servers.size(); ++i) std::cout << listening[i] << bound(*servers[i]) << std::endl;
    io.run();
    return kExitDone;
}

int main(int argc, char** argv) {
    prepareStdio();
    int status = kExitDone;
    const std::optional<RouterOptions> options = parseRouterOptions(argc, argv, std::cout, std::cerr, status);
    if (!options) return status;
    RouterModel model(options->inputs, options->outputs);
    routeStraight(model);
    if (!options->labels.empty()) {
        const std::string error = loadLabelsFile(options->labels, model);
        if (!error.empty()) {
            std::cerr << "vesk-router: " << error << "\n";
            return kExitBadUsage;
        }
    }
    try {
        return serve(model, *options);
    } catch (const std::exception& e) {
        std::cerr << "vesk-router: " << e.what() << "\n";
        return kExitCannotServe;
    }
}
