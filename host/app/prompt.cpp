#include "app/prompt.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <utility>

#include "os/interrupt.h"
#include "script/scenario.h"

#if defined(_WIN32)
#include <deque>
#include <windows.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

#if defined(VESK_HOST_LIBEDIT)
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

#if defined(_WIN32)

// The console is read by a thread of its own (a console handle cannot be
// waited on for whole lines); it only queues lines and wakes the idle task.
struct Prompt::Reader {
    CRITICAL_SECTION lock;
    std::deque<std::string> lines;
    bool ended = false;
    WakeIdle wake;
    HANDLE thread = nullptr;

    static DWORD WINAPI run(void* self) {
        Reader& r = *static_cast<Reader*>(self);
        std::string line;
        bool more = true;
        while (more) {
            more = static_cast<bool>(std::getline(std::cin, line));
            if (more && !line.empty() && line.back() == '\r') line.pop_back();
            EnterCriticalSection(&r.lock);
            if (more) r.lines.push_back(line);
            r.ended = !more;
            LeaveCriticalSection(&r.lock);
            if (r.wake) r.wake();
        }
        return 0;
    }
    // A line, or null: none yet (`ended` says whether one may still come).
    bool take(std::string& line, bool& over) {
        EnterCriticalSection(&lock);
        const bool got = !lines.empty();
        if (got) {
            line = lines.front();
            lines.pop_front();
        }
        over = !got && ended;
        LeaveCriticalSection(&lock);
        return got;
    }
};

Prompt::Prompt(const char* text, bool edit, IdleTask idle, WakeIdle wake, HoldingSink* terminal)
    : text_(edit ? text : ""), edit_(edit), idle_(std::move(idle)), wake_(std::move(wake)), terminal_(terminal) {
    if (!idle_) return;
    reader_.reset(new Reader());
    InitializeCriticalSection(&reader_->lock);
    reader_->wake = wake_;
    reader_->thread = CreateThread(nullptr, 0, &Reader::run, reader_.get(), 0, nullptr);
}

// The reader thread may be blocked in a read that nothing can end; the
// process ends with it still there, so its state is left alive.
Prompt::~Prompt() { reader_.release(); }

// The Windows console reads plain lines: nothing to complete.
void Prompt::completeNames(ComponentNames) {}

bool Prompt::read(std::string& line) {
    if (!text_.empty()) std::cout << text_ << std::flush;
    if (!reader_ || !reader_->thread) {
        if (!std::getline(std::cin, line) || interruption()) return false;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
    }
    bool over = false;
    while (!interruption()) {
        if (reader_->take(line, over)) return true;
        if (over) return false;
        if (idleSlice(idle_, terminal_, "\r")) std::cout << text_ << std::flush;
    }
    return false;
}

#else

// True when standard input has something to read, or has ended or failed.
static bool inputReady() {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    return ::poll(&input, 1, 0) > 0;
}

// Plain lines: a terminal in its line mode is ready once a line is complete,
// so the idle task is served while it is typed.
static bool readPlain(const IdleTask& idle, HoldingSink* terminal, std::string& line) {
    while (idle && !interruption() && !inputReady()) idleSlice(idle, terminal, "");
    if (interruption() || !std::getline(std::cin, line)) return false;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

#if defined(VESK_HOST_LIBEDIT)

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

// What Tab offers (libedit calls back with no context of ours): the
// words of the completion under way, and where component names come from.
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

// The line libedit's callback interface handed over (it calls back with no
// context of ours): set once a line ended, null text at the end of input.
static bool lineDone = false;
static char* lineText = nullptr;

static void onLine(char* text) {
    lineDone = true;
    lineText = text;
}

struct Prompt::Reader {};

Prompt::Prompt(const char* text, bool edit, IdleTask idle, WakeIdle wake, HoldingSink* terminal)
    : text_(text), edit_(edit), idle_(std::move(idle)), wake_(std::move(wake)), terminal_(terminal) {
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

// Feeds libedit the characters typed, serving the idle task between them,
// until a line ends. What a slice printed goes above the prompt, and the
// prompt is drawn again with what was typed so far.
static bool readEdited(const std::string& prompt, const IdleTask& idle, HoldingSink* terminal, std::string& line) {
    lineDone = false;
    lineText = nullptr;
    rl_callback_handler_install(prompt.c_str(), onLine);
    while (!lineDone && !interruption()) {
        if (inputReady() || !idle) {
            rl_callback_read_char();
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

bool Prompt::read(std::string& line) {
    if (!edit_) return readPlain(idle_, terminal_, line);
    return readEdited(text_, idle_, terminal_, line);
}

void Prompt::completeNames(ComponentNames names) { componentNames = std::move(names); }

#else

struct Prompt::Reader {};

Prompt::Prompt(const char* text, bool edit, IdleTask idle, WakeIdle wake, HoldingSink* terminal)
    : text_(edit ? text : ""), edit_(edit), idle_(std::move(idle)), wake_(std::move(wake)), terminal_(terminal) {}

Prompt::~Prompt() = default;

void Prompt::completeNames(ComponentNames) {}

bool Prompt::read(std::string& line) {
    if (!text_.empty()) std::cout << text_ << std::flush;
    return readPlain(idle_, terminal_, line);
}

#endif
#endif
