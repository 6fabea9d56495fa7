// Bytes that came from outside (clients, files, the console), as a label may
// hold them and as a log line shows them. Pure code, shared by every router
// protocol and by vesk-router's log.
#ifndef VESK_ROUTER_TEXT_BYTES_H
#define VESK_ROUTER_TEXT_BYTES_H

#include <cstddef>
#include <string>
#include <string_view>

// True when `byte` may not stand in a label or a protocol line: a C0 control
// other than tab, or DEL. Such a byte would end a line early or steer a
// terminal; UTF-8 (bytes from 0x80) is allowed.
bool isControlByte(char byte);

// The first control byte of `text` (see isControlByte), or npos when none.
// One rule for every source of a label: a client's block, the labels file and
// the console.
size_t findControlByte(std::string_view text);

// The length of the well-formed UTF-8 sequence of two or more bytes at
// text[at], or 0 (a single byte, or not well formed: overlong, surrogate,
// above U+10FFFF or cut short).
size_t utf8SequenceLength(std::string_view text, size_t at);

// `text` as one line of printable text: well-formed UTF-8 sequences are kept,
// but for C1 controls (U+0080..U+009F) and bidirectional controls
// (U+202A..U+202E, U+2066..U+2069); '\n', '\t', '\r' and '\\' become
// "\n", "\t", "\r" and "\\"; every other byte below 0x20 or from 0x7F
// (control, DEL, the bytes of C1 and bidirectional controls, malformed UTF-8)
// becomes "\xHH" in capitals. The result holds no control byte and no
// bidirectional control, so a log line can neither be split nor steer a
// terminal, nor show its neighbours reordered.
std::string escapeText(std::string_view text);

#endif  // VESK_ROUTER_TEXT_BYTES_H
