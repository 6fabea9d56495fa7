#include "output/sink.h"

#include <utility>

void FanOutSink::add(Sink& sink) { sinks_.push_back(&sink); }

void FanOutSink::emit(const HostEvent& event) {
    for (Sink* sink : sinks_) sink->emit(event);
}

HoldingSink::HoldingSink(Sink& next) : next_(next) {}

HoldingSink::~HoldingSink() { release(); }

void HoldingSink::emit(const HostEvent& event) {
    if (!holding_) {
        next_.emit(event);
        return;
    }
    held_.push_back(event);
    if (auto* state = std::get_if<event::State>(&held_.back())) {
        for (auto& [name, panel] : state->state.panels) panel = &keptPanels_.emplace_back(*panel);
        for (HostState::Component& component : state->state.components)
            for (auto& [name, panel] : component.panels) panel = &keptPanels_.emplace_back(*panel);
    }
}

void HoldingSink::hold() { holding_ = true; }

void HoldingSink::release() {
    holding_ = false;
    // Taken out first: `next` may emit again (nothing held then).
    std::vector<HostEvent> events = std::move(held_);
    std::deque<Panel> panels = std::move(keptPanels_);
    held_.clear();
    keptPanels_.clear();
    for (const HostEvent& event : events) next_.emit(event);
}
