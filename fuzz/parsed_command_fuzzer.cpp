// Fuzzes the command-path parser. The input (up to its first zero byte) is the
// text. Checks: every field points at zero-terminated text, pieces lie in the
// record's own copy, the pieces put back together with their separators give
// the text again, no piece but the value (and a 32nd sub-part) holds a
// separator, and the notification wrapper reads the same command and value.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "fuzz_support.h"
#include "vesk_parsed_command.h"

static bool Inside(const ParsedCommand& parsed, const char* piece, size_t length) {
    return parsed.buffer && piece >= parsed.buffer && piece <= parsed.buffer + length;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
    ParsedCommand parsed(text.c_str());

    if (parsed.count < 0 || parsed.count > ParsedCommand::kMaxSubs) FuzzFail("count out of range", text);
    if (!parsed.command || !parsed.value) FuzzFail("null command or value", text);
    for (int i = 0; i < ParsedCommand::kMaxSubs; ++i)
        if (!parsed.subs[i]) FuzzFail("null sub-part " + std::to_string(i), text);

    if (text.empty()) {
        if (parsed.buffer) FuzzFail("empty text got a buffer", text);
        if (*parsed.command || *parsed.value || parsed.count != 0 || parsed.hasValue)
            FuzzFail("empty text gave pieces", text);
        for (int i = 1; i < ParsedCommand::kMaxSubs; ++i)
            if (parsed.subs[i] != parsed.command) FuzzFail("unset pieces differ", text);
        return 0;
    }
    if (!parsed.buffer) FuzzFail("no copy of a non-empty text", text);
    if (parsed.buffer == text.c_str()) FuzzFail("parsed the caller's text in place", text);
    if (parsed.command != parsed.buffer) FuzzFail("command does not start the copy", text);
    if (!Inside(parsed, parsed.value, text.size()) && *parsed.value) FuzzFail("value outside the copy", text);
    for (int i = 0; i < parsed.count; ++i)
        if (!Inside(parsed, parsed.subs[i], text.size())) FuzzFail("sub-part outside the copy", text);
    for (int i = parsed.count; i < ParsedCommand::kMaxSubs; ++i)
        if (*parsed.subs[i]) FuzzFail("unused sub-part not empty", text);
    if (!parsed.hasValue && *parsed.value) FuzzFail("value without an equals sign", text);

    std::string rebuilt = parsed.command;
    for (int i = 0; i < parsed.count; ++i) rebuilt += std::string(".") + parsed.subs[i];
    if (parsed.hasValue) rebuilt += std::string("=") + parsed.value;
    if (rebuilt != text) FuzzFail("pieces rebuild " + Escaped(rebuilt), text);

    if (strpbrk(parsed.command, ".=")) FuzzFail("separator in command", text);
    const int plain = parsed.count == ParsedCommand::kMaxSubs ? parsed.count - 1 : parsed.count;
    for (int i = 0; i < plain; ++i)
        if (strpbrk(parsed.subs[i], ".=")) FuzzFail("separator in sub-part " + std::to_string(i), text);
    if (parsed.count == ParsedCommand::kMaxSubs && parsed.hasValue) FuzzFail("value taken after 32 sub-parts", text);

    ParentNotify notify(&parsed);
    if (std::string(notify.command().c_str()) != parsed.command) FuzzFail("notify command differs", text);
    if (std::string(notify.value().c_str()) != parsed.value) FuzzFail("notify value differs", text);
    return 0;
}
