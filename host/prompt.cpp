#include "prompt.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>

#include "interrupt.h"
#include "scenario.h"

#if defined(VESK_HOST_LIBEDIT)
#include <cerrno>
#include <clocale>
#include <cstdio>

#include <editline/readline.h>
#include <poll.h>
#include <unistd.h>
#endif

// Plain lines from standard input.
static bool readPlain(const std::string& text, std::string& line) {
    if (!text.empty()) std::cout << text << std::flush;
    if (!std::getline(std::cin, line) || interruption()) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

#if defined(VESK_HOST_LIBEDIT)

static const int kHistoryLines = 1000;
// How long the idle task runs before standard input is looked at again: the
// delay a first keystroke may see. The task itself wakes for the network.
static const int kIdleSliceMs = 50;

// True when standard input has something to read, or has ended or failed
// (the read that follows tells which).
static bool inputReady() {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    return ::poll(&input, 1, 0) > 0;
}

// Runs `idle` in slices until standard input is ready, a signal came, or
// there is nothing to serve. With a `prompt` on the screen, the events a
// slice emitted through `terminal` (held meanwhile) replace the prompt line
// and the prompt is drawn again below them; a slice that emitted nothing
// leaves the screen alone.
static void serveWhileIdle(const IdleTask& idle, const char* prompt, HoldingSink* terminal) {
    while (!interruption() && !inputReady()) {
        if (!prompt || !terminal) {
            if (!idle(kIdleSliceMs)) return;
            continue;
        }
        terminal->hold();
        const bool served = idle(kIdleSliceMs);
        const bool emitted = terminal->held() > 0;
        if (emitted) std::cout << "\r\x1b[K";
        terminal->release();  // its renderer writes to std::cout
        if (emitted) std::cout << prompt << std::flush;
        if (!served) return;
    }
}

// The idle task of the line libedit is reading, until its first keystroke
// (libedit calls readCharacter without any context of ours).
static const IdleTask* idleBeforeFirstKey = nullptr;
static const char* idlePrompt = nullptr;
static HoldingSink* idleTerminal = nullptr;

// Reads one character, UTF-8 decoded, for libedit (which takes the value as
// the character); -1 at the end, on an error, and when a signal came (so
// Ctrl-C ends the wait instead of being retried).
static int readCharacter(FILE* stream) {
    if (const IdleTask* idle = idleBeforeFirstKey) {
        idleBeforeFirstKey = nullptr;
        serveWhileIdle(*idle, idlePrompt, idleTerminal);
        if (interruption()) return -1;
    }
    unsigned char bytes[4];
    size_t have = 0;
    size_t need = 1;
    while (have < need) {
        ssize_t n = ::read(fileno(stream), &bytes[have], 1);
        if (n < 0 && errno == EINTR && !interruption()) continue;
        if (n <= 0) return -1;
        if (have == 0) {
            const unsigned char b = bytes[0];
            need = b < 0xC0 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        }
        ++have;
    }
    if (need == 1) return bytes[0];
    int value = bytes[0] & (0x7F >> need);
    for (size_t i = 1; i < need; ++i) value = (value << 6) | (bytes[i] & 0x3F);
    return value;
}

// Offers the statement names that start with `text`.
static char* nextStatementName(const char* text, int state) {
    static size_t index;
    if (state == 0) index = 0;
    const std::vector<std::string>& names = statementNames();
    while (index < names.size()) {
        const std::string& name = names[index++];
        if (name.compare(0, std::strlen(text), text) == 0) return strdup(name.c_str());
    }
    return nullptr;
}

// Completes the first word of a line only, and never with file names.
static char** completeStatement(const char* text, int start, int) {
    rl_attempted_completion_over = 1;
    if (start != 0) return nullptr;
    return rl_completion_matches(text, nextStatementName);
}

Prompt::Prompt(const char* text, bool edit, IdleTask idle, HoldingSink* terminal)
    : text_(text), edit_(edit), idle_(std::move(idle)), terminal_(terminal) {
    if (!edit_) return;
    std::setlocale(LC_CTYPE, "");
    rl_catch_signals = 0;
    rl_getc_function = readCharacter;
    rl_attempted_completion_function = completeStatement;
    if (const char* home = std::getenv("HOME")) {
        historyFile_ = std::string(home) + "/.vesk-host_history";
        read_history(historyFile_.c_str());
    }
    stifle_history(kHistoryLines);
}

Prompt::~Prompt() {
    if (!historyFile_.empty()) write_history(historyFile_.c_str());
}

bool Prompt::read(std::string& line) {
    if (!edit_) {
        // A terminal in its line mode: input is ready once a line is complete.
        if (idle_) serveWhileIdle(idle_, nullptr, nullptr);
        return !interruption() && readPlain("", line);
    }
    idleBeforeFirstKey = idle_ ? &idle_ : nullptr;
    idlePrompt = text_.c_str();
    idleTerminal = terminal_;
    char* got = readline(text_.c_str());
    idleBeforeFirstKey = nullptr;
    if (!got) return false;
    line = got;
    std::free(got);
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    return true;
}

#else

// Serving while idle is not done here: a live router is served only while a
// statement runs.
Prompt::Prompt(const char* text, bool edit, IdleTask idle, HoldingSink* terminal)
    : text_(edit ? text : ""), edit_(edit), idle_(std::move(idle)), terminal_(terminal) {}

Prompt::~Prompt() = default;

bool Prompt::read(std::string& line) { return readPlain(text_, line); }

#endif
