// create, use, delete, send, control, report, timer, event, wait, show, say:
// the statements that drive the components and show what they did. All but
// create, use, wait and say address the current component.
#include <cctype>

#include "script/session.h"
#include "script/shape.h"
#include "script/statements.h"

static int num(const Token& t) { return *parseInt32(t.text); }

static const char* kCreateForm = "create [PATH [nopanel]]\" or \"create NAME [module PATH] [nopanel]";

// A component's name: a letter, then letters, digits, '_' and '-', written
// without quotes ("module" and "nopanel" stay the paths they always were).
static bool isComponentName(const Token& t) {
    if (t.quoted || t.text.empty() || !std::isalpha(static_cast<unsigned char>(t.text[0]))) return false;
    if (t.text == "module" || t.text == "nopanel") return false;
    for (char c : t.text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
    return true;
}

// "create NAME [module PATH] [nopanel]": where NAME's options end (the
// statement's length when they are well formed).
static size_t afterNameOptions(const Statement& s) {
    const std::vector<Token>& w = s.words;
    size_t i = 2;
    if (i < w.size() && !w[i].quoted && w[i].text == "module") i += 2;
    if (i < w.size() && !w[i].quoted && w[i].text == "nopanel") ++i;
    return i;
}

static std::optional<std::string> checkCreate(const Statement& s) {
    Shape c(s);
    if (!c.count(1, 5, kCreateForm) || s.words.size() == 1) return c.problem;
    if (isComponentName(s.words[1])) {
        if (afterNameOptions(s) != s.words.size()) c.problem = std::string("expected \"") + kCreateForm + "\"";
        return c.problem;
    }
    if (c.count(1, 3, kCreateForm) && s.words.size() == 3) c.word(2, "nopanel", kCreateForm);
    return c.problem;
}

// The module a "create" uses, set on `emu`; false after a script error.
static bool chooseModule(ScriptSession& session, const Statement& s, Emulator& emu) {
    const std::vector<Token>& w = s.words;
    ModuleChoice& site = session.defaults;
    std::string why;
    if (w.size() > 3 && !w[2].quoted && w[2].text == "module") {
        const std::string path = session.resolve(w[3].text);
        Module* module = session.modules.get(path, why);
        if (!module) return session.error(s.line, why);
        emu.setModule(module, path);
        emu.setPanelFolder(site.panelsChosen ? site.panelFolder : folderOf(path));
        return true;
    }
    if (!site.module) {
        const std::string& path = session.options.modulePath;
        if (path.empty()) return session.error(s.line, "no module: give --module or a \"module\" statement");
        site.module = session.modules.get(path, why);
        if (!site.module) return session.error(s.line, why);
        site.path = path;
        // A "panels" statement before decides where panel files are.
        if (site.panelFolder.empty()) site.panelFolder = folderOf(path);
    }
    emu.setModule(site.module, site.path);
    emu.setPanelFolder(site.panelFolder);
    return true;
}

// The slot a "create" makes its component in; null after a script error.
static Emulator* slotToCreate(ScriptSession& session, const Statement& s, bool named) {
    Components& site = *session.components;
    const std::string name = named ? s.words[1].text : "";
    Emulator* unnamed = site.find("");
    if (named && unnamed && unnamed->live()) {
        session.error(s.line, "the unnamed component is live: \"delete\" it before creating named ones");
        return nullptr;
    }
    if (!named && site.anyNamed() && !site.live().empty()) {
        session.error(s.line, "named components are live: a bare \"create\" is for a single component");
        return nullptr;
    }
    Emulator& emu = site.slot(name);
    if (emu.live()) {
        session.error(s.line, named ? "component " + name + " is live already; \"delete\" it first"
                                    : "a component is live already; \"delete\" it first");
        return nullptr;
    }
    return &emu;
}

static bool runCreate(ScriptSession& session, const Statement& s) {
    const std::vector<Token>& w = s.words;
    const bool named = w.size() > 1 && isComponentName(w[1]);
    Emulator* emu = slotToCreate(session, s, named);
    if (!emu || !chooseModule(session, s, *emu)) return false;
    session.use(emu->name());
    const size_t options = named && w.size() > 2 && !w[2].quoted && w[2].text == "module" ? 4 : 2;
    const bool nopanel = w.size() == options + 1;
    emu->allowMissingPanels(nopanel);
    const bool created = emu->create(w.size() > 1 && !named ? w[1].text : "");
    emu->allowMissingPanels(false);
    if (!created) session.fail(s.line, "the export returned no component");
    return true;
}

static std::optional<std::string> checkUse(const Statement& s) {
    Shape c(s);
    if (c.count(2, 2, "use NAME") && !isComponentName(s.words[1]))
        c.problem = "expected a component name (a letter, then letters, digits, _ or -), got " + quoteText(s.words[1].text);
    return c.problem;
}

static bool runUse(ScriptSession& session, const Statement& s) {
    if (session.use(s.words[1].text)) return true;
    return session.error(s.line, "no component " + s.words[1].text + ": \"create " + s.words[1].text + "\" makes it");
}

// A statement of the name alone.
static std::optional<std::string> checkBare(const Statement& s) {
    Shape c(s);
    c.count(1, 1, s.words[0].text.c_str());
    return c.problem;
}

static bool runDelete(ScriptSession& session, const Statement& s) {
    if (!session.needComponent(s.line)) return false;
    session.current().destroy();
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
    Emulator& emu = session.current();
    session.answers[emu.name()] = emu.sendText(null ? std::nullopt : std::optional<std::string>(text.text));
    return true;
}

static std::optional<std::string> checkControl(const Statement& s) {
    Shape c(s);
    c.count(3, 3, "control ID COMMAND");
    return c.problem;
}

static bool runControl(ScriptSession& session, const Statement& s) {
    if (!session.needComponent(s.line)) return false;
    session.current().sendControl(s.words[1].text, s.words[2].text);
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
    session.current().sendReport(Report{num(w[1]), num(w[2]), num(w[3]), w[4].text});
    return true;
}

static std::optional<std::string> checkTimer(const Statement& s) {
    Shape c(s);
    c.count(2, 2, "timer N") && c.number(1, "the timer");
    return c.problem;
}

static bool runTimer(ScriptSession& session, const Statement& s) {
    if (!session.needComponent(s.line)) return false;
    session.current().sendTimer(num(s.words[1]));
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
    session.current().sendWord(num(s.words[1]), num(s.words[2]));
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
        session.components->advance(num(s.words[1]));
    return true;
}

static std::optional<std::string> checkShow(const Statement& s) {
    Shape c(s);
    c.count(1, 2, "show [PANEL]");
    return c.problem;
}

static bool runShow(ScriptSession& session, const Statement& s) {
    const std::string name = s.words.size() > 1 ? s.words[1].text : "1";
    session.current().transcript().panel(name, session.current().panel(name));
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
         "  create [PATH [nopanel]]       create the component with PATH (nopanel: a missing panel file is tolerated;\n"
         "                                a PATH that reads as a NAME is one: quote it, as in create \"main\")\n"
         "  create NAME [module PATH] [nopanel]\n"
         "                                create a component named NAME (one of a site; from the module at PATH)\n",
         checkCreate, runCreate},
        {"use", "  use NAME                      the named component the statements below address\n", checkUse, runUse},
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
