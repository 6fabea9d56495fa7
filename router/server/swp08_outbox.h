// One SW-P-08 peer's outgoing messages: a queue with at most one frame in
// flight, re-sent on a NAK or when no ACK came in time, and given up after a
// number of re-sends. Pure logic (the caller owns the clock, the socket and
// the timer), so that it can be driven by a test without waiting.
//
// Invariants:
//   - at most one frame is in flight; the others wait in order;
//   - the frames queued (in flight included) never hold more than
//     Limits::maxQueuedBytes: push refuses beyond, and the caller drops the
//     peer, so a peer that never acknowledges holds bounded memory;
//   - a frame is sent at most 1 + Limits::maxResends times.
#ifndef VESK_ROUTER_SERVER_SWP08_OUTBOX_H
#define VESK_ROUTER_SERVER_SWP08_OUTBOX_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "swp08/swp08_frame.h"

class Swp08Outbox {
public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        std::chrono::milliseconds ackTimeout{1000};  // re-send after this without ACK
        int maxResends = 5;                          // then the frame is given up
        size_t maxQueuedBytes = 1024 * 1024;         // frames waiting, in flight included
    };

    // What poll() asks the caller to do now.
    struct Due {
        std::optional<swp08::Bytes> frame;  // write these bytes (a frame) now
        bool resent = false;                // `frame` is the one in flight, again
        bool gaveUp = false;                // the frame in flight was given up
    };

    explicit Swp08Outbox(Limits limits) : limits_(limits) {}
    Swp08Outbox() : Swp08Outbox(Limits()) {}

    // Queues `frame` (whole frame bytes, as encodeFrame gives them). False,
    // and nothing queued, when it would pass maxQueuedBytes.
    bool push(swp08::Bytes frame);
    // The peer's ACK: the frame in flight is done. Nothing when none is.
    void acked();
    // The peer's NAK: the frame in flight goes again at the next poll
    // (counted as a re-send). Nothing when none is in flight.
    void naked();
    // Decides what to write at `now`: the frame in flight again (after a NAK
    // or its timeout; or given up once re-sent maxResends times, then the
    // next one), or the next queued frame when none is in flight. Call it
    // after every push, acked, naked and at deadline().
    Due poll(Clock::time_point now);
    // When the frame in flight times out; null when none is in flight.
    std::optional<Clock::time_point> deadline() const;

    size_t queuedBytes() const { return queuedBytes_; }
    size_t queuedFrames() const { return queue_.size() + (inFlight_ ? 1 : 0); }
    uint64_t resends() const { return resends_; }
    uint64_t givenUp() const { return givenUp_; }

private:
    void finishInFlight();

    const Limits limits_;
    std::deque<swp08::Bytes> queue_;   // not yet sent, in order
    std::optional<swp08::Bytes> inFlight_;
    Clock::time_point sentAt_{};
    int sends_ = 0;                    // of the frame in flight (1 + its re-sends)
    bool nakPending_ = false;
    size_t queuedBytes_ = 0;           // queue_ and inFlight_
    uint64_t resends_ = 0;
    uint64_t givenUp_ = 0;
};

#endif  // VESK_ROUTER_SERVER_SWP08_OUTBOX_H
