// The wall clock for a script with live router devices: owns the only event
// loop and the connections, and runs the loop only when the script runner asks
// (between statements, in "wait", in "expect ... within"), on the runner's
// thread. What the connections tell is delivered after the loop's handler has
// returned, never from inside one: notes to the transcript, reports to the
// emulator (which passes on those of registered destinations), router sizes
// checked against the site.
//
// The emulator's clock follows the wall clock in milliseconds from the moment
// the driver was made, so its timers fire in real time.
#ifndef VESK_HOST_LIVE_DRIVER_H
#define VESK_HOST_LIVE_DRIVER_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "emulator.h"
#include "live_routers.h"
#include "transcript.h"

class LiveDriver : public LiveRouters {
public:
    // `siteSize(device)`: the destinations the site's device file gives
    // (null when it gives none). The references must outlive the driver.
    LiveDriver(Emulator& emulator, Transcript& transcript, std::function<std::optional<int>(int)> siteSize,
               LinkTiming timing = LinkTiming());
    ~LiveDriver() override;

    // Makes `device` the router at `address` (replacing an earlier one) and
    // serves the loop until its first connect has ended, `connectWait` at most.
    void add(int device, const RouterAddress& address, int64_t connectWait = 5000);

    bool has(int device) const override;
    void poll(int device, int first, int last, std::vector<Report>& reports, std::string& why) const override;
    bool route(int device, int destination, int source, std::string& why) override;
    bool rename(int device, int source, const std::string& name, std::string& why) override;

    // Runs what is ready without waiting, delivers it and fires the timers
    // that are due.
    void pump();
    // Compares each router's announced size with the site's device file
    // again (after the script changed the site); each disagreement is warned
    // about once, until either number changes.
    void checkSizes();
    // Serves the network and the timers for `ms` of wall-clock time, ending
    // early once `done` (checked after each delivery) holds. True when it did.
    bool serve(int64_t ms, const std::function<bool()>& done = {});

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#endif  // VESK_HOST_LIVE_DRIVER_H
