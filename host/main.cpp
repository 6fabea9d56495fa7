// vesk-host: plays the host panel application for a component module, with a
// simulated router, panel and timers, driven by scenario scripts (see
// scenario.h) or statements typed at a prompt.
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "os/interrupt.h"
#include "app/options.h"
#include "os/os.h"
#include "output/json_renderer.h"
#include "output/text_renderer.h"
#include "app/piped_script.h"
#include "app/prompt.h"
#include "script/scenario.h"
#include "script/script_file.h"
#include "output/transcript.h"
#include "ui/web/web_host.h"

static std::string folderName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return ".";
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

// Failures, errors and violations also go to standard error, unless the
// transcript already shows them there: standard output is a terminal, or
// both streams are the same file or pipe.
static bool alertsWanted() { return !stdoutIsTerminal() && !stdoutIsStderr(); }

static bool interactive(ScenarioRunner& runner, bool prompt, HoldingSink& terminal) {
    if (prompt) std::cout << "vesk-host: statements one a line; \"help\" lists them, \"quit\" ends.\n";
    runner.begin("stdin", ".");
    bool quit = false;
    {
        EventLoop& loop = runner.loop();
        Prompt reader("vesk> ", prompt, [&runner](int ms) { runner.idle(ms); }, [&loop] { loop.wake(); }, &terminal);
        reader.completeNames([&runner] { return runner.componentNames(); });
        std::string line;
        int number = 0;
        while (!quit && reader.read(line)) quit = !runner.runLine(line, ++number) || interruption();
    }
    if (prompt) std::cout << "\n";
    return runner.end();
}

// Runs one script ("-": standard input, read as it comes when it is a pipe).
static bool runOneScript(ScenarioRunner& runner, const std::string& script) {
    const bool input = script == "-";
    if (input && stdinIsPipe()) return runPipedScript(runner);
    ScriptRead read = input ? readScriptInput() : readScriptFile(script);
    if (interruption()) endByInterruption(interruption());
    const std::string name = input ? "stdin" : script;
    if (read.ok) return runner.runScript(name, input ? "." : folderName(script), read.content);
    runner.unreadable(name, read.line, read.error);
    return false;
}

// Runs each script and prints the summary; the exit status: 0 when every
// script passed, 1 when not.
static int runScripts(ScenarioRunner& runner, Transcript& transcript, const std::vector<std::string>& scripts) {
    int passed = 0;
    int failed = 0;
    for (const std::string& script : scripts) {
        const bool ok = runOneScript(runner, script);
        if (interruption()) endByInterruption(interruption());
        (ok ? passed : failed)++;
    }
    transcript.summary(passed, failed);
    return failed ? 1 : 0;
}

int main(int argc, char** argv) {
    useBinaryStdio();
    std::ios::sync_with_stdio(true);
    int status = 0;
    std::optional<HostOptions> parsed = parseHostOptions(argc, argv, std::cout, std::cerr, status);
    if (!parsed) return status;
    const bool json = parsed->json;
    std::vector<std::string> scripts = parsed->scripts;
    const RunOptions& options = parsed->run;
    const std::optional<HostPort>& web = parsed->web;

    watchInterrupts();
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
        // Ended by a signal, the pages still get the last lines and a goodbye.
        atEndByInterruption([&webHost] { webHost.reset(); });
    }

    if (scripts.empty()) {
        if (stdinIsTerminal()) {
            bool ok = interactive(runner, !json && stdoutIsTerminal(), terminal);
            if (interruption()) endByInterruption(interruption());
            return ok ? 0 : 1;
        }
        scripts.push_back("-");
    }
    const int verdict = runScripts(runner, transcript, scripts);
    // Someone at a terminal watches the page: the final state stays.
    if (webHost && stdinIsTerminal()) endByInterruption(webHost->serveUntilInterrupted(runner.loop(), std::cerr));
    return verdict;
}
