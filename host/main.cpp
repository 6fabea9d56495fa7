// vesk-host: plays the host panel application for a component module, with a
// simulated router, panel and timers, driven by scenario scripts (see
// scenario.h) or statements typed at a prompt.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

#include "live_routers.h"
#include "scenario.h"
#include "text.h"
#include "transcript.h"

static const char kUsage[] =
    "usage: vesk-host [--module PATH] [--router D=HOST[:PORT]]... [--json] [SCRIPT...]\n"
    "  Runs each SCRIPT from a fresh emulator and prints the traffic, then\n"
    "  \"N passed, M failed\". Without scripts it reads standard input, with a\n"
    "  prompt when that is a terminal (type help there). \"-\" names standard\n"
    "  input. Exit status: 0 when everything passed, 1 when not, 2 for usage.\n"
    "  --module PATH  the component module (Parvex.so, or Parvex.dll on Windows)\n"
    "  --json         one JSON object a line instead of text\n"
    "  --router D=HOST[:PORT]  router device D is the Videohub router there\n"
    "                 (port 9990 by default) in every script and at the prompt\n";

static std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

static std::string folderName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

static bool readFile(const std::string& path, std::string& content) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return true;
}

static bool interactive(ScenarioRunner& runner, bool prompt) {
    if (prompt) std::cout << "vesk-host: statements one a line; \"help\" lists them, \"quit\" ends.\n";
    runner.begin("stdin", ".");
    std::string line;
    int number = 0;
    while (true) {
        if (prompt) std::cout << "vesk> " << std::flush;
        if (!std::getline(std::cin, line)) break;
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!runner.runLine(line, number)) break;
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
    std::vector<std::string> scripts;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--module" && i + 1 < argc) {
            options.modulePath = argv[++i];
        } else if (arg == "--router" && i + 1 < argc) {
            std::string value = argv[++i];
            size_t equals = value.find('=');
            std::optional<int32_t> device = parseInt32(value.substr(0, equals));
            std::optional<RouterAddress> address =
                equals == std::string::npos ? std::nullopt : parseRouterAddress(value.substr(equals + 1));
            if (!device || !address) {
                std::cerr << "vesk-host: expected --router D=HOST[:PORT], got " << value << "\n";
                return 2;
            }
            options.routers.emplace_back(*device, *address);
        } else if (arg == "--json") {
            json = true;
        } else if (arg == "-h" || arg == "--help") {
            std::cout << kUsage;
            return 0;
        } else if (arg.size() > 1 && arg[0] == '-' && arg != "-") {
            std::cerr << "vesk-host: unknown option " << arg << "\n" << kUsage;
            return 2;
        } else {
            scripts.push_back(arg);
        }
    }

    // Failures also go to standard error when the transcript goes elsewhere.
    const bool stdoutIsTerminal = isatty(fileno(stdout)) != 0;
    Transcript transcript(std::cout, json, stdoutIsTerminal ? nullptr : &std::cerr);
    ModuleCache modules;
    ScenarioRunner runner(transcript, modules, options);

    int passed = 0;
    int failed = 0;
    if (scripts.empty()) {
        bool terminal = isatty(fileno(stdin)) != 0;
        if (terminal) {
            bool ok = interactive(runner, !json || stdoutIsTerminal);
            return ok ? 0 : 1;
        }
        scripts.push_back("-");
    }
    for (const std::string& script : scripts) {
        std::string content;
        bool ok;
        if (script == "-") {
            std::ostringstream buffer;
            buffer << std::cin.rdbuf();
            ok = runner.runScript("stdin", ".", buffer.str());
        } else if (!readFile(script, content)) {
            runner.unreadable(baseName(script));
            ok = false;
        } else {
            ok = runner.runScript(baseName(script), folderName(script), content);
        }
        (ok ? passed : failed)++;
    }
    transcript.summary(passed, failed);
    return failed ? 1 : 0;
}
