#include "script/script_parse.h"

#include <optional>

#include "script/statements.h"

ParsedScript parseScript(const std::string& content) {
    ParsedScript script;
    int line = 0;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        Statement s;
        if (std::optional<ScriptError> e = parseLine(content.substr(pos, end - pos), ++line, s))
            script.errors.push_back(*e);
        else if (!s.words.empty())
            script.statements.push_back(s);
        pos = end + 1;
    }
    if (script.statements.empty() && script.errors.empty()) script.errors.push_back(ScriptError{0, "no statements"});
    return script;
}

std::optional<ScriptError> parseLine(std::string text, int line, Statement& s) {
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.size() > kMaxLineBytes) return ScriptError{line, overlongLine()};
    if (std::optional<ScriptError> e = tokenizeLine(text, line, s)) return e;
    if (s.words.empty()) return std::nullopt;
    if (std::optional<std::string> problem = checkStatement(s)) return ScriptError{line, *problem};
    return std::nullopt;
}
