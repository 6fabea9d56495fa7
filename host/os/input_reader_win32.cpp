#include "os/input_reader.h"

#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstring>
#include <utility>

// This MinGW has no std::thread or std::mutex: a thread, a critical section
// and an event of the system's.
struct InputReader::Shared {
    CRITICAL_SECTION lock;
    HANDLE room = nullptr;  // auto-reset: the owner took, or it left
    std::string pending;
    bool ended = false;
    std::string error;
    std::function<void()> arrived;
    bool left = false;  // the owner

    Shared() {
        InitializeCriticalSection(&lock);
        room = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    }
    ~Shared() {
        if (room) CloseHandle(room);
        DeleteCriticalSection(&lock);
    }
};

namespace {
struct Held {
    explicit Held(CRITICAL_SECTION& section) : s(section) { EnterCriticalSection(&s); }
    ~Held() { LeaveCriticalSection(&s); }
    CRITICAL_SECTION& s;
};
}  // namespace

// Hands `bytes` (none: the end) over; false once the owner left.
static bool handOver(InputReader::Shared& s, const char* bytes, int n) {
    Held hold(s.lock);
    if (s.left) return false;
    if (n > 0) s.pending.append(bytes, static_cast<size_t>(n));
    if (n <= 0) s.ended = true;
    if (n < 0) s.error = std::strerror(errno);
    if (s.arrived) s.arrived();  // under the lock: the owner cannot leave meanwhile
    return n > 0;
}

// Waits until fewer than kReadAhead bytes wait untaken; false once the owner left.
static bool waitForRoom(InputReader::Shared& s) {
    while (true) {
        {
            Held hold(s.lock);
            if (s.left) return false;
            if (s.pending.size() < InputReader::kReadAhead) return true;
        }
        WaitForSingleObject(s.room, INFINITE);
    }
}

static DWORD WINAPI readStandardInput(void* parameter) {
    std::shared_ptr<InputReader::Shared>* given = static_cast<std::shared_ptr<InputReader::Shared>*>(parameter);
    std::shared_ptr<InputReader::Shared> shared = std::move(*given);
    delete given;
    char buffer[8192];
    while (waitForRoom(*shared)) {
        // The C runtime's read: text mode as std::cin has it, console included.
        const int n = _read(0, buffer, sizeof buffer);
        if (!handOver(*shared, buffer, n)) break;
    }
    return 0;
}

InputReader::InputReader(std::function<void()> arrived) : shared_(std::make_shared<Shared>()) {
    shared_->arrived = std::move(arrived);
    auto* given = new std::shared_ptr<Shared>(shared_);
    HANDLE thread = CreateThread(nullptr, 0, &readStandardInput, given, 0, nullptr);
    if (thread) {
        CloseHandle(thread);
        return;
    }
    delete given;
    shared_->ended = true;
    shared_->error = "cannot start a thread to read standard input";
}

InputReader::~InputReader() {
    Held hold(shared_->lock);
    shared_->left = true;
    SetEvent(shared_->room);
}

void InputReader::take(std::string& into, bool& ended, std::string& error) {
    Held hold(shared_->lock);
    into += shared_->pending;
    shared_->pending.clear();
    ended = shared_->ended;
    error = shared_->error;
    SetEvent(shared_->room);
}
