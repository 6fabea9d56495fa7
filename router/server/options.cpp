#include "options.h"

#include <CLI/CLI.hpp>
#include <asio/ip/address.hpp>

#include "console.h"
#include "router_model.h"
#include "text_bytes.h"

static const char kFooter[] =
    "\nThe first line written is \"listening on ADDR:PORT\" with the port really bound.\n"
    "It reads commands on standard input when that is a pipe, a file or a terminal\n"
    "it is in the foreground of, and keeps serving without them.\n\n"
    "exit status: 0 after quit, SIGINT or SIGTERM (and after --help, --version);\n"
    "             1 when it cannot listen; 2 on a bad option or labels file.\n\n";

// CLI11's check of --listen: "" when `text` is ADDR:PORT with a numeric address.
static std::string listenProblem(const std::string& text) {
    const std::optional<HostPort> address = parseHostPort(text, 9990, PortZero::Allowed);
    if (!address) return "not ADDR:PORT (IPv6 in brackets, port 0..65535): " + text;
    asio::error_code error;
    (void)asio::ip::make_address(address->host, error);
    if (error) return "not a numeric address: " + address->host;
    return "";
}

static void describe(CLI::App& app, RouterOptions& options, std::string& listen) {
    app.add_option("--listen", listen, "address and port to serve; port 0 picks a free one")
        ->type_name("ADDR:PORT")
        ->check(CLI::Validator(listenProblem, "", "listen"))
        ->capture_default_str();
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

std::optional<RouterOptions> parseRouterOptions(int argc, const char* const* argv, std::ostream& out,
                                                std::ostream& err, int& exitStatus) {
    RouterOptions options;
    std::string listen = formatHostPort(options.listen);
    CLI::App app("vesk-router: a router model served over the Videohub Ethernet protocol", "vesk-router");
    describe(app, options, listen);
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
        err << "vesk-router: " << escapeText(e.what()) << "\nRun with --help for more information.\n" << std::flush;
        exitStatus = kExitBadUsage;
        return std::nullopt;
    }
    options.listen = *parseHostPort(listen, 9990, PortZero::Allowed);
    return options;
}
