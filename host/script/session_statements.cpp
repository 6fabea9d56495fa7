// state, reset, help, quit: the session's own statements.
#include "script/session.h"
#include "script/shape.h"
#include "script/statements.h"

// A statement of the name alone.
static std::optional<std::string> checkBare(const Statement& s) {
    Shape c(s);
    c.count(1, 1, s.words[0].text.c_str());
    return c.problem;
}

static bool runState(ScriptSession& session, const Statement&) {
    session.out.state(session.hostState());
    return true;
}

static bool runReset(ScriptSession& session, const Statement&) {
    session.reset();
    return true;
}

static bool runHelp(ScriptSession& session, const Statement&) {
    session.out.message(scenarioHelp());
    return true;
}

static bool runQuit(ScriptSession&, const Statement&) { return true; }

std::vector<StatementKind> sessionStatements() {
    return {
        {"state", "  state                         clock, timers, registrations, routes, panels, site files\n",
         checkBare, runState},
        {"reset", "  reset                         fresh emulator, site and clock (the module stays)\n", checkBare,
         runReset},
        {"help", "  help | quit\n", checkBare, runHelp, true},
        {"quit", "", checkBare, runQuit, false, true},
    };
}
