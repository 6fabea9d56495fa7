// One peer's outgoing messages under an acknowledge rule: at most one in
// flight; the next only once the peer acknowledged it (SW-P-08's DLE ACK, or
// a reply that answers a request); the one in flight written again after a
// negative acknowledge (DLE NAK) or when no acknowledge came in time, and
// given up after a number of re-sends. vesk-router queues its SW-P-08
// messages to each client here; a client queues its requests to a router
// the same way.
//
// Pure logic: no clock, socket or timer of its own. The caller owns them,
// writes what poll() says, calls poll() after every push, acked() and
// naked(), and again at deadline(); a test drives it step by step.
//
// Contract:
//   - at most one message is in flight; the others wait in the order pushed;
//   - a message is written at most 1 + Limits::maxResends times: once it has
//     gone that often and is due again, poll() gives it up (`gaveUp`, with
//     its label, nothing written) and the next goes at the next poll();
//   - the messages held (in flight included) never hold more than
//     Limits::maxBytes bytes nor number more than Limits::maxMessages:
//     push() refuses beyond and queues nothing, so a peer that never
//     acknowledges holds bounded memory (the caller decides what follows:
//     vesk-router drops that client);
//   - Limits::ackTimeout zero: no timeout; a message waits for its
//     acknowledge as long as it is held (deadline() is then null);
//   - acked() and naked() with nothing in flight change nothing and say so
//     (false): the caller may note a stray acknowledge;
//   - clear() drops everything, the message in flight included (a
//     connection that ended).
#ifndef VESK_ROUTER_NET_ACK_QUEUE_H
#define VESK_ROUTER_NET_ACK_QUEUE_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <optional>
#include <string>

class AckQueue {
public:
    using Clock = std::chrono::steady_clock;

    struct Limits {
        std::chrono::milliseconds ackTimeout{1000};  // written again after this without an acknowledge
        int maxResends = 5;                          // then the message is given up
        size_t maxBytes = 1024 * 1024;               // held, the one in flight included
        size_t maxMessages = std::numeric_limits<size_t>::max();
    };

    // What poll() asks the caller to do now. At most one of `write` and
    // `gaveUp` is set; neither: nothing is due.
    struct Due {
        std::optional<std::string> write;  // write these bytes now
        bool resent = false;               // `write` is the message in flight, again
        bool gaveUp = false;               // the message in flight was given up
        std::string label;                 // the message written or given up
    };

    explicit AckQueue(Limits limits) : limits_(limits) {}
    AckQueue() : AckQueue(Limits()) {}

    // Queues `bytes` (one whole message as it goes on the wire), named
    // `label` for notes, with the caller's `tag` (what will answer it). False,
    // and nothing queued, beyond the limits.
    bool push(std::string bytes, std::string label, int tag = 0);
    // The peer acknowledged the message in flight: it is done. False when
    // none was in flight.
    bool acked();
    // The peer refused the message in flight: it goes again at the next
    // poll() (a re-send). False when none was in flight.
    bool naked();
    // What is due at `now`: the message in flight again (after naked() or
    // its timeout), given up (after its re-sends), or the next message when
    // none is in flight.
    Due poll(Clock::time_point now);
    // When the message in flight times out; null when none is in flight or
    // there is no timeout.
    std::optional<Clock::time_point> deadline() const;
    // Drops every message held; how many.
    size_t clear();

    bool inFlight() const { return inFlight_.has_value(); }
    // The label and tag of the message in flight; null when none is.
    const std::string* inFlightLabel() const { return inFlight_ ? &inFlight_->label : nullptr; }
    std::optional<int> inFlightTag() const { return inFlight_ ? std::optional<int>(inFlight_->tag) : std::nullopt; }
    // Messages not yet written (the one in flight not counted).
    size_t waiting() const { return queue_.size(); }
    size_t heldBytes() const { return heldBytes_; }
    uint64_t resends() const { return resends_; }
    uint64_t givenUp() const { return givenUp_; }
    const Limits& limits() const { return limits_; }

private:
    struct Entry {
        std::string bytes;
        std::string label;
        int tag = 0;
    };
    void finishInFlight();

    const Limits limits_;
    std::deque<Entry> queue_;  // not yet written, in order
    std::optional<Entry> inFlight_;
    Clock::time_point sentAt_{};
    int sends_ = 0;  // of the message in flight (1 + its re-sends)
    bool nakPending_ = false;
    size_t heldBytes_ = 0;  // queue_ and inFlight_
    uint64_t resends_ = 0;
    uint64_t givenUp_ = 0;
};

#endif  // VESK_ROUTER_NET_ACK_QUEUE_H
