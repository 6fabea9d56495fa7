// The interactive prompt's line reader. On Linux it is libedit: line editing,
// history kept in ~/.vesk-host_history, completion with Tab (statement names
// as the first word, component names after "use"), Ctrl-L clears the screen, Ctrl-C drops a half-typed line (on an empty
// line it ends the session, as the signal would). On Windows, and where the
// transcript goes to a file or a pipe, it reads plain lines.
//
// While it waits for a line, and while a line is being typed, the prompt
// hands its time to an idle task in short slices, on both builds, so live
// routers and timers are served while a person thinks: libedit is fed one
// character at a time as they arrive; plain lines are read by a thread of
// their own (app/input_lines.h) that hands whole lines over and wakes the
// task. What the task emits through the prompt's HoldingSink is held during
// each slice and shown above the prompt, which is then drawn again with the
// line typed so far.
#ifndef VESK_HOST_APP_PROMPT_H
#define VESK_HOST_APP_PROMPT_H

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "output/sink.h"

class InputLines;

// Serves for up to `ms` milliseconds on the prompt's thread; it may return
// sooner when woken by the line reader.
using IdleTask = std::function<void(int ms)>;
// Makes a running IdleTask return soon; callable from any thread.
using WakeIdle = std::function<void()>;
// The component names Tab offers after "use", asked at each Tab.
using ComponentNames = std::function<std::vector<std::string>()>;

class Prompt {
public:
    // Loads the history (Linux). Without `edit` lines are read plain and
    // `text` is not shown. `idle` serves while a line is awaited; `wake`
    // ends a slice of it when a plain line arrived. `terminal` (not owned,
    // may be null) is the sink in front of the terminal's renderer, which
    // writes to std::cout: it is held while a slice runs.
    Prompt(const char* text, bool edit, IdleTask idle, WakeIdle wake, HoldingSink* terminal = nullptr);
    // Saves the history (Linux).
    ~Prompt();
    Prompt(const Prompt&) = delete;
    Prompt& operator=(const Prompt&) = delete;

    // Shows the prompt and reads one line into `line` (no line end; a line
    // over kMaxLineBytes comes cut just past it). False at the end of the
    // input, and when a signal interrupted the wait.
    bool read(std::string& line);
    // Where Tab finds component names (none until set; plain lines complete
    // nothing).
    void completeNames(ComponentNames names);

private:
    std::string text_;
    bool edit_;
    IdleTask idle_;
    HoldingSink* terminal_;
    std::string historyFile_;
    std::unique_ptr<InputLines> lines_;  // where lines are read plain
};

#endif  // VESK_HOST_APP_PROMPT_H
