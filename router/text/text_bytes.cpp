#include "text_bytes.h"

#include <cstdio>

bool isControlByte(char byte) {
    const unsigned char c = static_cast<unsigned char>(byte);
    return (c < 0x20 && c != '\t') || c == 0x7F;
}

size_t findControlByte(std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
        if (isControlByte(text[i])) return i;
    return std::string_view::npos;
}

size_t utf8SequenceLength(std::string_view text, size_t at) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
    }
    return length;
}

static void appendEscaped(std::string& out, unsigned char c) {
    switch (c) {
    case '\n': out += "\\n"; return;
    case '\t': out += "\\t"; return;
    case '\r': out += "\\r"; return;
    case '\\': out += "\\\\"; return;
    default: break;
    }
    if (c >= 0x20 && c < 0x7F) {
        out += static_cast<char>(c);
        return;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
}

// A well-formed sequence of `length` bytes at text[at] that steers how text
// shows: a C1 control (C2 80..C2 9F), which terminals obey, or a
// bidirectional embedding, override or isolate (U+202A..U+202E, E2 80 AA..AE;
// U+2066..U+2069, E2 81 A6..A9), which reorders the line around it.
static bool steersText(std::string_view text, size_t at, size_t length) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    if (length == 2) return lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0;
    if (length != 3 || lead != 0xE2) return false;
    const unsigned char second = static_cast<unsigned char>(text[at + 1]);
    const unsigned char third = static_cast<unsigned char>(text[at + 2]);
    return (second == 0x80 && third >= 0xAA && third <= 0xAE) || (second == 0x81 && third >= 0xA6 && third <= 0xA9);
}

std::string escapeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8SequenceLength(text, i);
        // A steering sequence is escaped byte by byte: its lead byte here,
        // the rest (continuation bytes alone) in the next rounds.
        if (length > 1 && !steersText(text, i, length)) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        appendEscaped(out, static_cast<unsigned char>(text[i]));
        ++i;
    }
    return out;
}
