// Where host events go: the only way they leave the host core. A renderer is a
// sink; the sinks here pass events on to others.
//
// Sinks are called on the host's thread, one event at a time, and are not
// thread-safe. An event is valid only during emit(): a sink that keeps one
// keeps a copy (HostState's panels point into the emulator; copy them too).
#ifndef VESK_HOST_OUTPUT_SINK_H
#define VESK_HOST_OUTPUT_SINK_H

#include <cstddef>
#include <deque>
#include <vector>

#include "output/host_event.h"

class Sink {
public:
    virtual ~Sink() = default;
    // Takes one event. Sinks report no failure: a stream that failed stays
    // failed, as std::ostream does.
    virtual void emit(const HostEvent& event) = 0;
};

// Hands each event to several sinks, in the order they were added (the
// terminal first, then a web view, ...).
class FanOutSink : public Sink {
public:
    // `sink` is not owned and must outlive this fan-out.
    void add(Sink& sink);
    void emit(const HostEvent& event) override;

private:
    std::vector<Sink*> sinks_;
};

// Passes events on to `next`, or keeps them while held: the prompt holds the
// terminal's events while a slice of idle serving runs, then clears its own
// line, releases them and draws itself again below them.
class HoldingSink : public Sink {
public:
    // `next` is not owned and must outlive this sink.
    explicit HoldingSink(Sink& next);
    // Releases what is still held.
    ~HoldingSink() override;
    HoldingSink(const HoldingSink&) = delete;
    HoldingSink& operator=(const HoldingSink&) = delete;

    void emit(const HostEvent& event) override;
    // From now on events are kept instead of passed on: copies, with the
    // panels of a state event copied too (the emulator may close them).
    void hold();
    // How many events are kept.
    size_t held() const { return held_.size(); }
    // Passes the kept events on to `next`, in order, and stops holding.
    void release();

private:
    Sink& next_;
    bool holding_ = false;
    std::vector<HostEvent> held_;
    std::deque<Panel> keptPanels_;  // what held state events point to
};

#endif  // VESK_HOST_OUTPUT_SINK_H
