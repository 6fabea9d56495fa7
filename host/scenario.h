// The scenario language: plain text, one statement a line, '#' starts a
// comment. Words are separated by blanks; a text with blanks or quotes is
// written in double quotes, with \" \\ \n \t \r and \xNN escapes (\x00 only
// in the file text of "config D text"). Numbers are
// signed decimal. Paths are relative to the script's folder.
//
//   module PATH                  load a component module
//   panels FOLDER                where relative panel file paths start
//                                (default: the module's folder)
//   site temp [system NAME]      fresh empty site (QX_ROOT, QX_SYSTEM=NAME,
//                                default main) that the script writes to
//   site FOLDER [system NAME]    an existing site, used as it stands
//   site none                    QX_ROOT and QX_SYSTEM unset
//   config D size S              write dev_D.ini: [Database] DatabaseSize_1=S
//   config D text TEXT           write dev_D.ini as given
//   config D none                remove dev_D.ini
//   device D size S [nofile]     router device D with destinations 1..S
//                                (S <= kMaxRouterPorts); on a "site temp"
//                                also writes its dev_D.ini
//   device D videohub HOST[:PORT]
//                                router device D is the Videohub router at
//                                HOST:PORT (default 9990); from here on the
//                                script runs on the wall clock (see below)
//   source D S NAME              name source S (1..kMaxRouterPorts) of
//                                device D (a rename of a routed source
//                                reports to registered destinations it
//                                feeds); "rename" is the same
//   route D DEST S               route source S (1..kMaxRouterPorts) to DEST
//                                (always reported to registrations covering
//                                DEST)
//   offline D | online D         router device D stops / starts answering
//   resize D S                   new size for device D (S <= kMaxRouterPorts)
//                                and its dev_D.ini
//   create [PATH [nopanel]]      the host calls the export with PATH; a panel
//                                file that it shows must exist, unless the
//                                statement says "nopanel"
//   delete                       the host deletes the component
//   send TEXT | send null        text event (type 3) from the hosting panel
//   control ID COMMAND           control event (type 2)
//   report D DEST S TEXT         router report (type 1) as given, whatever
//                                the router holds or can hold
//   timer N                      timer event (type 4) for timer N
//   event T WORD                 event of type T (not 1, 2, 3; 5 only with 0)
//                                with data word WORD
//   wait UNITS                   advance the clock (1 unit = 1 ms), firing
//                                the timers that fall due; on the wall
//                                clock, serve the routers and timers that long
//   show [PANEL]                 draw the panel (default "1")
//   say TEXT                     a caption in the transcript
//   expect sent TEXT... | expect sent nothing
//                                the commands since the last "expect sent",
//                                exactly and in order
//   expect answer TEXT | expect answer none    answer to the last "send"
//   expect text TEXT             the text of LevelMimic on panel 1
//   expect control NAME PARAM TEXT             a parameter of a panel 1 control
//   expect timer N running | expect timer N stopped
//   expect registered D DEST | expect unregistered D DEST
//   ... within MS                after expect text, control, registered or
//                                unregistered: waits up to MS for it to hold
//   expect panel NAME open | expect panel NAME closed
//   state                        the host's side now: clock, timers,
//                                registrations, routes, panels, site files
//   reset                        a fresh emulator, site and clock; the
//                                module stays
//   help, quit                   at the prompt; "quit" also ends a script
//
// A live router device (device D videohub) puts the script on the wall clock:
// route, source and rename send requests to the router and the emulator
// follows only what the router reports; offline, online and resize are not
// for it. Scripts without one keep the virtual clock.
// A simulated device's sources need no declaring: it has every source up to
// the highest one routed or named (see router.h). A size or source beyond
// kMaxRouterPorts is an error at its line; "config" and "report" take any
// number, for trying the component beyond what a router holds.
// A line holds at most kMaxLineBytes bytes.
#ifndef VESK_HOST_SCENARIO_H
#define VESK_HOST_SCENARIO_H

#include <chrono>
#include <map>
#include <utility>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulator.h"
#include "loop/event_loop.h"
#include "module.h"
#include "site.h"
#include "transcript.h"

struct Token {
    std::string text;
    bool quoted;
};

struct Statement {
    int line = 0;
    std::string source;  // as written, comment and outer blanks removed
    std::vector<Token> words;
};

struct ScriptError {
    int line;
    std::string message;
};

// The longest script line read; a longer one is an error at that line, with
// the message overlongLine() gives.
const size_t kMaxLineBytes = 65536;
std::string overlongLine();

// Splits one line into words. Null statement words for a blank or comment
// line. Returns an error for a malformed line (bad quoting).
std::optional<ScriptError> tokenizeLine(const std::string& text, int line, Statement& out);

// Checks a statement's shape (verb, argument count, numbers). Null when good.
std::optional<std::string> checkStatement(const Statement& statement);

// The live router a "device D PROTOCOL HOST[:PORT] [NAME VALUE]..."
// statement names; null with `error` set when it names none.
std::optional<RouterSpec> routerSpecOf(const Statement& statement, std::string& error);

// Parses a whole script: every statement, or every error (line order). A
// script without statements is an error too.
struct ParsedScript {
    std::vector<Statement> statements;
    std::vector<ScriptError> errors;
};
ParsedScript parseScript(const std::string& content);

// Every statement's first word, in the order "help" lists them.
const std::vector<std::string>& statementNames();

// The statement reference shown by "help".
const char* scenarioHelp();

// Loaded modules by path; each is loaded once per process.
class ModuleCache {
public:
    Module* get(const std::string& path, std::string& error);
    // Puts a module under `path` without loading anything (tests).
    void add(const std::string& path, std::unique_ptr<Module> module) { modules_[path] = std::move(module); }

private:
    std::map<std::string, std::unique_ptr<Module>> modules_;
};

struct RunOptions {
    RunOptions(std::string module = "", std::vector<std::pair<int, RouterSpec>> live = {})
        : modulePath(std::move(module)), routers(std::move(live)) {}

    std::string modulePath;  // from the command line; may be empty
    // Live router devices of every script (--router D=SPEC), connected
    // before its first statement that does more than prepare the site.
    std::vector<std::pair<int, RouterSpec>> routers;
    // How live routers' connections are kept (tests shorten it).
    ClientTiming timing;
};

// Runs scripts, each from a fresh emulator, site and clock.
class ScenarioRunner : private EventLoop::Owner {
public:
    ScenarioRunner(Transcript& transcript, ModuleCache& modules, RunOptions options);

    // Runs a whole script. `name` is how it is shown (its path as given);
    // `folder` is where its relative paths start. True when it passed.
    bool runScript(const std::string& name, const std::string& folder, const std::string& content);
    // Reports a script that could not be read, as a failed script: `why`
    // at `line` (0: the script as a whole).
    void unreadable(const std::string& name, int line, const std::string& why);

    // Statement by statement (the interactive prompt): a script error is
    // reported and the session goes on.
    void begin(const std::string& name, const std::string& folder);
    // False when the statement was "quit". An expectation that holds says
    // "ok".
    bool runLine(const std::string& text, int line);
    // Ends the session; true when it passed.
    bool end();
    // Between statements of a session, while nobody types: serves the loop
    // for up to `ms` (ending early on wake()), and with live routers the
    // timers too, as "wait" does (what comes belongs to no statement).
    // Without one the virtual clock stands still between statements.
    void idle(int ms);
    EventLoop& loop() { return loop_; }
    // What "state" shows now; null between scripts. Reads the host, never calls the component.
    std::optional<HostState> snapshot() const { return emulator_ ? std::optional<HostState>(hostState()) : std::nullopt; }

private:
    // False when the statement failed as a script error (the script stops).
    bool execute(const Statement& s);
    bool perform(const Statement& s);
    bool error(int line, const std::string& message);
    // Reports each panel file the component named that is missing (and not
    // meant to be) as an error at `line`. True when there was none.
    bool missingPanels(int line);
    void fail(int line, const std::string& message);
    std::string resolve(const std::string& path) const;
    bool needComponent(int line);
    // Makes `device` a live router, putting the script on the wall clock.
    void connectRouter(int device, const RouterSpec& spec);
    bool isLive(int device) const { return emulator_->backends().isLive(device); }
    bool wallClock() const { return wallStart_.has_value(); }
    // EventLoop::Owner
    void settle() override;
    std::optional<std::chrono::steady_clock::time_point> nextDue() const override;
    // Compares a router's announced size with the site's device file; each
    // disagreement is warned about once, until either number changes.
    void checkSize(int device, int routerSize);
    void checkSizes();
    // Why an "expect" statement does not hold (null when it does).
    std::optional<std::string> unmet(const Statement& s);
    // Waits up to `ms` for `s` to hold: in real time with live routers, else
    // by moving the virtual clock from timer to timer.
    void awaitExpectation(const Statement& s, int ms);
    // A fresh emulator and site; the module and the panel folder stay.
    void reset();
    // A new emulator, site and clock, the routers of the old one gone.
    void freshEmulator();
    bool changeRoute(const Statement& s);
    HostState hostState() const;

    Transcript& out_;
    ModuleCache& modules_;
    RunOptions options_;

    std::string name_;
    std::string folder_;
    // Declared before the emulator: backends' handlers outlive it safely.
    EventLoop loop_;
    std::unique_ptr<Emulator> emulator_;
    std::unique_ptr<Site> site_;
    // The wall-clock moment the emulator's clock read `clockAtStart_`; none
    // while the script runs on the virtual clock.
    std::optional<std::chrono::steady_clock::time_point> wallStart_;
    int64_t clockAtStart_ = 0;
    std::map<int, std::pair<int, int>> sizesChecked_;  // device -> (router, site)
    bool routersConnected_ = false;  // those of RunOptions::routers
    int failures_ = 0;
    int errors_ = 0;
    // Violations and panel file errors of the emulators a "reset" ended.
    int earlierViolations_ = 0;
    int earlierPanelErrors_ = 0;
    bool answered_ = false;
    std::optional<std::string> lastAnswer_;
};

#endif  // VESK_HOST_SCENARIO_H
