// The commands a component sends its host (type 0), as ONE table: each row
// has the command's code, the usage a malformed one is told, and the handler
// that does it. The emulator parses a command's arguments, finds its row and
// calls the handler with the host's state; the handler says what happened in
// a CommandOutcome, which the emulator then tells.
//
// Commands (texts in single quotes):
//   PS 'panel' 'file' ['extra']  shows the panel file; replies "1" when it
//                                exists, null when not (never handed back)
//   TP 'param=value' 'panel' 'control'
//   TG 'panel' 'control' 'param' replies "param=value"; for "all" every
//                                parameter, "a=1,b=2"; null when unknown
//   XI 'panel' 'selector'        replies the control names starting with the
//                                selector, comma-separated; null when none
//   RR d f l ['ADD'], RU d       see core/registrations.h
//   RP d f l                     the device's backend answers, after the call
//   ET id interval, ET id        see timers.h (interval 1 or more)
// ("AS", the closing command, is the emulator's own: it ends the component.)
#ifndef VESK_HOST_CORE_HOST_COMMANDS_H
#define VESK_HOST_CORE_HOST_COMMANDS_H

#include <deque>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "explain/explainer.h"
#include "base/panel.h"
#include "core/registrations.h"
#include "core/reply_book.h"
#include "routers/backends.h"
#include "base/text.h"
#include "core/timers.h"

// The panels the component showed, and where their files are found.
struct PanelBook {
    std::map<std::string, Panel> open;
    std::string folder;                // relative panel file paths start here
    std::vector<std::string>* missing = nullptr;  // files PS named that do not exist (the site's list)
    bool missingAllowed = false;       // a script that means them to be missing

    std::string resolve(const std::string& file) const;
};

// What a command did: its reply and what to tell about it.
struct CommandOutcome {
    char* reply = nullptr;
    bool showReply = false;  // PS, TG and XI show their reply
    std::vector<std::string> notes;
    std::vector<Silence> silences;
    std::vector<std::string> violations;
    std::vector<std::pair<int, std::string>> panelErrors;  // line, message
};

// The host's state a handler works on, for one command.
struct CommandContext {
    const std::string& command;  // as the component sent it
    PanelBook& panels;
    ReplyBook& replies;
    Registrations& registrations;
    Backends& backends;
    TimerClock& clock;
    std::deque<Report>& reports;       // delivered after the call returns
    std::vector<int>& leftBehindNoted;  // devices noted in this call
};

struct HostCommandKind {
    const char* code;
    const char* usage;
    // False when the arguments do not have the command's shape: the emulator
    // then reports "malformed command: expected USAGE".
    bool (*handle)(CommandContext& context, const std::vector<CommandArg>& args, CommandOutcome& outcome);
    // Texts that are never escaped: this many quoted arguments are read as a
    // tolerant host reads them (see splitQuotedArguments); 0: plain split.
    size_t tolerantCount = 0;
    bool freeFirst = false;
};

const std::vector<HostCommandKind>& hostCommandTable();
// The row of `code` ("RR"); null when the host knows no such command.
const HostCommandKind* findHostCommand(const std::string& code);

#endif  // VESK_HOST_CORE_HOST_COMMANDS_H
