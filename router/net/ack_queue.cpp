#include "ack_queue.h"

#include <utility>

bool AckQueue::push(std::string bytes, std::string label, int tag) {
    const size_t held = queue_.size() + (inFlight_ ? 1 : 0);
    if (heldBytes_ + bytes.size() > limits_.maxBytes || held >= limits_.maxMessages) return false;
    heldBytes_ += bytes.size();
    queue_.push_back(Entry{std::move(bytes), std::move(label), tag});
    return true;
}

void AckQueue::finishInFlight() {
    heldBytes_ -= inFlight_->bytes.size();
    inFlight_.reset();
    nakPending_ = false;
    sends_ = 0;
}

bool AckQueue::acked() {
    if (!inFlight_) return false;
    finishInFlight();
    return true;
}

bool AckQueue::naked() {
    if (!inFlight_) return false;
    nakPending_ = true;
    return true;
}

AckQueue::Due AckQueue::poll(Clock::time_point now) {
    Due due;
    if (inFlight_) {
        const bool timedOut = limits_.ackTimeout.count() > 0 && now >= sentAt_ + limits_.ackTimeout;
        if (!nakPending_ && !timedOut) return due;
        if (sends_ > limits_.maxResends) {
            ++givenUp_;
            due.gaveUp = true;
            due.label = std::move(inFlight_->label);
            finishInFlight();
            return due;
        }
        ++sends_;
        ++resends_;
        nakPending_ = false;
        sentAt_ = now;
        due.write = inFlight_->bytes;
        due.resent = true;
        due.label = inFlight_->label;
        return due;
    }
    if (queue_.empty()) return due;
    inFlight_ = std::move(queue_.front());
    queue_.pop_front();
    sends_ = 1;
    sentAt_ = now;
    due.write = inFlight_->bytes;
    due.label = inFlight_->label;
    return due;
}

std::optional<AckQueue::Clock::time_point> AckQueue::deadline() const {
    if (!inFlight_ || limits_.ackTimeout.count() <= 0) return std::nullopt;
    return sentAt_ + limits_.ackTimeout;
}

size_t AckQueue::clear() {
    const size_t dropped = queue_.size() + (inFlight_ ? 1 : 0);
    queue_.clear();
    inFlight_.reset();
    nakPending_ = false;
    sends_ = 0;
    heldBytes_ = 0;
    return dropped;
}
