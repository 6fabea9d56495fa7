// create, delete, send, control, report, timer, event, wait, show, say: the
// statements that drive the component and show what it did.
#include "script/session.h"
#include "script/shape.h"
#include "script/statements.h"

static int num(const Token& t) { return *parseInt32(t.text); }

static std::optional<std::string> checkCreate(const Statement& s) {
    Shape c(s);
    if (c.count(1, 3, "create [PATH [nopanel]]") && s.words.size() == 3) c.word(2, "nopanel", "create [PATH [nopanel]]");
    return c.problem;
}

static bool runCreate(ScriptSession& session, const Statement& s) {
    Emulator& emu = *session.emulator;
    if (emu.live()) return session.error(s.line, "a component is live already; \"delete\" it first");
    if (!emu.hasModule()) {
        const std::string& path = session.options.modulePath;
        if (path.empty()) return session.error(s.line, "no module: give --module or a \"module\" statement");
        std::string why;
        Module* module = session.modules.get(path, why);
        if (!module) return session.error(s.line, why);
        emu.setModule(module, path);
        // A "panels" statement before decides where panel files are.
        if (emu.panelFolder().empty()) emu.setPanelFolder(folderOf(path));
    }
    emu.allowMissingPanels(s.words.size() == 3);
    const bool created = emu.create(s.words.size() > 1 ? s.words[1].text : "");
    emu.allowMissingPanels(false);
    if (!created) session.fail(s.line, "the export returned no component");
    return true;
}

// A statement of the name alone.
static std::optional<std::string> checkBare(const Statement& s) {
    Shape c(s);
    c.count(1, 1, s.words[0].text.c_str());
    return c.problem;
}

static bool runDelete(ScriptSession& session, const Statement& s) {
    if (!session.needComponent(s.line)) return false;
    session.emulator->destroy();
    return true;
}

static std::optional<std::string> checkSend(const Statement& s) {
    Shape c(s);
    if (!c.count(2, 2, "send TEXT | send null") && s.words.size() > 2) {
        std::string joined;
        for (size_t i = 1; i < s.words.size(); ++i) joined += (i > 1 ? " " : "") + s.words[i].text;
        *c.problem += "; a text with blanks goes in double quotes: send " + quoteText(joined);
    }
    return c.problem;
}

static bool runSend(ScriptSession& session, const Statement& s) {
    if (!session.needComponent(s.line)) return false;
    const Token& text = s.words[1];
    const bool null = !text.quoted && text.text == "null";
    session.lastAnswer = session.emulator->sendText(null ? std::nullopt : std::optional<std::string>(text.text));
    session.answered = true;
    return true;
}

static std::optional<std::string> checkControl(const Statement& s) {
    Shape c(s);
    c.count(3, 3, "control ID COMMAND");
    return c.problem;
}

static bool runControl(ScriptSession& session, const Statement& s) {
    if (!session.needComponent(s.line)) return false;
    session.emulator->sendControl(s.words[1].text, s.words[2].text);
    return true;
}

static std::optional<std::string> checkReport(const Statement& s) {
    Shape c(s);
    if (c.count(5, 5, "report DEVICE DESTINATION SOURCE TEXT") && c.number(1, "the device") &&
        c.number(2, "the destination") && c.number(3, "the source") && s.words[4].text.size() > 255)
        c.problem = "expected a report text of at most 255 characters";
    return c.problem;
}

static bool runReport(ScriptSession& session, const Statement& s) {
    if (!session.needComponent(s.line)) return false;
    const std::vector<Token>& w = s.words;
    session.emulator->sendReport(Report{num(w[1]), num(w[2]), num(w[3]), w[4].text});
    return true;
}

static std::optional<std::string> checkTimer(const Statement& s) {
    Shape c(s);
    c.count(2, 2, "timer N") && c.number(1, "the timer");
    return c.problem;
}

static bool runTimer(ScriptSession& session, const Statement& s) {
    if (!session.needComponent(s.line)) return false;
    session.emulator->sendTimer(num(s.words[1]));
    return true;
}

static std::optional<std::string> checkEvent(const Statement& s) {
    Shape c(s);
    if (c.count(3, 3, "event TYPE WORD") && c.number(1, "the type") && c.number(2, "the data word")) {
        const int type = num(s.words[1]);
        if (type == 1 || type == 2 || type == 3)
            c.problem = "expected a type other than 1, 2 and 3 (use report, control or send)";
        else if (type == 5 && s.words[2].text != "0")
            c.problem = "expected data word 0 with type 5";
    }
    return c.problem;
}

static bool runEvent(ScriptSession& session, const Statement& s) {
    if (!session.needComponent(s.line)) return false;
    session.emulator->sendWord(num(s.words[1]), num(s.words[2]));
    return true;
}

static std::optional<std::string> checkWait(const Statement& s) {
    Shape c(s);
    c.count(2, 2, "wait UNITS") && c.number(1, "the time", 0);
    return c.problem;
}

static bool runWait(ScriptSession& session, const Statement& s) {
    if (session.wallClock())
        session.loop.serve(num(s.words[1]));
    else
        session.emulator->advance(num(s.words[1]));
    return true;
}

static std::optional<std::string> checkShow(const Statement& s) {
    Shape c(s);
    c.count(1, 2, "show [PANEL]");
    return c.problem;
}

static bool runShow(ScriptSession& session, const Statement& s) {
    const std::string name = s.words.size() > 1 ? s.words[1].text : "1";
    session.out.panel(name, session.emulator->panel(name));
    return true;
}

static std::optional<std::string> checkSay(const Statement& s) {
    Shape c(s);
    c.count(2, 2, "say TEXT");
    return c.problem;
}

static bool runSay(ScriptSession& session, const Statement& s) {
    session.out.caption(s.words[1].text);
    return true;
}

std::vector<StatementKind> componentStatements() {
    return {
        {"create",
         "  create [PATH [nopanel]]       create the component with PATH (nopanel: a missing panel file is tolerated)\n",
         checkCreate, runCreate},
        {"delete", "  delete                        delete the component\n", checkBare, runDelete},
        {"send", "  send TEXT | send null         text event (type 3)\n", checkSend, runSend},
        {"control", "  control ID COMMAND            control event (type 2)\n", checkControl, runControl},
        {"report", "  report D DEST S TEXT          router report (type 1) as given\n", checkReport, runReport},
        {"timer", "  timer N                       timer event (type 4)\n", checkTimer, runTimer},
        {"event", "  event T WORD                  any other event type with a data word\n", checkEvent, runEvent},
        {"wait",
         "  wait UNITS                    advance the clock (1 unit = 1 ms); with a live router,\n"
         "                                serve it and the timers that long\n",
         checkWait, runWait},
        {"show", "  show [PANEL]                  draw the panel\n", checkShow, runShow},
        {"say", "  say TEXT                      a caption\n", checkSay, runSay, true, false, true},
    };
}
