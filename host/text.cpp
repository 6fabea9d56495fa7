#include "text.h"

#include <cstdio>

std::optional<int32_t> parseInt32(const std::string& text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && text[i] == '-') {
        negative = true;
        ++i;
    }
    if (i == text.size()) return std::nullopt;
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        char c = text[i];
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<int32_t>(value);
}

std::string escapeBytes(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

std::string escapeControl(const std::string& text) {
    std::string out;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\\') {
            out += escapeBytes(text.substr(start, i - start));
            if (i < text.size()) out += '\\';
            start = i + 1;
        }
    }
    return out;
}

std::string quoteText(const std::string& text) {
    std::string out = "\"";
    for (char c : escapeBytes(text)) {
        if (c == '"') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\t': out += "\\t"; break;
            case '\r': out += "\\r"; break;
            default:
                if (c < 0x20 || c >= 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\u%04X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::optional<std::vector<CommandArg>> splitCommandArguments(const std::string& rest) {
    std::vector<CommandArg> args;
    size_t i = 0;
    while (i < rest.size()) {
        if (rest[i] != ' ') return std::nullopt;
        ++i;
        if (i == rest.size()) return std::nullopt;
        if (rest[i] == '\'') {
            // Texts are never escaped, so a quote inside one cannot be told from
            // the closing quote except by what follows: the closing quote is the
            // first one followed by a blank or the end.
            size_t close = i + 1;
            while (close < rest.size() && !(rest[close] == '\'' && (close + 1 == rest.size() || rest[close + 1] == ' ')))
                ++close;
            if (close >= rest.size()) return std::nullopt;
            args.push_back({rest.substr(i + 1, close - i - 1), true});
            i = close + 1;
        } else {
            size_t end = rest.find(' ', i);
            if (end == std::string::npos) end = rest.size();
            args.push_back({rest.substr(i, end - i), false});
            i = end;
        }
    }
    return args;
}
