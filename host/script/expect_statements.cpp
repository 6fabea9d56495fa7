// expect: what the host sees, checked. Each form is a row of its own table;
// text, control, registered and unregistered may wait ("within MS").
//
// "expect text TEXT" is an alias of "expect control CONTROL text TEXT" on
// panel "1", where CONTROL is the text control of the loaded component (its
// explainer names it: LevelMimic for Parvex).
#include "script/session.h"
#include "script/shape.h"
#include "script/statements.h"

static int num(const Token& t) { return *parseInt32(t.text); }

namespace {

struct ExpectForm {
    const char* what;
    void (*check)(Shape& c, const Statement& s);
    // False when the statement failed as a script error.
    bool (*run)(ScriptSession& session, const Statement& s);
    bool mayWait;
};

// Why a panel or registration expectation does not hold; null when it does.
std::optional<std::string> unmet(ScriptSession& session, const Statement& s) {
    const std::vector<Token>& w = s.words;
    const std::string& what = w[1].text;
    Emulator& emu = session.current();
    if (what == "registered" || what == "unregistered") {
        const bool registered = emu.registrations().covers(num(w[2]), num(w[3]));
        if (registered == (what == "registered")) return std::nullopt;
        return "expected device " + w[2].text + " destination " + w[3].text + " " + what + ", it is " +
               (registered ? "registered" : "unregistered");
    }
    const bool alias = what == "text";
    const std::string control = alias ? emu.textControl() : w[2].text;
    const std::string param = alias ? "text" : w[3].text;
    const std::string& expected = alias ? w[2].text : w[4].text;
    const std::string subject = quoteText(control) + " " + param;
    if (alias && control.empty()) return "expected text " + quoteText(expected) + ", but the module has no text control";
    const Panel* p = emu.panel("1");
    const Control* c = p ? p->control(control) : nullptr;
    const std::string* value = c ? c->param(param) : nullptr;
    if (!p) return "expected " + subject + " " + quoteText(expected) + ", but panel \"1\" is not open";
    if (!c) return "expected " + subject + " " + quoteText(expected) + ", but panel \"1\" has no such control";
    if (!value || *value != expected)
        return "expected " + subject + " " + quoteText(expected) + ", got " + (value ? quoteText(*value) : "unset");
    return std::nullopt;
}

// Waits up to `ms` for `s` to hold: in real time with live routers, else by
// moving the virtual clock from timer to timer.
void await(ScriptSession& session, const Statement& s, int ms) {
    if (session.wallClock()) {
        session.loop.serve(ms, [&] { return !unmet(session, s); });
        return;
    }
    Components& site = *session.components;
    const int64_t end = site.now() + ms;
    std::optional<int64_t> due;
    while (unmet(session, s) && (due = site.nextDueTime()) && *due <= end && session.current().live())
        site.advance(*due - site.now());
    if (unmet(session, s)) site.advance(end - site.now());
}

bool runHeld(ScriptSession& session, const Statement& s) {
    if (std::optional<std::string> why = unmet(session, s)) session.fail(s.line, *why);
    return true;
}

bool runSent(ScriptSession& session, const Statement& s) {
    const std::vector<Token>& w = s.words;
    std::vector<std::string> expected;
    if (!(w.size() == 3 && !w[2].quoted && w[2].text == "nothing"))
        for (size_t i = 2; i < w.size(); ++i) expected.push_back(w[i].text);
    const uint64_t dropped = session.current().droppedCommands();
    std::vector<std::string> got = session.current().takeCommands();
    if (got != expected || dropped)
        session.fail(s.line, "expected sent " + quotedList(expected) + ", got " +
                                 (dropped ? std::to_string(dropped) + " older command(s) no longer kept, then " : "") +
                                 quotedList(got));
    return true;
}

bool runAnswer(ScriptSession& session, const Statement& s) {
    auto answered = session.answers.find(session.current().name());
    if (answered == session.answers.end()) return session.error(s.line, "no answer yet: \"send\" something first");
    const std::optional<std::string>& got = answered->second;
    const Token& w = s.words[2];
    const std::optional<std::string> expected = !w.quoted && w.text == "none" ? std::nullopt : std::optional(w.text);
    if (expected != got)
        session.fail(s.line, "expected answer " + (expected ? quoteText(*expected) : "none") + ", got " +
                                 (got ? quoteText(*got) : "none"));
    return true;
}

bool runTimer(ScriptSession& session, const Statement& s) {
    const std::vector<Token>& w = s.words;
    const bool running = session.current().clock().running(num(w[2]));
    if (running != (w[3].text == "running"))
        session.fail(s.line, "expected timer " + w[2].text + " " + w[3].text + ", it is " +
                                 (running ? "running" : "stopped"));
    return true;
}

bool runPanel(ScriptSession& session, const Statement& s) {
    const std::vector<Token>& w = s.words;
    const bool open = session.current().panel(w[2].text) != nullptr;
    if (open != (w[3].text == "open"))
        session.fail(s.line, "expected panel " + quoteText(w[2].text) + " " + w[3].text + ", it is " +
                                 (open ? "open" : "closed"));
    return true;
}

void checkRegistered(Shape& c, const Statement& s) {
    const std::string form = "expect " + s.words[1].text + " DEVICE DESTINATION";
    c.count(4, 4, form.c_str()) && c.number(2, "the device") && c.number(3, "the destination");
}

const ExpectForm kForms[] = {
    {"sent",
     [](Shape& c, const Statement& s) {
         if (s.words.size() == 2) c.problem = "expected \"expect sent TEXT...\" or \"expect sent nothing\"";
     },
     runSent, false},
    {"answer", [](Shape& c, const Statement&) { c.count(3, 3, "expect answer TEXT | expect answer none"); }, runAnswer,
     false},
    {"text", [](Shape& c, const Statement&) { c.count(3, 3, "expect text TEXT"); }, runHeld, true},
    {"control", [](Shape& c, const Statement&) { c.count(5, 5, "expect control NAME PARAM TEXT"); }, runHeld, true},
    {"timer",
     [](Shape& c, const Statement&) {
         c.count(4, 4, "expect timer N running|stopped") && c.number(2, "the timer") &&
             c.oneOf(3, "running", "stopped", "expect timer N running|stopped");
     },
     runTimer, false},
    {"registered", checkRegistered, runHeld, true},
    {"unregistered", checkRegistered, runHeld, true},
    {"panel",
     [](Shape& c, const Statement&) {
         c.count(4, 4, "expect panel NAME open|closed") && c.oneOf(3, "open", "closed", "expect panel NAME open|closed");
     },
     runPanel, false},
};

const ExpectForm* formOf(const Statement& s) {
    if (s.words.size() < 2 || s.words[1].quoted) return nullptr;
    for (const ExpectForm& form : kForms)
        if (s.words[1].text == form.what) return &form;
    return nullptr;
}

// "... within MS" at the end of the statement.
bool waits(const Statement& s) {
    const size_t n = s.words.size();
    return n > 4 && !s.words[n - 2].quoted && s.words[n - 2].text == "within";
}

std::optional<std::string> checkExpect(const Statement& s) {
    Shape c(s);
    const char* form = "expect sent|answer|text|control|timer|registered|unregistered|panel ...";
    if (!c.count(2, 1000, form)) return c.problem;
    const ExpectForm* kind = formOf(s);
    if (!kind) return std::string("expected \"") + form + "\"";
    if (waits(s)) {
        if (!kind->mayWait) return "expected \"within MS\" only after expect text, control, registered or unregistered";
        if (!c.number(s.words.size() - 1, "the time", 0)) return c.problem;
        Statement base = s;
        base.words.resize(s.words.size() - 2);
        return checkExpect(base);
    }
    kind->check(c, s);
    return c.problem;
}

bool runExpect(ScriptSession& session, const Statement& s) {
    if (!waits(s)) return formOf(s)->run(session, s);
    Statement base = s;
    base.words.resize(s.words.size() - 2);
    await(session, base, num(s.words.back()));
    return formOf(base)->run(session, base);
}

}  // namespace

std::vector<StatementKind> expectStatements() {
    return {
        {"expect",
         "  expect sent TEXT... | nothing       commands since the last check\n"
         "  expect answer TEXT | none           answer to the last send\n"
         "  expect text TEXT                    the text control's text (LevelMimic for Parvex)\n"
         "  expect control NAME PARAM TEXT      a control parameter on panel 1\n"
         "  expect timer N running|stopped\n"
         "  expect registered|unregistered D DEST\n"
         "  expect panel NAME open|closed\n"
         "  expect text|control|registered|unregistered ... within MS   wait up to MS for it\n",
         checkExpect, runExpect, false, false, false, true},
    };
}
