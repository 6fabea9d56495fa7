#include "base/text.h"

#include "text_bytes.h"

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

size_t utf8SequenceAt(const std::string& text, size_t at) {
    return static_cast<unsigned char>(text[at]) < 0x80 ? 1 : utf8SequenceLength(text, at);
}

// One escaping rule for vesk-host's transcript and vesk-router's log.
std::string escapeBytes(const std::string& text) { return escapeText(text); }

size_t textWidth(const std::string& text) {
    size_t width = 0;
    for (unsigned char c : text)
        if ((c & 0xC0) != 0x80) ++width;
    return width;
}

std::string validUtf8(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8SequenceAt(text, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
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

std::optional<std::vector<CommandArg>> splitQuotedArguments(const std::string& rest, size_t count, bool freeFirst) {
    if (count < 2 || rest.size() < 3 || rest.compare(0, 2, " '") != 0 || rest.back() != '\'') return std::nullopt;
    const std::string inner = rest.substr(2, rest.size() - 3);
    static const std::string kBetween = "' '";
    std::vector<CommandArg> fixed;
    size_t begin = 0;
    size_t end = inner.size();
    for (size_t k = 0; k + 1 < count; ++k) {
        if (freeFirst) {
            size_t at = end >= kBetween.size() ? inner.rfind(kBetween, end - kBetween.size()) : std::string::npos;
            if (at == std::string::npos || at < begin) return std::nullopt;
            fixed.insert(fixed.begin(), CommandArg{inner.substr(at + 3, end - at - 3), true});
            end = at;
        } else {
            size_t at = inner.find(kBetween, begin);
            if (at == std::string::npos || at + kBetween.size() > end) return std::nullopt;
            fixed.push_back(CommandArg{inner.substr(begin, at - begin), true});
            begin = at + kBetween.size();
        }
    }
    CommandArg free{inner.substr(begin, end - begin), true};
    if (freeFirst)
        fixed.insert(fixed.begin(), free);
    else
        fixed.push_back(free);
    return fixed;
}
