// Standard input read by a thread of its own, so that the host's one thread
// never blocks on it: a pipe whose writer is slow, or the Windows console
// (whose handle cannot be waited on for whole lines). The thread only reads,
// keeps what it read and calls `arrived`; it never touches the host.
//
// Invariants: at most kReadAhead bytes wait untaken (past that the thread
// waits for take(), so a flood of input costs no memory); `arrived` is never
// called once the destructor returned. What the code cannot do: end a read in
// progress. A thread blocked in one stays so until the process ends, with
// the little state it needs kept alive by itself.
//
// Bytes are handed over as read: on Windows with the C runtime's text-mode
// translation of standard input ("\r\n" to "\n"), as std::cin reads it.
#ifndef VESK_HOST_OS_INPUT_READER_H
#define VESK_HOST_OS_INPUT_READER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

class InputReader {
public:
    static const size_t kReadAhead = 64 * 1024;

    // Starts the thread. `arrived` runs on it after each read that brought
    // bytes and once at the end; it must be callable from any thread
    // (EventLoop::wake is).
    explicit InputReader(std::function<void()> arrived);
    ~InputReader();
    InputReader(const InputReader&) = delete;
    InputReader& operator=(const InputReader&) = delete;

    // Appends what arrived since the last take to `into`. `ended` once the
    // input ended and all of it was taken; `error` is then the system's reason
    // when it ended by an error, else empty.
    void take(std::string& into, bool& ended, std::string& error);

    struct Shared;  // between the owner and the thread (one file per build)

private:
    std::shared_ptr<Shared> shared_;
};

#endif  // VESK_HOST_OS_INPUT_READER_H
