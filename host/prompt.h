// The interactive prompt's line reader. On Linux it is libedit: line editing,
// history kept in ~/.vesk-host_history, completion of statement names with
// Tab, Ctrl-L clears the screen. On Windows it reads plain lines.
//
// While a line is still empty (Linux: before its first keystroke; plain
// lines: before the line is complete) the prompt hands its time to an idle
// task in short slices, so live routers are followed while nobody types.
// What the task emits through the prompt's HoldingSink is held during each
// slice and shown above the prompt, which is then redrawn.
#ifndef VESK_HOST_PROMPT_H
#define VESK_HOST_PROMPT_H

#include <functional>
#include <string>

#include "output/sink.h"

// Serves for up to `ms` milliseconds, on the prompt's thread; false at once,
// having done nothing, when there is nothing to serve (the prompt then waits
// for the line as it would without a task).
using IdleTask = std::function<bool(int ms)>;

class Prompt {
public:
    // Loads the history (Linux). Without `edit` (the transcript goes to a
    // file or a pipe) lines are read plain and `text` is not shown. `idle`
    // may be empty; the Windows prompt never runs it. `terminal` (not owned,
    // may be null) is the sink in front of the terminal's renderer, which
    // writes to std::cout: the prompt holds it while a slice runs. Without it
    // a slice's output is not moved above the prompt.
    Prompt(const char* text, bool edit, IdleTask idle = {}, HoldingSink* terminal = nullptr);
    // Saves the history (Linux).
    ~Prompt();
    Prompt(const Prompt&) = delete;
    Prompt& operator=(const Prompt&) = delete;

    // Shows the prompt and reads one line into `line` (no line end). False at
    // the end of the input, and when a signal interrupted the wait.
    bool read(std::string& line);

private:
    std::string text_;
    bool edit_;
    IdleTask idle_;
    HoldingSink* terminal_;
    std::string historyFile_;
};

#endif  // VESK_HOST_PROMPT_H
