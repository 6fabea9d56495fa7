#include "swp08_outbox.h"

#include <utility>

bool Swp08Outbox::push(swp08::Bytes frame) {
    if (queuedBytes_ + frame.size() > limits_.maxQueuedBytes) return false;
    queuedBytes_ += frame.size();
    queue_.push_back(std::move(frame));
    return true;
}

void Swp08Outbox::finishInFlight() {
    if (!inFlight_) return;
    queuedBytes_ -= inFlight_->size();
    inFlight_.reset();
    nakPending_ = false;
    sends_ = 0;
}

void Swp08Outbox::acked() { finishInFlight(); }

void Swp08Outbox::naked() {
    if (inFlight_) nakPending_ = true;
}

Swp08Outbox::Due Swp08Outbox::poll(Clock::time_point now) {
    Due due;
    if (inFlight_ && (nakPending_ || now >= sentAt_ + limits_.ackTimeout)) {
        if (sends_ > limits_.maxResends) {
            ++givenUp_;
            due.gaveUp = true;
            finishInFlight();
        } else {
            ++sends_;
            ++resends_;
            nakPending_ = false;
            sentAt_ = now;
            due.frame = *inFlight_;
            due.resent = true;
            return due;
        }
    }
    if (inFlight_ || queue_.empty()) return due;
    inFlight_ = std::move(queue_.front());
    queue_.pop_front();
    sends_ = 1;
    sentAt_ = now;
    due.frame = *inFlight_;
    return due;
}

std::optional<Swp08Outbox::Clock::time_point> Swp08Outbox::deadline() const {
    if (!inFlight_) return std::nullopt;
    return sentAt_ + limits_.ackTimeout;
}
