// Standard input's lines as they arrive, for the host's one thread: a thread
// of its own reads (os/input_reader.h) and wakes the event loop at each
// arrival, so the loop goes on serving routers, timers and the web view while
// a line is awaited. The prompt reads so where it does not edit lines, and a
// script on a pipe is read so.
//
// A line ends at "\n" (a "\r" before it is dropped) or at the end of the
// input. A line with more than `limit` + 1 bytes before its end ("\r"
// allowed) is reported once as overlong, with its first `limit` + 1 bytes,
// and the rest of it is skipped unkept, so memory stays bounded by the
// reader's read-ahead and one line.
#ifndef VESK_HOST_APP_INPUT_LINES_H
#define VESK_HOST_APP_INPUT_LINES_H

#include <cstddef>
#include <functional>
#include <string>

#include "os/input_reader.h"

class InputLines {
public:
    enum class Next {
        line,      // `line` holds it
        overlong,  // `line` holds its first limit + 1 bytes
        none,      // no whole line yet
        ended,     // the input ended, every line given
        failed,    // the input ended by an error (error()), every line given
    };

    // Starts reading. `wake` is called from the reader's thread at each
    // arrival (EventLoop::wake).
    InputLines(std::function<void()> wake, size_t limit) : reader_(std::move(wake)), limit_(limit) {}

    // The next line, without waiting.
    Next next(std::string& line);
    const std::string& error() const { return error_; }

private:
    // Takes what the reader has; false when nothing came and it goes on.
    bool takeMore();

    InputReader reader_;
    const size_t limit_;
    std::string buffer_;     // read, not yet given as lines
    size_t scanned_ = 0;     // of buffer_, known to hold no "\n"
    bool skipping_ = false;  // the rest of an overlong line
    bool ended_ = false;
    std::string error_;
};

#endif  // VESK_HOST_APP_INPUT_LINES_H
