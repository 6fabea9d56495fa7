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
        std::string text = content.substr(pos, end - pos);
        pos = end + 1;
        ++line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.size() > kMaxLineBytes) {
            script.errors.push_back(ScriptError{line, overlongLine()});
            continue;
        }
        Statement s;
        if (std::optional<ScriptError> e = tokenizeLine(text, line, s)) {
            script.errors.push_back(*e);
            continue;
        }
        if (s.words.empty()) continue;
        if (std::optional<std::string> problem = checkStatement(s)) {
            script.errors.push_back(ScriptError{line, *problem});
            continue;
        }
        script.statements.push_back(s);
    }
    if (script.statements.empty() && script.errors.empty()) script.errors.push_back(ScriptError{0, "no statements"});
    return script;
}
