#include "os/input_reader.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

struct InputReader::Shared {
    std::mutex lock;
    std::condition_variable room;  // the owner took, or it left
    std::string pending;
    bool ended = false;
    std::string error;
    std::function<void()> arrived;
    bool left = false;  // the owner
};

// Hands `bytes` (none: the end) over; false once the owner left.
static bool handOver(InputReader::Shared& s, const char* bytes, ssize_t n) {
    std::lock_guard<std::mutex> hold(s.lock);
    if (s.left) return false;
    if (n > 0) s.pending.append(bytes, static_cast<size_t>(n));
    if (n <= 0) s.ended = true;
    if (n < 0) s.error = std::strerror(errno);
    if (s.arrived) s.arrived();  // under the lock: the owner cannot leave meanwhile
    return n > 0;
}

static void readStandardInput(std::shared_ptr<InputReader::Shared> shared) {
    // Signals go to the host's thread, whose waits they end.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    InputReader::Shared& s = *shared;
    char buffer[8192];
    while (true) {
        {
            std::unique_lock<std::mutex> hold(s.lock);
            s.room.wait(hold, [&s] { return s.left || s.pending.size() < InputReader::kReadAhead; });
            if (s.left) return;
        }
        ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (!handOver(s, buffer, n)) return;
    }
}

InputReader::InputReader(std::function<void()> arrived) : shared_(std::make_shared<Shared>()) {
    shared_->arrived = std::move(arrived);
    try {
        std::thread(readStandardInput, shared_).detach();
    } catch (const std::system_error& e) {
        shared_->ended = true;
        shared_->error = e.what();
    }
}

InputReader::~InputReader() {
    std::lock_guard<std::mutex> hold(shared_->lock);
    shared_->left = true;
    shared_->room.notify_all();
}

void InputReader::take(std::string& into, bool& ended, std::string& error) {
    std::lock_guard<std::mutex> hold(shared_->lock);
    into += shared_->pending;
    shared_->pending.clear();
    ended = shared_->ended;
    error = shared_->error;
    shared_->room.notify_all();
}
