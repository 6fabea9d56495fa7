// One script's run as its statements see it: the host's side (the
// components with the routers they share, the site, the event loop and the
// clock), the counts of failures and errors, and the helpers the statements'
// run functions share. The script runner (scenario.h) owns one and drives it
// statement by statement.
//
// Components: a bare "create" makes the unnamed single component, "create
// NAME" a named one; statements that talk to a component address the
// current one (the last created, or "use NAME"). The unnamed component and
// named ones are never live at once.
//
// Clock: a script runs on the virtual clock (deterministic, instant) until a
// live router joins it; from then on the emulator's clock follows the wall
// clock in milliseconds and `wait` serves the event loop that long.
#ifndef VESK_HOST_SCRIPT_SESSION_H
#define VESK_HOST_SCRIPT_SESSION_H

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/components.h"
#include "core/emulator.h"
#include "loop/event_loop.h"
#include "module/module.h"
#include "site/site.h"
#include "script/tokens.h"
#include "output/transcript.h"

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
    RunOptions(std::string module = "", std::vector<std::pair<int, RouterTarget>> live = {})
        : modulePath(std::move(module)), routers(std::move(live)) {}

    std::string modulePath;  // from the command line; may be empty
    // Live router devices of every script (--router D=TARGET), connected
    // before its first statement that does more than prepare the site.
    std::vector<std::pair<int, RouterTarget>> routers;
    // How live routers' connections are kept (tests shorten it).
    ClientTiming timing;
};

// What a "create" sets a component up with, unless it names a module of its
// own: the module of the "module" statement or --module, and the folder of
// the "panels" statement (when `panelsChosen`) or the module's.
struct ModuleChoice {
    Module* module = nullptr;
    std::string path;
    std::string panelFolder;
    bool panelsChosen = false;
};

class ScriptSession : private EventLoop::Owner {
public:
    ScriptSession(Transcript& out, ModuleCache& modules, RunOptions options);
    ~ScriptSession() override;

    // A fresh run of the script `name` whose relative paths start in `folder`.
    void begin(const std::string& name, const std::string& folder);
    // Deletes the live components, newest first, and ends the run; true when
    // it passed.
    bool end();

    // Reports a script error at `line`; always false (the script stops).
    bool error(int line, const std::string& message);
    void fail(int line, const std::string& message);
    // The component statements address (the unnamed slot until a "create
    // NAME" or "use NAME"); only while running().
    Emulator& current() { return *current_; }
    const Emulator& current() const { return *current_; }
    // Makes the slot `name` the current one; false when there is none.
    bool use(const std::string& name);
    // True when the current component is live, else an error at `line`.
    bool needComponent(int line);
    // `path` from the script's folder.
    std::string resolve(const std::string& path) const;
    // Reports each panel file a component named that is missing (and not
    // meant to be) as an error at `line`. True when there was none.
    bool missingPanels(int line);

    // Makes `device` a live router, putting the script on the wall clock,
    // and serves the loop until its first connect has ended (5 s at most).
    void connectRouter(int device, const RouterTarget& target);
    // Connects the routers of the command line, once per emulator.
    void connectCommandLineRouters();
    bool wallClock() const { return wallStart_.has_value(); }
    // After a statement: takes what the routers queued, moves the wall clock
    // and checks their sizes against the site again.
    void afterStatement();
    // Fresh components, routers, site and clock; the module and panel
    // folder stay.
    void reset();
    HostState hostState() const;
    // A script runs (between begin and end).
    bool running() const { return components != nullptr; }

    Transcript& out;
    ModuleCache& modules;
    const RunOptions options;
    EventLoop loop;
    std::unique_ptr<Components> components;
    std::unique_ptr<Site> site;
    ModuleChoice defaults;
    std::string name;
    std::string folder;
    int failures = 0;
    int errors = 0;
    // The answer to the last "send" of each component slot, by name (none:
    // nothing sent to it yet).
    std::map<std::string, std::optional<std::string>> answers;

private:
    // EventLoop::Owner
    void settle() override;
    std::optional<std::chrono::steady_clock::time_point> nextDue() const override;
    void freshComponents();
    // Compares a router's announced size with the site's device file; each
    // disagreement is warned about once, until either number changes.
    void checkSize(int device, int routerSize);

    Emulator* current_ = nullptr;
    bool routersConnected_ = false;
    // Violations and panel file errors of the components a "reset" ended.
    int earlierViolations_ = 0;
    int earlierPanelErrors_ = 0;
    // The wall-clock moment the site's clock read `clockAtStart_`; none
    // while the script runs on the virtual clock.
    std::optional<std::chrono::steady_clock::time_point> wallStart_;
    int64_t clockAtStart_ = 0;
    std::map<int, std::pair<int, int>> sizesChecked_;  // device -> (router, site)
};

// "a" "b", or nothing.
std::string quotedList(const std::vector<std::string>& texts);
// The folder of `path` ("." for none).
std::string folderOf(const std::string& path);

#endif  // VESK_HOST_SCRIPT_SESSION_H
