// The host's one event loop: the only io_context, there for as long as the
// host runs, whether or not a router is live. Network handlers run inside it
// and only queue what they learn; the loop's owner takes that in settle(),
// after the handlers have returned, so the component is called on this
// thread only and never from inside a handler. The loop never runs inside a
// call from the component.
//
// Scripts without a live router never serve it in wall-clock time: their
// clock is virtual, and only pump() runs what is ready.
#ifndef VESK_HOST_LOOP_EVENT_LOOP_H
#define VESK_HOST_LOOP_EVENT_LOOP_H

#include <asio.hpp>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

class EventLoop {
public:
    // What the loop serves besides its handlers.
    class Owner {
    public:
        virtual ~Owner() = default;
        // Takes what the handlers queued and fires the timers that are due.
        virtual void settle() = 0;
        // When the next timer falls due; null when none runs.
        virtual std::optional<std::chrono::steady_clock::time_point> nextDue() const = 0;
    };

    EventLoop();
    ~EventLoop();
    EventLoop(const EventLoop&) = delete;
    EventLoop& operator=(const EventLoop&) = delete;

    asio::io_context& io() { return io_; }
    // `owner` (not owned) is served from now on; null: nobody.
    void setOwner(Owner* owner) { owner_ = owner; }

    // Handlers pump() runs at most before it settles the owner.
    static constexpr int kHandlersPerSettle = 64;

    // Runs what is ready without waiting (at most kHandlersPerSettle
    // handlers: a flood from a router cannot keep the owner from settling),
    // then settles the owner.
    void pump();
    // Serves handlers and the owner for `ms` of wall-clock time, ending
    // early once `done` holds (checked after each settle) or a signal came.
    // True when `done` held.
    bool serve(int64_t ms, const std::function<bool()>& done = {});
    // Thread-safe: makes a running serve() return soon (a line arrived).
    void wake();
    bool woken() const { return woken_; }

private:
    asio::io_context io_;
    asio::executor_work_guard<asio::io_context::executor_type> work_;
    Owner* owner_ = nullptr;
    bool woken_ = false;
};

#endif  // VESK_HOST_LOOP_EVENT_LOOP_H
