// The interactive prompt's line reader. On Linux it is libedit: line editing,
// history kept in ~/.vesk-host_history, completion of statement names with
// Tab, Ctrl-L clears the screen. On Windows it reads plain lines.
#ifndef VESK_HOST_PROMPT_H
#define VESK_HOST_PROMPT_H

#include <string>

class Prompt {
public:
    // Loads the history (Linux). Without `edit` (the transcript goes to a
    // file or a pipe) lines are read plain and `text` is not shown.
    Prompt(const char* text, bool edit);
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
    std::string historyFile_;
};

#endif  // VESK_HOST_PROMPT_H
