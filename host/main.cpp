// vesk-host: plays the host panel application for a component module, with a
// simulated router, panel and timers, driven by scenario scripts (see
// scenario.h) or statements typed at a prompt.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "interrupt.h"
#include "live_routers.h"
#include "output/json_renderer.h"
#include "output/text_renderer.h"
#include "prompt.h"
#include "scenario.h"
#include "script_file.h"
#include "transcript.h"
#include "ui/web/web_host.h"

static const char kUsage[] =
    "usage: vesk-host [--module PATH] [--router D=[PROTOCOL://]HOST[:PORT]]... [--json] [--web [ADDR:]PORT] [--] [SCRIPT...]\n"
    "  Runs each SCRIPT from a fresh emulator and prints the traffic, then\n"
    "  \"N passed, M failed\". Without scripts it reads standard input, with a\n"
    "  prompt when that is a terminal (type help there). \"-\" names standard\n"
    "  input; \"--\" ends the options. Exit status: 0 when everything passed,\n"
    "  1 when not, 2 for usage; 130 or 143 after Ctrl-C or a termination request.\n"
    "  --module PATH  the component module (Parvex.so, or Parvex.dll on Windows)\n"
    "  --json         one JSON object a line instead of text\n"
    "  --router D=HOST[:PORT]  router device D (1..999) is the Videohub router\n"
    "                 there (port 9990 by default) in every script and at the\n"
    "                 prompt; videohub://HOST[:PORT] names the protocol\n"
    "  --web [ADDR:]PORT  shows the panel as a live web page there (ADDR\n"
    "                 127.0.0.1 by default; port 0 picks a free one)\n"
    "  --version      the version of vesk-host\n";

static std::string folderName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// Failures, errors and violations also go to standard error, unless the
// transcript already shows them there: standard output is a terminal, or
// both streams are the same file or pipe.
static bool alertsWanted() {
    if (isatty(fileno(stdout))) return false;
#if !defined(_WIN32)
    struct stat out, err;
    if (fstat(fileno(stdout), &out) == 0 && fstat(fileno(stderr), &err) == 0 && out.st_dev == err.st_dev &&
        out.st_ino == err.st_ino)
        return false;
#endif
    return true;
}

// Adds "--router D=SPEC" to `options`; empty, or what is wrong with it.
static std::string addRouter(const std::string& value, RunOptions& options) {
    const size_t equals = value.find('=');
    std::optional<int32_t> device = parseInt32(value.substr(0, equals));
    if (equals == std::string::npos || !device)
        return "expected --router D=HOST[:PORT], got " + value;
    if (*device < 1 || *device > 999)
        return "expected a device from 1 to 999 in --router, got " + value.substr(0, equals);
    for (const auto& given : options.routers)
        if (given.first == *device) return "router device " + std::to_string(*device) + " is given twice in --router";
    std::string error;
    std::optional<RouterSpec> spec = parseRouterSpec(value.substr(equals + 1), error);
    if (!spec)
        return "expected --router D=HOST[:PORT], got " + value +
               (error.rfind("expected HOST", 0) == 0 ? "" : " (" + error + ")");
    options.routers.emplace_back(*device, *spec);
    return "";
}

static bool interactive(ScenarioRunner& runner, bool prompt, HoldingSink& terminal) {
    if (prompt) std::cout << "vesk-host: statements one a line; \"help\" lists them, \"quit\" ends.\n";
    runner.begin("stdin", ".");
    bool quit = false;
    {
        EventLoop& loop = runner.loop();
        Prompt reader("vesk> ", prompt, [&runner](int ms) { runner.idle(ms); }, [&loop] { loop.wake(); }, &terminal);
        std::string line;
        int number = 0;
        while (!quit && reader.read(line)) quit = !runner.runLine(line, ++number) || interruption();
    }
    if (prompt) std::cout << "\n";
    return runner.end();
}

int main(int argc, char** argv) {
#if defined(_WIN32)
    // The same bytes as on Linux: no "\r\n" translation.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    std::ios::sync_with_stdio(true);
    RunOptions options;
    bool json = false;
    std::optional<HostPort> web;
    bool optionsEnded = false;
    std::vector<std::string> scripts;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (optionsEnded || arg == "-" || arg.empty() || arg[0] != '-') {
            scripts.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--module") {
            if (i + 1 == argc) {
                std::cerr << "vesk-host: option --module needs a value (the module's path)\n" << kUsage;
                return 2;
            }
            options.modulePath = argv[++i];
        } else if (arg == "--router") {
            if (i + 1 == argc) {
                std::cerr << "vesk-host: option --router needs a value (D=HOST[:PORT])\n" << kUsage;
                return 2;
            }
            std::string problem = addRouter(argv[++i], options);
            if (!problem.empty()) {
                std::cerr << "vesk-host: " << problem << "\n";
                return 2;
            }
        } else if (arg == "--web") {
            std::string why;
            if (i + 1 == argc || !(web = parseWebAddress(argv[++i], why))) {
                std::cerr << "vesk-host: " << (why.empty() ? "option --web needs a value ([ADDR:]PORT)" : why) << "\n";
                return 2;
            }
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "--version") {
            std::cout << "vesk-host " VESK_HOST_VERSION "\n";
            return 0;
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else {
            std::cerr << "vesk-host: unknown option " << arg << "\n" << kUsage;
            return 2;
        }
    }

    watchInterrupts();
    const bool stdoutIsTerminal = isatty(fileno(stdout)) != 0;
    std::ostream* alerts = alertsWanted() ? &std::cerr : nullptr;
    std::unique_ptr<Sink> renderer = json ? std::unique_ptr<Sink>(std::make_unique<JsonRenderer>(std::cout, alerts))
                                          : std::make_unique<TextRenderer>(std::cout, alerts);
    // The prompt holds the terminal's events while it serves routers.
    HoldingSink terminal(*renderer);
    FanOutSink everyone;
    everyone.add(terminal);
    WebView page;
    if (web) everyone.add(page);
    Transcript transcript(everyone);
    ModuleCache modules;
    ScenarioRunner runner(transcript, modules, options);
    std::unique_ptr<WebHost> webHost;
    if (web) {
        webHost = std::make_unique<WebHost>(runner.loop().io(), page, [&runner] { return runner.snapshot(); },
                                            [&transcript](const std::string& text) { transcript.note(text); });
        std::string why;
        if (!webHost->start(*web, std::cerr, why)) {
            std::cerr << "vesk-host: " << why << "\n";
            return 2;
        }
    }

    int passed = 0;
    int failed = 0;
    if (scripts.empty()) {
        if (isatty(fileno(stdin))) {
            bool ok = interactive(runner, !json && stdoutIsTerminal, terminal);
            if (interruption()) endByInterruption(interruption());
            return ok ? 0 : 1;
        }
        scripts.push_back("-");
    }
    for (const std::string& script : scripts) {
        const bool input = script == "-";
        ScriptRead read = input ? readScriptInput() : readScriptFile(script);
        if (interruption()) endByInterruption(interruption());
        const std::string name = input ? "stdin" : script;
        bool ok;
        if (read.ok)
            ok = runner.runScript(name, input ? "." : folderName(script), read.content);
        else {
            runner.unreadable(name, read.line, read.error);
            ok = false;
        }
        if (interruption()) endByInterruption(interruption());
        (ok ? passed : failed)++;
    }
    transcript.summary(passed, failed);
    return failed ? 1 : 0;
}
