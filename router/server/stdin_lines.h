// Standard input, line by line, into an io_context: a terminal, a pipe and a
// file all work the same on Linux and Windows, which Asio's own stream types
// do not promise. A thread of its own (a Win32 thread on Windows, where this
// MinGW has no std::thread) blocks in the reads and posts each line to the
// io_context's thread.
#ifndef VESK_STDIN_LINES_H
#define VESK_STDIN_LINES_H

#include <asio.hpp>

#include <functional>
#include <memory>
#include <optional>
#include <string>

class StdinLines {
public:
    // Calls `onLine(line)` for each line (without its end, CR removed) and
    // `onLine(std::nullopt)` once at the end of input, always on the thread
    // that runs `io`.
    StdinLines(asio::io_context& io, std::function<void(std::optional<std::string>)> onLine);
    // Nothing is posted after this; the reading thread is left blocked in its
    // read and ends with the process.
    ~StdinLines();
    StdinLines(const StdinLines&) = delete;
    StdinLines& operator=(const StdinLines&) = delete;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

#endif  // VESK_STDIN_LINES_H
