// vesk-router: a router model served over the Videohub Ethernet protocol,
// SW-P-08, or both at once (one model: a take through one reaches the
// clients of the other), for desks without a router, for other tools and
// for the project's tests.
//
//   vesk-router [--listen ADDR:PORT] [--swp08 ADDR:PORT] [--inputs N]
//               [--outputs M] [--labels FILE]   (see options.h)
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
#include <optional>
#include <string>

#include "change_log.h"
#include "console.h"
#include "labels_file.h"
#include "options.h"
#include "shared_router.h"
#include "stdin_lines.h"
#include "stdio_setup.h"
#include "swp08_service.h"
#include "tcp_server.h"
#include "videohub_service.h"

// A fresh model: default labels, each output on the input of the same number
// when there is one (outputs beyond the inputs start with no route).
static void routeStraight(RouterModel& model) {
    for (int output = 0; output < model.outputs() && output < model.inputs(); ++output) model.setRoute(output, output);
}

static asio::ip::tcp::endpoint endpointOf(const HostPort& address) {
    return asio::ip::tcp::endpoint(asio::ip::make_address(address.host), address.port);
}

static std::string bound(const std::optional<TcpServer>& server) {
    const asio::ip::tcp::endpoint at = server->endpoint();
    return formatHostPort(HostPort{at.address().to_string(), at.port()});
}

// Serves `model` until quit or a signal; the exit status.
static int serve(RouterModel& model, const RouterOptions& options) {
    asio::io_context io;
    SharedRouter router(model);
    logChanges(router, std::cout);
    VideohubService videohub(router, "vesk-router", std::cout);
    Swp08Service swp08(io, router, Swp08Table{options.swp08Matrix, options.swp08Level}, std::cout);
    // After the services, so they are closed (and tell them) first.
    std::optional<TcpServer> videohubServer, swp08Server;
    if (options.listen) videohubServer.emplace(io, endpointOf(*options.listen), videohub, std::cout);
    if (options.swp08) swp08Server.emplace(io, endpointOf(*options.swp08), swp08, std::cout);
    Console console(router, std::cout);
    asio::signal_set signals(io, SIGINT, SIGTERM);
    const auto stop = [&]() {
        std::cout << "stopping" << std::endl;
        if (videohubServer) videohubServer->close();
        if (swp08Server) swp08Server->close();
        io.stop();
    };
    signals.async_wait([&](const asio::error_code& e, int) {
        if (!e) stop();
    });
    StdinLines lines(io, [&](std::optional<std::string> line) {
        if (line && console.run(*line) == Console::Result::Quit) stop();
    });
    // Last, so that whoever waits for these lines can signal or type at once.
    if (videohubServer) std::cout << "listening on " << bound(videohubServer) << std::endl;
    if (swp08Server) std::cout << "swp08 listening on " << bound(swp08Server) << std::endl;
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
