#include "loop/event_loop.h"

#include <algorithm>

#include "os/interrupt.h"

using Clock = std::chrono::steady_clock;

// Wakes at least this often, so that Ctrl-C or SIGTERM ends a long wait soon
// even when nothing arrives.
static const std::chrono::milliseconds kLongestSleep(50);

EventLoop::EventLoop() : work_(io_.get_executor()) {}

EventLoop::~EventLoop() {
    work_.reset();
    // Handlers still queued hold what they need alive; let them end.
    io_.poll();
}

void EventLoop::pump() {
    // Bounded: a router that sends without a pause keeps handlers ready all
    // the time, and the owner must still settle between them.
    for (int ran = 0; ran < kHandlersPerSettle && io_.poll_one(); ++ran) {
    }
    if (owner_) owner_->settle();
}

bool EventLoop::serve(int64_t ms, const std::function<bool()>& done) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    woken_ = false;
    while (true) {
        pump();
        if (done && done()) return true;
        const Clock::time_point now = Clock::now();
        if (now >= deadline || interruption() || woken_) return false;
        Clock::time_point wake = std::min(deadline, now + kLongestSleep);
        if (owner_)
            if (std::optional<Clock::time_point> due = owner_->nextDue()) wake = std::min(wake, std::max(now, *due));
        io_.run_one_until(wake);
    }
}

void EventLoop::wake() {
    asio::post(io_, [this] { woken_ = true; });
}
