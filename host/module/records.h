// The records the host builds for events, in the component's layouts: the
// revertive and control-event records of vesk_client_callback.h, and the host's
// own copy of the split command record that a control event points at. Built
// by g++ for the host's target, they take the 32-bit layouts in the Windows
// build, as the DLL expects.
#ifndef VESK_HOST_MODULE_RECORDS_H
#define VESK_HOST_MODULE_RECORDS_H

#include <cstddef>
#include <cstdint>
#include <string>

#include "vesk_client_callback.h"

// Same fields, order and widths as the component's ParsedCommand.
struct HostCommandRecord {
    const char* command;
    const char* subs[32];
    const char* value;
    int32_t count;
    bool hasValue;
    char* buffer;
};

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(HostCommandRecord) == 148, "command record layout");
static_assert(offsetof(HostCommandRecord, value) == 132 && offsetof(HostCommandRecord, count) == 136 &&
                  offsetof(HostCommandRecord, hasValue) == 140 && offsetof(HostCommandRecord, buffer) == 144,
              "command record layout");
static_assert(sizeof(RevertiveRecord) == 272 && offsetof(RevertiveRecord, text) == 16, "revertive record layout");
#endif
#if defined(VESK_HOST_CHECK_LAYOUT)
#include "vesk_parsed_command.h"
static_assert(sizeof(HostCommandRecord) == sizeof(ParsedCommand) &&
                  offsetof(HostCommandRecord, subs) == offsetof(ParsedCommand, subs) &&
                  offsetof(HostCommandRecord, value) == offsetof(ParsedCommand, value) &&
                  offsetof(HostCommandRecord, count) == offsetof(ParsedCommand, count) &&
                  offsetof(HostCommandRecord, hasValue) == offsetof(ParsedCommand, hasValue) &&
                  offsetof(HostCommandRecord, buffer) == offsetof(ParsedCommand, buffer),
              "command record layout");
#endif
static_assert(offsetof(RevertiveRecord, index) == 8 && offsetof(RevertiveRecord, info) == 12,
              "revertive record layout");

// A control event's command, split the way the component splits its own texts:
// the command before the first '.' or '=', up to 32 sub-parts after dots, the
// value after the first '='. Owns its text.
class SplitCommand {
public:
    explicit SplitCommand(const std::string& text);
    SplitCommand(const SplitCommand&) = delete;
    SplitCommand& operator=(const SplitCommand&) = delete;
    HostCommandRecord* record() { return &record_; }

private:
    std::string storage_;  // the text, split in place
    HostCommandRecord record_;
};

// Fills a revertive record; text longer than the record's room is cut.
void fillRevertive(RevertiveRecord& record, int device, int index, int info, const std::string& text);

#endif  // VESK_HOST_MODULE_RECORDS_H
