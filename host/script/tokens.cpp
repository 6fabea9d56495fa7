#include "tokens.h"

#include "statements.h"

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<ScriptError> tokenizeLine(const std::string& text, int line, Statement& out) {
    out = Statement();
    out.line = line;
    size_t i = 0;
    size_t sourceEnd = 0;
    while (true) {
        while (i < text.size() && isBlank(text[i])) ++i;
        if (i == text.size() || text[i] == '#') break;
        Token token{"", false};
        if (text[i] == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < text.size()) {
                char c = text[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c != '\\') {
                    token.text += c;
                    continue;
                }
                if (i == text.size()) break;
                char e = text[i++];
                switch (e) {
                    case '"': token.text += '"'; break;
                    case '\\': token.text += '\\'; break;
                    case 'n': token.text += '\n'; break;
                    case 't': token.text += '\t'; break;
                    case 'r': token.text += '\r'; break;
                    case 'x': {
                        int hi = i < text.size() ? hexDigit(text[i]) : -1;
                        int lo = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
                        if (hi < 0 || lo < 0) return ScriptError{line, "expected two hex digits after \\x"};
                        token.text += static_cast<char>(hi * 16 + lo);
                        i += 2;
                        break;
                    }
                    default:
                        return ScriptError{line, std::string("unknown escape \\") + e +
                                                     " (expected \\\" \\\\ \\n \\t \\r or \\xNN)"};
                }
            }
            if (!closed) return ScriptError{line, "expected a closing \" before the end of the line"};
            if (i < text.size() && !isBlank(text[i]) && text[i] != '#')
                return ScriptError{line, "expected a blank after the closing \""};
        } else {
            size_t end = i;
            while (end < text.size() && !isBlank(text[end])) ++end;
            token.text = text.substr(i, end - i);
            if (token.text.find('"') != std::string::npos)
                return ScriptError{line, "expected a quote only at the start of a word"};
            i = end;
        }
        out.words.push_back(token);
        sourceEnd = i;
    }
    size_t begin = text.find_first_not_of(" \t\r");
    if (!out.words.empty()) out.source = text.substr(begin, sourceEnd - begin);
    return std::nullopt;
}

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

std::string overlongLine() { return "a line of more than " + std::to_string(kMaxLineBytes) + " bytes"; }

