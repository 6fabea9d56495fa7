#include "app/options.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <system_error>

#include "base/text.h"
#include "routers/protocols.h"
#include "ui/web/web_host.h"

static const char kUsage[] =
    "usage: vesk-host [--module PATH] [--router D=[PROTOCOL://]HOST[:PORT]]... [--json] [--web [ADDR:]PORT]\n"
    "                 [--] [SCRIPT...]\n"
    "  Runs each SCRIPT from a fresh emulator and prints the traffic, then\n"
    "  \"N passed, M failed\". Without scripts it reads standard input, with a\n"
    "  prompt when that is a terminal (type help there). \"-\" names standard\n"
    "  input; \"--\" ends the options. Exit status: 0 when everything passed,\n"
    "  1 when not, 2 for usage; 130 or 143 after Ctrl-C or a termination request.\n"
    "  --module PATH  the component module (Parvex.so, or Parvex.dll on Windows)\n"
    "  --json         one JSON object a line instead of text\n"
    "%ROUTER%"
    "  --web [ADDR:]PORT  shows the panel as a live web page there (ADDR\n"
    "                 127.0.0.1 by default; port 0 picks a free one)\n"
    "  --version      the version of vesk-host\n";

// The usage, with the router protocols' lines from their rows.
static std::string usage() {
    std::string text = kUsage;
    text.replace(text.find("%ROUTER%"), 8, routerOptionHelp());
    return text;
}

std::string addRouter(const std::string& value, RunOptions& options) {
    const size_t equals = value.find('=');
    std::optional<int32_t> device = parseInt32(value.substr(0, equals));
    if (equals == std::string::npos || !device) return "expected --router D=HOST[:PORT], got " + value;
    if (*device < 1 || *device > 999)
        return "expected a device from 1 to 999 in --router, got " + value.substr(0, equals);
    for (const auto& given : options.routers)
        if (given.first == *device) return "router device " + std::to_string(*device) + " is given twice in --router";
    std::string error;
    std::optional<RouterTarget> target = parseRouterTarget(value.substr(equals + 1), error);
    if (!target)
        return "expected --router D=HOST[:PORT], got " + value +
               (error.rfind("expected HOST", 0) == 0 ? "" : " (" + error + ")");
    options.routers.emplace_back(*device, *target);
    return "";
}

// Empty when `path` names a file that can be opened as a module, else why
// not, as the system says it (a missing module is found before any script
// runs, not at its "create").
static std::string moduleFileProblem(const std::string& path) {
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(path, ec);
    if (ec) return ec.message();
    if (std::filesystem::is_directory(status)) return std::make_error_code(std::errc::is_a_directory).message();
    if (!std::filesystem::is_regular_file(status)) return "not a regular file";
    return "";
}

// What a missing value of an option is said to be.
static std::string neededValue(const std::string& what) {
    if (what.rfind("--module", 0) == 0) return "option --module needs a value (the module's path)";
    if (what.rfind("--router", 0) == 0) return "option --router needs a value (D=HOST[:PORT])";
    if (what.rfind("--web", 0) == 0) return "option --web needs a value ([ADDR:]PORT)";
    return what;
}

static void describe(CLI::App& app, HostOptions& options, std::vector<std::string>& routers, std::string& web) {
    app.add_option("--module", options.run.modulePath, "the component module")->type_name("PATH");
    app.add_option("--router", routers, "router device D follows the router there")
        ->type_name("D=HOST[:PORT]")
        ->take_all()
        ->expected(1);
    app.add_flag("--json", options.json, "one JSON object a line instead of text");
    app.add_option("--web", web, "shows the panel as a live web page there")->type_name("[ADDR:]PORT");
    app.add_option("scripts", options.scripts, "scripts to run")->type_name("SCRIPT");
    app.set_version_flag("--version", "vesk-host " VESK_HOST_VERSION);
    app.allow_extras();
    app.positionals_at_end(false);
}

std::optional<HostOptions> parseHostOptions(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                                            int& exitStatus) {
    HostOptions options;
    std::vector<std::string> routers;
    std::string web;
    CLI::App app("", "vesk-host");
    describe(app, options, routers, web);
    exitStatus = 2;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        out << usage() << std::flush;
        exitStatus = 0;
        return std::nullopt;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n" << std::flush;
        exitStatus = 0;
        return std::nullopt;
    } catch (const CLI::ParseError& e) {
        err << "vesk-host: " << escapeBytes(neededValue(e.what())) << "\n" << usage() << std::flush;
        return std::nullopt;
    }
    // What CLI11 left: "--" and the scripts after it, or an unknown option.
    bool optionsEnded = false;
    for (const std::string& extra : app.remaining()) {
        if (!optionsEnded && extra == "--") {
            optionsEnded = true;
        } else if (optionsEnded || extra == "-" || extra.empty() || extra[0] != '-') {
            options.scripts.push_back(extra);
        } else {
            err << "vesk-host: unknown option " << escapeBytes(extra) << "\n" << usage() << std::flush;
            return std::nullopt;
        }
    }
    if (app.count("--web")) {
        std::string why;
        options.web = parseWebAddress(web, why);
        if (!options.web) {
            err << "vesk-host: " << escapeBytes(why) << "\n" << std::flush;
            return std::nullopt;
        }
    }
    const std::string& module = options.run.modulePath;
    if (!module.empty()) {
        const std::string problem = moduleFileProblem(module);
        if (!problem.empty()) {
            err << "vesk-host: option --module names no module file: " << escapeBytes(module) << " (" << problem
                << ")\n" << std::flush;
            return std::nullopt;
        }
    }
    for (const std::string& router : routers) {
        const std::string problem = addRouter(router, options.run);
        if (problem.empty()) continue;
        err << "vesk-host: " << escapeBytes(problem) << "\n" << std::flush;
        return std::nullopt;
    }
    return options;
}
