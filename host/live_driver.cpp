#include "live_driver.h"

#include <asio.hpp>
#include <chrono>
#include <deque>
#include <map>

#include "interrupt.h"
#include "site.h"
#include "videohub_link.h"

using Clock = std::chrono::steady_clock;

struct LiveDriver::Impl {
    Impl(Emulator& e, Transcript& t, std::function<std::optional<int>(int)> s, LinkTiming l)
        : emulator(e), out(t), siteSize(std::move(s)), timing(l), work(io.get_executor()),
          start(Clock::now()), clockAtStart(e.clock().now()) {}

    void deliver();
    void checkSize(int device, int outputs);
    void advanceClock();
    // The wall-clock moment the emulator's clock reads `units`.
    Clock::time_point momentOf(int64_t units) const {
        return start + std::chrono::milliseconds(units - clockAtStart);
    }
    VideohubLink* link(int device) const {
        auto it = links.find(device);
        return it == links.end() ? nullptr : it->second.get();
    }

    Emulator& emulator;
    Transcript& out;
    std::function<std::optional<int>(int)> siteSize;
    LinkTiming timing;
    // Declared before the links: they go first, then the loop that holds
    // their handlers.
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work;
    std::deque<LiveEvent> events;
    std::map<int, std::pair<int, int>> sizesChecked;  // device -> (router, site)
    std::map<int, std::unique_ptr<VideohubLink>> links;
    Clock::time_point start;
    int64_t clockAtStart;
};

LiveDriver::LiveDriver(Emulator& emulator, Transcript& transcript, std::function<std::optional<int>(int)> siteSize,
                       LinkTiming timing)
    : impl_(new Impl(emulator, transcript, std::move(siteSize), timing)) {}

LiveDriver::~LiveDriver() {
    impl_->links.clear();
    impl_->work.reset();
}

void LiveDriver::add(int device, const RouterAddress& address, int64_t connectWait) {
    impl_->links.erase(device);
    auto link = std::make_unique<VideohubLink>(impl_->io, device, address, impl_->timing, impl_->events);
    VideohubLink* raw = link.get();
    impl_->links[device] = std::move(link);
    raw->start();
    serve(connectWait, [raw] { return raw->settled(); });
}

bool LiveDriver::has(int device) const { return impl_->link(device) != nullptr; }

void LiveDriver::poll(int device, int first, int last, std::vector<Report>& reports, std::string& why) const {
    if (VideohubLink* link = impl_->link(device)) link->poll(first, last, reports, why);
}

bool LiveDriver::route(int device, int destination, int source, std::string& why) {
    VideohubLink* link = impl_->link(device);
    return link && link->route(destination, source, why);
}

bool LiveDriver::rename(int device, int source, const std::string& name, std::string& why) {
    VideohubLink* link = impl_->link(device);
    return link && link->rename(source, name, why);
}

void LiveDriver::Impl::deliver() {
    while (!events.empty()) {
        LiveEvent event = std::move(events.front());
        events.pop_front();
        switch (event.kind) {
            case LiveEvent::Kind::Note: out.note(event.note); break;
            case LiveEvent::Kind::Report: emulator.follow(event.report); break;
            case LiveEvent::Kind::Size: checkSize(event.device, event.outputs); break;
        }
    }
}

void LiveDriver::Impl::checkSize(int device, int outputs) {
    std::optional<int> site = siteSize(device);
    const int size = site.value_or(0);
    auto checked = sizesChecked.find(device);
    if (checked != sizesChecked.end() && checked->second == std::make_pair(outputs, size)) return;
    sizesChecked[device] = std::make_pair(outputs, size);
    if (size == outputs) return;
    const std::string file = Site::deviceFileName(device);
    out.note("warning: router device " + std::to_string(device) + " has " + std::to_string(outputs) +
             " outputs, but " + file + " gives DatabaseSize_1=" + std::to_string(size) +
             (site ? "" : " (none given)") + ": the component will " +
             (size > outputs ? "accept destinations the router does not have"
                             : "refuse destinations the router has"));
}

void LiveDriver::checkSizes() {
    for (const auto& [device, link] : impl_->links)
        if (link->announcedOutputs() >= 0) impl_->checkSize(device, link->announcedOutputs());
}

void LiveDriver::Impl::advanceClock() {
    const int64_t now = clockAtStart + std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    if (now > emulator.clock().now()) emulator.advance(now - emulator.clock().now());
}

void LiveDriver::pump() {
    impl_->io.poll();
    impl_->deliver();
    impl_->advanceClock();
}

bool LiveDriver::serve(int64_t ms, const std::function<bool()>& done) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (true) {
        pump();
        if (done && done()) return true;
        const Clock::time_point now = Clock::now();
        if (now >= deadline || interruption()) return false;
        // Wakes at least every 50 ms, so that Ctrl-C or SIGTERM ends a long
        // wait soon even when nothing arrives.
        Clock::time_point wake = std::min(deadline, now + std::chrono::milliseconds(50));
        if (std::optional<int64_t> due = impl_->emulator.clock().nextDueTime())
            wake = std::min(wake, std::max(now, impl_->momentOf(*due)));
        impl_->io.run_one_until(wake);
    }
}
