#include "script/scenario.h"
#include "script/script_parse.h"

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
    begin(name, folder);
    ParsedScript script = parseScript(content);
    if (!script.errors.empty()) {
        for (const ScriptError& e : script.errors) session_.error(e.line, e.message);
        return end();
    }
    for (const Statement& s : script.statements) {
        if (int signal = interruption()) {
            session_.out.note("interrupted by signal " + std::to_string(signal));
            break;
        }
        // A caption speaks for itself.
        if (s.words[0].text != "say") session_.out.statement(s.line, s.source);
        session_.out.at(session_.name, s.line);
        if (s.words[0].text == "quit" || !execute(s)) break;
    }
    return end();
}

void ScenarioRunner::unreadable(const std::string& name, int line, const std::string& why) {
    begin(name, ".");
    session_.error(line, why);
    end();
}

bool ScenarioRunner::runLine(const std::string& text, int line) {
    if (text.size() > kMaxLineBytes) {
        session_.error(line, overlongLine());
        return true;
    }
    Statement s;
    if (std::optional<ScriptError> e = tokenizeLine(text, line, s)) {
        session_.error(line, e->message);
        return true;
    }
    if (s.words.empty()) return true;
    if (std::optional<std::string> problem = checkStatement(s)) {
        session_.error(line, *problem);
        return true;
    }
    if (s.words[0].text == "quit") return false;
    session_.out.at(session_.name, line);
    const int failures = session_.failures;
    const int errors = session_.errors;
    if (execute(s) && s.words[0].text == "expect" && session_.failures == failures && session_.errors == errors)
        session_.out.ok(line);
    return true;
}

void ScenarioRunner::idle(int ms) {
    session_.out.at(session_.name, 0);
    session_.loop.serve(ms);
    session_.missingPanels(0);
}
