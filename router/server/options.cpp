#include "options.h"

#include <CLI/CLI.hpp>
#include <asio/ip/address.hpp>

#include "console.h"
#include "router_model.h"
#include "text_bytes.h"

static const char kFooter[] =
    "\nWithout --listen or --swp08 it serves Videohub on 127.0.0.1:9990; both serve the same router.\n"
    "The first lines written are \"listening on ADDR:PORT\" (Videohub) and \"swp08\n"
    "listening on ADDR:PORT\" (SW-P-08), for the services given, with the ports really bound.\n"
    "It reads commands on standard input when that is a pipe, a file or a terminal\n"
    "it is in the foreground of, and keeps serving without them.\n\n"
    "exit status: 0 after quit, SIGINT or SIGTERM (and after --help, --version);\n"
    "             1 when it cannot listen; 2 on a bad option or labels file, or\n"
    "             when neither --listen nor --swp08 is given.\n\n";

constexpr uint16_t kVideohubPort = 9990;

// `text` as ADDR:PORT; `defaultPort` when no port is given (none: a port
// must be). Null when malformed.
static std::optional<HostPort> parseAddress(const std::string& text, std::optional<uint16_t> defaultPort) {
    const std::optional<HostPort> one = parseHostPort(text, defaultPort.value_or(1), PortZero::Allowed);
    if (!one || defaultPort) return one;
    // No default: the port is there when another default changes nothing.
    const std::optional<HostPort> two = parseHostPort(text, 2, PortZero::Allowed);
    return two && two->port == one->port ? one : std::nullopt;
}

// CLI11's check of an address option: "" when `text` is ADDR:PORT with a
// numeric address.
static std::string addressProblem(const std::string& text, std::optional<uint16_t> defaultPort) {
    const std::optional<HostPort> address = parseAddress(text, defaultPort);
    if (!address)
        return "not ADDR:PORT (IPv6 in brackets, port 0..65535" + std::string(defaultPort ? "" : ", given") +
               "): " + text;
    asio::error_code error;
    (void)asio::ip::make_address(address->host, error);
    if (error) return "not a numeric address: " + address->host;
    return "";
}

static void describeServices(CLI::App& app, RouterOptions& options, std::string& listen, std::string& swp08) {
    app.add_option("--listen", listen, "serve Videohub clients here (no port: 9990); port 0 picks a free one")
        ->type_name("ADDR:PORT")
        ->check(CLI::Validator([](std::string& t) { return addressProblem(t, kVideohubPort); }, "", "listen"));
    app.add_option("--swp08", swp08, "serve SW-P-08 clients here; port 0 picks a free one")
        ->type_name("ADDR:PORT")
        ->check(CLI::Validator([](std::string& t) { return addressProblem(t, std::nullopt); }, "", "swp08"));
    app.add_option("--swp08-matrix", options.swp08Matrix, "the SW-P-08 matrix the router is")
        ->type_name("N")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_option("--swp08-level", options.swp08Level, "the SW-P-08 level the router is")
        ->type_name("N")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
}

static void describe(CLI::App& app, RouterOptions& options, std::string& listen, std::string& swp08) {
    describeServices(app, options, listen, swp08);
    app.add_option("--inputs", options.inputs, "number of inputs")
        ->type_name("N")
        ->check(CLI::Range(0, kMaxRouterPorts))
        ->capture_default_str();
    app.add_option("--outputs", options.outputs, "number of outputs")
        ->type_name("M")
        ->check(CLI::Range(0, kMaxRouterPorts))
        ->capture_default_str();
    app.add_option("--labels", options.labels,
                   "a file of INPUT LABELS:, OUTPUT LABELS: and VIDEO OUTPUT ROUTING: blocks")
        ->type_name("FILE");
    app.set_version_flag("--version", std::string("vesk-router ") + VESK_VERSION);
    app.footer(std::string(kFooter) + Console::kHelp);
}

static void badUsage(std::ostream& err, const std::string& why) {
    err << "vesk-router: " << escapeText(why) << "\nRun with --help for more information.\n" << std::flush;
}

std::optional<RouterOptions> parseRouterOptions(int argc, const char* const* argv, std::ostream& out,
                                                std::ostream& err, int& exitStatus) {
    RouterOptions options;
    std::string listen, swp08;
    CLI::App app("vesk-router: a router model served over the Videohub Ethernet protocol, SW-P-08, or both",
                 "vesk-router");
    describe(app, options, listen, swp08);
    exitStatus = kExitBadUsage;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << app.help() << std::flush;
        exitStatus = kExitDone;
        return std::nullopt;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n" << std::flush;
        exitStatus = kExitDone;
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        badUsage(err, e.what());
        return std::nullopt;
    }
    // Without either, Videohub on its usual address, as before SW-P-08 came.
    if (listen.empty() && swp08.empty()) listen = "127.0.0.1:9990";
    if (!listen.empty()) options.listen = parseAddress(listen, kVideohubPort);
    if (!swp08.empty()) options.swp08 = parseAddress(swp08, std::nullopt);
    exitStatus = kExitDone;
    return options;
}
