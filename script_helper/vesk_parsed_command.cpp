// Command-path parser and notification wrappers: see vesk_parsed_command.h.
#include "vesk_parsed_command.h"

#include "vesk_platform.h"

// The one empty text every unset pointer refers to; parsing decides whether
// `command` was set by comparing against its address.
static const char kEmpty[1] = {'\0'};

ParsedCommand::ParsedCommand(const char* text)
    : command(kEmpty), value(kEmpty), count(0), hasValue(false), buffer(nullptr) {
    for (int i = 0; i < kMaxSubs; ++i) subs[i] = kEmpty;
    if (!text) return;
    size_t length = vesk_strlen(text);
    if (length == 0) return;
    buffer = static_cast<char*>(vesk_mem_alloc(length + 1));
    if (!buffer) return;
    vesk_memcpy(buffer, text, length);
    buffer[length] = '\0';

    for (size_t i = 0; i < length && count < kMaxSubs; ++i) {
        if (buffer[i] == '.') {
            if (command == kEmpty) command = buffer;
            buffer[i] = '\0';
            subs[count++] = buffer + i + 1;
        } else if (buffer[i] == '=') {
            if (command == kEmpty) command = buffer;
            buffer[i] = '\0';
            hasValue = true;
            value = buffer + i + 1;
            break;
        }
    }
    if (command == kEmpty) command = buffer;
}

ParsedCommand::~ParsedCommand() { vesk_mem_free(buffer); }

vesk_string RevertiveNotify::text() const { return vesk_string(record_->text); }

vesk_string ButtonNotify::id() const { return vesk_string(record_->id); }

vesk_string ButtonNotify::command() const {
    return vesk_string(record_->command ? record_->command->command : nullptr);
}

vesk_string ButtonNotify::value() const {
    return vesk_string(record_->command ? record_->command->value : nullptr);
}

vesk_string ParentNotify::command() const { return vesk_string(parsed_->command); }
vesk_string ParentNotify::value() const { return vesk_string(parsed_->value); }
