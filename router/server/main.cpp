// vesk-router: a router model served over the Videohub Ethernet protocol, for
// desks without a router, for other tools and for the project's tests.
//
//   vesk-router [--listen ADDR:PORT] [--inputs N] [--outputs M] [--labels FILE]
//
// The first line written is "listening on ADDR:PORT" with the port really
// bound (give port 0 for a free one); then one line per connect, drop, change
// (with its origin) and NAK. Commands on standard input: see console.h. It
// runs until "quit", SIGINT or SIGTERM; the end of standard input does not
// stop it, so it can run in the background with no input. Exit statuses: see
// options.h.
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
#include "tcp_server.h"
#include "videohub_service.h"

// A fresh model: default labels, each output on the input of the same number
// when there is one (outputs beyond the inputs start with no route).
static void routeStraight(RouterModel& model) {
    for (int output = 0; output < model.outputs() && output < model.inputs(); ++output) model.setRoute(output, output);
}

// Serves `model` until quit or a signal; the exit status.
static int serve(RouterModel& model, const RouterOptions& options) {
    asio::io_context io;
    SharedRouter router(model);
    logChanges(router, std::cout);
    VideohubService videohub(router, "vesk-router", std::cout);
    const asio::ip::tcp::endpoint endpoint(asio::ip::make_address(options.listen.host), options.listen.port);
    TcpServer server(io, endpoint, videohub, std::cout);
    Console console(router, std::cout);
    asio::signal_set signals(io, SIGINT, SIGTERM);
    const auto stop = [&]() {
        std::cout << "stopping" << std::endl;
        server.close();
        io.stop();
    };
    signals.async_wait([&](const asio::error_code& e, int) {
        if (!e) stop();
    });
    StdinLines lines(io, [&](std::optional<std::string> line) {
        if (line && console.run(*line) == Console::Result::Quit) stop();
    });
    // Last, so that whoever waits for this line can signal or type at once.
    const asio::ip::tcp::endpoint bound = server.endpoint();
    std::cout << "listening on " << formatHostPort(HostPort{bound.address().to_string(), bound.port()}) << std::endl;
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
