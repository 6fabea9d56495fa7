#include "app/prompt.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>

#include "app/input_lines.h"
#include "os/interrupt.h"
#include "os/os.h"
#include "script/scenario.h"

#if defined(VESK_HOST_LIBEDIT)
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <iterator>
#include <sstream>

#include <editline/readline.h>
#endif

// How long one idle slice serves before standard input is looked at again:
// the delay a keystroke may see.
static const int kIdleSliceMs = 20;

// Runs one idle slice with the terminal's events held. When it emitted
// anything, `clear` is written, then the events; true then.
static bool idleSlice(const IdleTask& idle, HoldingSink* terminal, const char* clear) {
    if (!terminal) {
        idle(kIdleSliceMs);
        return false;
    }
    terminal->hold();
    idle(kIdleSliceMs);
    const bool emitted = terminal->held() > 0;
    if (emitted) std::cout << clear;
    terminal->release();  // its renderer writes to std::cout
    return emitted;
}

// Plain lines, as the reader's thread hands them over, the idle task served
// until one is there; `text` (may be empty) is the prompt, drawn again after
// what a slice printed.
static bool readPlain(InputLines& lines, const std::string& text, const IdleTask& idle, HoldingSink* terminal,
                      std::string& line) {
    if (!text.empty()) std::cout << text << std::flush;
    while (!interruption()) {
        switch (lines.next(line)) {
            case InputLines::Next::line:
            case InputLines::Next::overlong:  // too long still: runLine says so
                return true;
            case InputLines::Next::ended:
            case InputLines::Next::failed:
                return false;
            case InputLines::Next::none:
                break;
        }
        if (idleSlice(idle, terminal, text.empty() ? "" : "\r") && !text.empty()) std::cout << text << std::flush;
    }
    return false;
}

#if defined(VESK_HOST_LIBEDIT)

static const bool kLineEditing = true;
static const int kHistoryLines = 1000;

// Reads one character, UTF-8 decoded, for libedit (which takes the value as
// the character); -1 at the end, on an error, and when a signal came.
static int readCharacter(FILE* stream) {
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

// What Tab offers (libedit calls back with no context of ours): the words
// of the completion under way, and where component names come from.
static std::vector<std::string> offered;
static ComponentNames componentNames;

// Offers the words of `offered` that start with `text`.
static char* nextOffered(const char* text, int state) {
    static size_t index;
    if (state == 0) index = 0;
    while (index < offered.size()) {
        const std::string& word = offered[index++];
        if (word.compare(0, std::strlen(text), text) == 0) return strdup(word.c_str());
    }
    return nullptr;
}

// Completes the first word of a line with a statement name, the word after
// "use" with a component name, and never with file names.
static char** completeStatement(const char* text, int start, int) {
    rl_attempted_completion_over = 1;
    std::istringstream before(std::string(rl_line_buffer, static_cast<size_t>(start)));
    std::vector<std::string> words{std::istream_iterator<std::string>(before), std::istream_iterator<std::string>()};
    if (words.empty())
        offered = statementNames();
    else if (words.size() == 1 && words[0] == "use" && componentNames)
        offered = componentNames();
    else
        return nullptr;
    return rl_completion_matches(text, nextOffered);
}

static void setComponentNames(ComponentNames names) { componentNames = std::move(names); }

// The line libedit's callback interface handed over (it calls back with no
// context of ours): set once a line ended, null text at the end of input.
static bool lineDone = false;
static char* lineText = nullptr;

static void onLine(char* text) {
    lineDone = true;
    lineText = text;
}

// Loads the history and sets libedit up; once per process.
static std::string startEditing() {
    std::setlocale(LC_CTYPE, "");
    rl_catch_signals = 0;
    rl_getc_function = readCharacter;
    rl_attempted_completion_function = completeStatement;
    std::string historyFile;
    if (const char* home = std::getenv("HOME")) {
        historyFile = std::string(home) + "/.vesk-host_history";
        read_history(historyFile.c_str());
    }
    stifle_history(kHistoryLines);
    return historyFile;
}

static void saveHistory(const std::string& file) {
    if (!file.empty()) write_history(file.c_str());
}

// Ctrl-C over a half-typed line: the line is dropped, as a shell drops it,
// and the prompt starts again on a line of its own.
static void dropLine(const std::string& prompt) {
    rl_callback_handler_remove();
    std::cout << "^C\n" << std::flush;
    rl_callback_handler_install(prompt.c_str(), onLine);  // a fresh, empty line
}

// Feeds libedit the characters typed, serving the idle task between them,
// until a line ends. What a slice printed goes above the prompt, and the
// prompt is drawn again with what was typed so far.
static bool readEdited(const std::string& prompt, const IdleTask& idle, HoldingSink* terminal, std::string& line) {
    lineDone = false;
    lineText = nullptr;
    rl_callback_handler_install(prompt.c_str(), onLine);
    // libedit sets rl_end after each key it reads, and keeps it from the
    // line before until then.
    bool typed = false;
    while (!lineDone) {
        if (interruption()) {
            if (!typed || rl_end == 0 || !takeInterruption(SIGINT)) break;
            dropLine(prompt);
            typed = false;
            continue;
        }
        if (stdinHasInput()) {
            rl_callback_read_char();
            typed = true;
            continue;
        }
        if (!idleSlice(idle, terminal, "\r\x1b[K")) continue;
        std::cout << std::flush;
        rl_forced_update_display();
    }
    rl_callback_handler_remove();
    if (!lineDone || !lineText) return false;
    line = lineText;
    std::free(lineText);
    if (line.find_first_not_of(" \t") != std::string::npos) add_history(line.c_str());
    return true;
}

#else

static const bool kLineEditing = false;
static std::string startEditing() { return ""; }
static void saveHistory(const std::string&) {}
static bool readEdited(const std::string&, const IdleTask&, HoldingSink*, std::string&) { return false; }
static void setComponentNames(ComponentNames) {}

#endif

Prompt::Prompt(const char* text, bool edit, IdleTask idle, WakeIdle wake, HoldingSink* terminal)
    : text_(text), edit_(edit && kLineEditing), idle_(std::move(idle)), terminal_(terminal) {
    if (edit_)
        historyFile_ = startEditing();
    else
        lines_ = std::make_unique<InputLines>(std::move(wake), kMaxLineBytes);
    if (!edit) text_.clear();
}

Prompt::~Prompt() { saveHistory(historyFile_); }

bool Prompt::read(std::string& line) {
    if (edit_) return readEdited(text_, idle_, terminal_, line);
    return readPlain(*lines_, text_, idle_, terminal_, line);
}

void Prompt::completeNames(ComponentNames names) {
    if (edit_) setComponentNames(std::move(names));
}
