#include "script/tokens.h"

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The escape after a backslash at text[i]: appends what it stands for and
// moves `i` past it. An error message when it is no escape.
static std::optional<std::string> readEscape(const std::string& text, size_t& i, std::string& into) {
    const char e = text[i++];
    switch (e) {
        case '"': into += '"'; return std::nullopt;
        case '\\': into += '\\'; return std::nullopt;
        case 'n': into += '\n'; return std::nullopt;
        case 't': into += '\t'; return std::nullopt;
        case 'r': into += '\r'; return std::nullopt;
        case 'x': {
            const int hi = i < text.size() ? hexDigit(text[i]) : -1;
            const int lo = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
            if (hi < 0 || lo < 0) return std::string("expected two hex digits after \\x");
            into += static_cast<char>(hi * 16 + lo);
            i += 2;
            return std::nullopt;
        }
        default:
            return std::string("unknown escape \\") + e + " (expected \\\" \\\\ \\n \\t \\r or \\xNN)";
    }
}

// The quoted word that starts at text[i] (the opening quote); `i` moves past
// it. An error message when it is malformed.
static std::optional<std::string> readQuoted(const std::string& text, size_t& i, std::string& into) {
    ++i;
    while (i < text.size()) {
        const char c = text[i++];
        if (c == '"') {
            if (i < text.size() && !isBlank(text[i]) && text[i] != '#') return std::string("expected a blank after the closing \"");
            return std::nullopt;
        }
        if (c != '\\') {
            into += c;
            continue;
        }
        if (i == text.size()) break;
        if (std::optional<std::string> problem = readEscape(text, i, into)) return problem;
    }
    return std::string("expected a closing \" before the end of the line");
}

std::optional<ScriptError> tokenizeLine(const std::string& text, int line, Statement& out) {
    out = Statement();
    out.line = line;
    size_t i = 0;
    size_t sourceEnd = 0;
    while (true) {
        while (i < text.size() && isBlank(text[i])) ++i;
        if (i == text.size() || text[i] == '#') break;
        Token token{"", text[i] == '"'};
        if (token.quoted) {
            if (std::optional<std::string> problem = readQuoted(text, i, token.text)) return ScriptError{line, *problem};
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

std::string overlongLine() { return "a line of more than " + std::to_string(kMaxLineBytes) + " bytes"; }

