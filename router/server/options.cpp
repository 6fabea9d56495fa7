#include "options.h"

#include <CLI/CLI.hpp>
#include <asio/ip/address.hpp>

#include "console.h"
#include "router_model.h"
#include "service_table.h"
#include "text_bytes.h"

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

// The footer of --help: what runs without service options, the first
// lines, the standard input, the exit statuses.
static std::string footer() {
    std::string options, served, lines;
    for (const ServiceRow& row : serviceRows()) {
        options += std::string(options.empty() ? "" : " or ") + row.option;
        if (row.defaultAddress) served += std::string(served.empty() ? "" : " and ") + row.name + " on " + row.defaultAddress;
        lines += std::string(lines.empty() ? "" : ", ") + "\"" + row.listening + "ADDR:PORT\" (" + row.name + ")";
    }
    return "\nWithout " + options + " it serves " + served + "; all serve the same router.\n"
           "The first lines written are " + lines + ",\nfor the services given, with the ports really bound.\n"
           "It reads commands on standard input when that is a pipe, a file or a terminal\n"
           "it is in the foreground of, and keeps serving without them.\n\n"
           "exit status: 0 after quit, SIGINT or SIGTERM (and after --help, --version);\n"
           "             1 when it cannot listen; 2 on a bad option or labels file.\n\n";
}

static void describeServices(CLI::App& app, std::vector<std::string>& addresses) {
    const std::vector<ServiceRow>& rows = serviceRows();
    addresses.resize(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const std::optional<uint16_t> port = rows[i].defaultPort;
        app.add_option(rows[i].option, addresses[i], rows[i].help)
            ->type_name("ADDR:PORT")
            ->check(CLI::Validator([port](std::string& t) { return addressProblem(t, port); }, "", rows[i].option));
    }
}

static void describeSwp08(CLI::App& app, RouterOptions& options) {
    app.add_option("--swp08-matrix", options.swp08Matrix, "the SW-P-08 matrix the router is")
        ->type_name("N")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_option("--swp08-level", options.swp08Level,
                   "the SW-P-08 level of the router's level 1 (its level k is N+k-1)")
        ->type_name("N")
        ->check(CLI::Range(0, 255))
        ->capture_default_str();
    app.add_option("--levels", options.levels,
                   "levels of the router, each with crosspoints of its own (Videohub shows level 1)")
        ->type_name("N")
        ->check(CLI::Range(1, SharedRouter::kMaxLevels))
        ->capture_default_str();
}

static void describe(CLI::App& app, RouterOptions& options, std::vector<std::string>& addresses) {
    describeServices(app, addresses);
    describeSwp08(app, options);
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
    app.footer(footer() + Console::kHelp);
}

static void badUsage(std::ostream& err, const std::string& why) {
    err << "vesk-router: " << escapeText(why) << "\nRun with --help for more information.\n" << std::flush;
}

// The addresses of the rows, with the default ones when none is given.
static std::vector<std::optional<HostPort>> addressesOf(std::vector<std::string> texts) {
    const std::vector<ServiceRow>& rows = serviceRows();
    bool none = true;
    for (const std::string& text : texts) none = none && text.empty();
    std::vector<std::optional<HostPort>> out(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        if (none && rows[i].defaultAddress) texts[i] = rows[i].defaultAddress;
        if (!texts[i].empty()) out[i] = parseAddress(texts[i], rows[i].defaultPort);
    }
    return out;
}

std::optional<RouterOptions> parseRouterOptions(int argc, const char* const* argv, std::ostream& out,
                                                std::ostream& err, int& exitStatus) {
    RouterOptions options;
    std::vector<std::string> addresses;
    CLI::App app("vesk-router: a router model served over the Videohub Ethernet protocol, SW-P-08, or both",
                 "vesk-router");
    describe(app, options, addresses);
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
    if (options.swp08Level + options.levels - 1 > 255) {
        badUsage(err, "--swp08-level " + std::to_string(options.swp08Level) + " with --levels " +
                          std::to_string(options.levels) + " goes past SW-P-08 level 255");
        return std::nullopt;
    }
    options.addresses = addressesOf(std::move(addresses));
    exitStatus = kExitDone;
    return options;
}
