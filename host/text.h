// Small text helpers shared by the emulator: strict numbers, quoting for the
// transcript and JSON, and splitting of the host commands' arguments.
#ifndef VESK_HOST_TEXT_H
#define VESK_HOST_TEXT_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A signed 32-bit decimal: optional '-', digits only, no blanks, in range.
std::optional<int32_t> parseInt32(const std::string& text);

// `text` with every byte below 0x20, 0x7F and above, and the backslash,
// written as an escape (\n, \t, \r, \\ or \xNN); other bytes as they stand.
std::string escapeBytes(const std::string& text);

// Like escapeBytes, but leaves the backslash alone: for text a person wrote
// (script lines), where a backslash is already an escape.
std::string escapeControl(const std::string& text);

// escapeBytes inside double quotes, with '"' escaped too.
std::string quoteText(const std::string& text);

// A JSON string literal (with quotes). Bytes above 0x7F are written as \u00NN
// so the output is plain ASCII whatever the text holds.
std::string jsonString(const std::string& text);

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

#endif  // VESK_HOST_TEXT_H
