// Standard input, line by line, into an io_context: a terminal, a pipe and a
// file all work the same on Linux and Windows, which Asio's own stream types
// do not promise. A thread of its own (a Win32 thread on Windows, where this
// MinGW has neither std::thread nor std::mutex) blocks in the reads and posts
// each line to the io_context's thread.
//
// On POSIX, while standard input is a terminal this process is in the
// background of (see stdinInForeground), nothing is read: the thread checks
// again every 250 ms, so `vesk-router &` keeps serving and `fg` gives it its
// commands back. Call prepareStdio() first (SIGTTIN ignored), so a read that
// races a move to the background fails instead of stopping the process.
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
    // that runs `io`, which must outlive this object.
    StdinLines(asio::io_context& io, std::function<void(std::optional<std::string>)> onLine);
    // Nothing is posted after this returns; the reading thread is left blocked
    // in its read and ends with the process.
    ~StdinLines();
    StdinLines(const StdinLines&) = delete;
    StdinLines& operator=(const StdinLines&) = delete;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

#endif  // VESK_STDIN_LINES_H
