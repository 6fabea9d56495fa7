// The script runner: runs scenario scripts (the language is in
// script/statements.h and docs/integrator-guide.md), each from a fresh
// emulator, site and clock, whole or statement by statement (the prompt).
//
// A live router device (device D PROTOCOL HOST[:PORT]) puts the script on
// the wall clock: route, source and rename send requests to the router and
// the emulator follows only what the router reports; offline, online and
// resize are not for it. Scripts without one keep the virtual clock.
// A simulated device's sources need no declaring: it has every source up to
// the highest one routed or named. A size or source beyond kMaxRouterPorts
// is an error at its line; "config" and "report" take any number, for trying
// the component beyond what a router holds. A line holds at most
// kMaxLineBytes bytes.
#ifndef VESK_HOST_SCRIPT_SCENARIO_H
#define VESK_HOST_SCRIPT_SCENARIO_H

#include <string>

#include "script/session.h"
#include "script/statements.h"
#include "script/tokens.h"

class ScenarioRunner {
public:
    ScenarioRunner(Transcript& transcript, ModuleCache& modules, RunOptions options)
        : session_(transcript, modules, std::move(options)) {}

    // Runs a whole script. `name` is how it is shown (its path as given);
    // `folder` is where its relative paths start. True when it passed.
    bool runScript(const std::string& name, const std::string& folder, const std::string& content);
    // A script whose lines come over time (a pipe): startScript checks the
    // lines there are as a whole, as runScript does (one wrong line refuses
    // them all), and runs them; continueScript checks one more line and runs
    // it. Both are false once the script stopped (an error, "quit", a
    // signal); end() it then, or when no line is left.
    bool startScript(const std::string& name, const std::string& folder, const std::string& content);
    bool continueScript(const std::string& text, int line);
    // Stops a started script at `line` with `why`.
    void stopScript(int line, const std::string& why) { session_.error(line, why); }
    // Whether a signal came, noting it: a script stops before its next
    // statement then.
    bool stopsForSignal();
    // Reports a script that could not be read, as a failed script: `why`
    // at `line` (0: the script as a whole).
    void unreadable(const std::string& name, int line, const std::string& why);

    // Statement by statement (the interactive prompt): a script error is
    // reported and the session goes on.
    void begin(const std::string& name, const std::string& folder) { session_.begin(name, folder); }
    // False when the statement was "quit" (or "exit", as a shell has it). A
    // line that cannot be parsed is reported as an error that the result
    // does not count (a person corrects it). An expectation that holds says
    // "ok".
    bool runLine(const std::string& text, int line);
    // Ends the session; true when it passed.
    bool end() { return session_.end(); }
    // Between statements of a session, while nobody types: serves the loop
    // for up to `ms` (ending early on wake()), and with live routers the
    // timers too, as "wait" does (what comes belongs to no statement).
    // Without one the virtual clock stands still between statements.
    void idle(int ms);
    EventLoop& loop() { return session_.loop; }
    // The host's side now, as the "state" statement shows it.
    HostState hostState() const { return session_.hostState(); }
    // The same, or null between scripts. Reads the host, never calls the
    // component.
    std::optional<HostState> snapshot() const { return session_.running() ? std::optional(hostState()) : std::nullopt; }
    // The names of the session's named components, in the order they were
    // first created (for completion at the prompt); none between scripts.
    std::vector<std::string> componentNames() const {
        return session_.running() ? session_.components->names() : std::vector<std::string>{};
    }

private:
    // False when the statement failed as a script error (the script stops).
    bool execute(const Statement& s);
    // A script's statement, shown and run; false when the script stops there
    // (a signal came before it, it was "quit", or it failed as a script error).
    bool runStatement(const Statement& s);

    ScriptSession session_;
};

#endif  // VESK_HOST_SCRIPT_SCENARIO_H
