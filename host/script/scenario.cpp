#include "script/scenario.h"
#include "script/script_parse.h"
#include "script/statements.h"

#include "os/interrupt.h"

bool ScenarioRunner::execute(const Statement& s) {
    const StatementKind& kind = *findStatement(s.words[0].text);
    if (!kind.prepares) session_.connectCommandLineRouters();
    session_.loop.pump();
    const bool ok = kind.run(session_, s);
    session_.afterStatement();
    return session_.missingPanels(s.line) && ok;
}

bool ScenarioRunner::runScript(const std::string& name, const std::string& folder, const std::string& content) {
    startScript(name, folder, content);
    return end();
}

bool ScenarioRunner::startScript(const std::string& name, const std::string& folder, const std::string& content) {
    begin(name, folder);
    ParsedScript script = parseScript(content);
    for (const ScriptError& e : script.errors) session_.error(e.line, e.message);
    if (!script.errors.empty()) return false;
    for (const Statement& s : script.statements)
        if (!runStatement(s)) return false;
    return true;
}

bool ScenarioRunner::continueScript(const std::string& text, int line) {
    Statement s;
    if (std::optional<ScriptError> e = parseLine(text, line, s)) return session_.error(e->line, e->message);
    return s.words.empty() || runStatement(s);
}

bool ScenarioRunner::stopsForSignal() {
    const int signal = interruption();
    if (signal) session_.out.note("interrupted by signal " + std::to_string(signal));
    return signal != 0;
}

bool ScenarioRunner::runStatement(const Statement& s) {
    if (stopsForSignal()) return false;
    const StatementKind& kind = *findStatement(s.words[0].text);
    if (!kind.unechoed) session_.out.statement(s.line, s.source);
    session_.out.at(session_.name, s.line);
    return !kind.ends && execute(s);
}

void ScenarioRunner::unreadable(const std::string& name, int line, const std::string& why) {
    begin(name, ".");
    session_.error(line, why);
    end();
}

// "exit" alone, as a shell ends.
static bool isExit(const Statement& s) { return s.words.size() == 1 && s.words[0].text == "exit" && !s.words[0].quoted; }

bool ScenarioRunner::runLine(const std::string& text, int line) {
    Statement s;
    if (std::optional<ScriptError> e = parseLine(text, line, s)) {
        if (isExit(s)) return false;
        session_.out.error(session_.name, e->line, e->message);
        return true;
    }
    if (s.words.empty()) return true;
    const StatementKind& kind = *findStatement(s.words[0].text);
    if (kind.ends) return false;
    session_.out.at(session_.name, line);
    const int failures = session_.failures;
    const int errors = session_.errors;
    if (execute(s) && kind.confirms && session_.failures == failures && session_.errors == errors)
        session_.out.ok(line);
    return true;
}

void ScenarioRunner::idle(int ms) {
    session_.out.at(session_.name, 0);
    session_.loop.serve(ms);
    session_.missingPanels(0);
}
