#include "stdin_lines.h"

#include <iostream>
#include <utility>

#include "stdio_setup.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <mutex>
#include <thread>
#endif

namespace {

// A plain lock: std::mutex where the library has one, a slim reader/writer
// lock on Windows (this MinGW's win32 thread model has no std::mutex).
class Lock {
public:
#ifdef _WIN32
    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
#else
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    std::mutex mutex_;
#endif
};

class Hold {
public:
    explicit Hold(Lock& lock) : lock_(lock) { lock_.lock(); }
    ~Hold() { lock_.unlock(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    Lock& lock_;
};

}  // namespace

// Owned by both sides; `io` is null once the owner has gone, and is only read
// or changed under `lock`, so no post reaches an io_context being destroyed.
struct StdinLines::Shared {
    Lock lock;
    asio::io_context* io = nullptr;
    std::function<void(std::optional<std::string>)> onLine;
};

static void post(const std::shared_ptr<StdinLines::Shared>& shared, std::optional<std::string> line) {
    Hold hold(shared->lock);
    if (!shared->io) return;
    asio::post(*shared->io, [shared, line = std::move(line)]() {
        // The owner may have gone between the post and now (same thread).
        if (shared->io) shared->onLine(line);
    });
}

static void pause250ms() {
#ifdef _WIN32
    Sleep(250);
#else
    usleep(250 * 1000);
#endif
}

static void readAll(const std::shared_ptr<StdinLines::Shared>& shared) {
    std::string line;
    while (true) {
        if (!stdinInForeground()) {
            pause250ms();
            continue;
        }
        if (!std::getline(std::cin, line)) {
            // A read from the background fails (SIGTTIN is ignored): wait.
            if (stdinInForeground()) break;
            std::cin.clear();
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        post(shared, line);
    }
    post(shared, std::nullopt);
}

#ifdef _WIN32
static DWORD WINAPI threadMain(void* parameter) {
    std::unique_ptr<std::shared_ptr<StdinLines::Shared>> shared(static_cast<std::shared_ptr<StdinLines::Shared>*>(parameter));
    readAll(*shared);
    return 0;
}
#endif

StdinLines::StdinLines(asio::io_context& io, std::function<void(std::optional<std::string>)> onLine)
    : shared_(std::make_shared<Shared>()) {
    shared_->io = &io;
    shared_->onLine = std::move(onLine);
    // Reading must not flush std::cout from this thread while the io_context's
    // thread writes to it.
    std::cin.tie(nullptr);
#ifdef _WIN32
    auto* parameter = new std::shared_ptr<Shared>(shared_);
    HANDLE thread = CreateThread(nullptr, 0, threadMain, parameter, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        delete parameter;
#else
    std::thread([shared = shared_]() { readAll(shared); }).detach();
#endif
}

StdinLines::~StdinLines() {
    Hold hold(shared_->lock);
    shared_->io = nullptr;
}
