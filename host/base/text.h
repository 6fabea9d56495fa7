// Small text helpers shared by the emulator: strict numbers, quoting for the
// transcript and JSON, and splitting of the host commands' arguments.
#ifndef VESK_HOST_BASE_TEXT_H
#define VESK_HOST_BASE_TEXT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A signed 32-bit decimal: optional '-', digits only, no blanks, in range.
std::optional<int32_t> parseInt32(const std::string& text);

// The length of the valid UTF-8 sequence at text[at] (1 to 4; 1 for ASCII),
// or 0 when the byte there starts none (overlong forms, surrogates and values
// above U+10FFFF are not valid).
size_t utf8SequenceAt(const std::string& text, size_t at);

// `text` with every control character (below 0x20, 0x7F, U+0080..U+009F), the
// bytes of every bidirectional control (U+202A..U+202E, U+2066..U+2069), the
// backslash and every byte that is not part of valid UTF-8 written as an
// escape (\n, \t, \r, \\ or \xNN); everything else, valid UTF-8 included,
// as it stands.
std::string escapeBytes(const std::string& text);

// The characters (code points) of valid UTF-8 `text`: its width on a
// terminal for the scripts this emulator shows.
size_t textWidth(const std::string& text);

// `text` as valid UTF-8: each byte that is not part of a valid sequence
// becomes U+FFFD, the replacement character. JSON records are written so.
std::string validUtf8(const std::string& text);

// Like escapeBytes, but leaves the backslash alone: for text a person wrote
// (script lines), where a backslash is already an escape.
std::string escapeControl(const std::string& text);

// escapeBytes inside double quotes, with '"' escaped too.
std::string quoteText(const std::string& text);

// One argument of a host command: a number or word as it stands, or the text
// between single quotes.
struct CommandArg {
    std::string text;
    bool quoted;
};

// The arguments of a host command after its two-letter code. Each argument
// follows one blank and is either a run of non-blank characters or a text in
// single quotes (taken as it stands, never escaped). Null when the text does
// not have that shape (missing blank, unterminated quote, trailing blanks).
std::optional<std::vector<CommandArg>> splitCommandArguments(const std::string& rest);

// The `count` quoted arguments of a host command after its two-letter code,
// read as a tolerant host reads texts that are never escaped: every argument
// is quoted and follows one blank; all but one are read up to the next "' '"
// from their side, and the free one (the first when `freeFirst`, else the
// last) takes what is left, quotes and blanks included. Null when `rest` has
// no such reading (count 2 or more).
std::optional<std::vector<CommandArg>> splitQuotedArguments(const std::string& rest, size_t count, bool freeFirst);

#endif  // VESK_HOST_BASE_TEXT_H
