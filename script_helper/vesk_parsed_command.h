// Command-path texts and the notification wrappers handed to handlers.
//
// A command path is a name, optional sub-parts after dots and an optional value
// after the first equals sign: "driverid=12", "a.b.c", "a.b=c.d". ParsedCommand
// copies the text once and splits the copy in place. The host builds records of
// the same layout for control events, so field order and widths are fixed:
// on i686 the record is 148 bytes with `value` at 132 and `buffer` at 144.
#ifndef VESK_PARSED_COMMAND_H
#define VESK_PARSED_COMMAND_H

#include <stddef.h>
#include <stdint.h>

#include "vesk_client_callback.h"
#include "vesk_string.h"

struct ParsedCommand {
    enum { kMaxSubs = 32 };

    // Parses a copy of `text` (null allowed; the caller's text is not changed
    // and need not outlive the call):
    //   - `command` is the text before the first '.' or '=' (possibly empty);
    //   - each '.' before the first '=' starts the next sub-part, until 32 are
    //     found; the 32nd then runs to the end of the text, '=' included, and
    //     no value is taken;
    //   - `value` is everything after the first '=', dots and further '='
    //     included; `hasValue` tells "a=" from "a".
    // No blanks are trimmed and no byte is special but '.' and '='.
    // Every text pointer is always valid: into `buffer`, or at one shared empty
    // text. A null or empty text, or a failed allocation of the copy, gives
    // `buffer` null, empty command and value, count 0 and hasValue false.
    explicit ParsedCommand(const char* text);
    // Frees `buffer`.
    ~ParsedCommand();

    ParsedCommand(const ParsedCommand&) = delete;
    ParsedCommand& operator=(const ParsedCommand&) = delete;

    const char* command;
    const char* subs[kMaxSubs];
    const char* value;
    int32_t count;
    bool hasValue;
    char* buffer;
};

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(ParsedCommand) == 148, "parsed command layout");
static_assert(offsetof(ParsedCommand, value) == 132 && offsetof(ParsedCommand, count) == 136 &&
                  offsetof(ParsedCommand, hasValue) == 140 && offsetof(ParsedCommand, buffer) == 144,
              "parsed command layout");
#endif

// Read-only views over the records of one event. Each holds the one address it
// wraps and owns nothing; it lives for one handler call.

class RevertiveNotify {
public:
    explicit RevertiveNotify(const RevertiveRecord* record) : record_(record) {}
    // Inline: a host may deliver reports at high rates, and most are for other
    // destinations, dropped after reading these two words.
    int device() const { return record_->device; }
    int index() const { return record_->index; }
    int info() const { return record_->info; }
    vesk_string text() const;
    // The record's zero-terminated text itself, valid for the handler call.
    const char* textChars() const { return record_->text; }

private:
    const RevertiveRecord* record_;
};

class ButtonNotify {
public:
    explicit ButtonNotify(const ButtonRecord* record) : record_(record) {}
    // A null id or command record reads as empty text.
    vesk_string id() const;
    vesk_string command() const;
    vesk_string value() const;

private:
    const ButtonRecord* record_;
};

class ParentNotify {
public:
    explicit ParentNotify(const ParsedCommand* parsed) : parsed_(parsed) {}
    vesk_string command() const;
    vesk_string value() const;
    // The parsed texts themselves, never null, valid for the handler call:
    // reading them copies nothing.
    const char* commandChars() const { return parsed_->command; }
    const char* valueChars() const { return parsed_->value; }

private:
    const ParsedCommand* parsed_;
};

#endif  // VESK_PARSED_COMMAND_H
