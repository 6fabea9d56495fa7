// The components of one session, as the site of panels holds them: a slot
// per name (the unnamed one for a bare "create", one per "create NAME"), the
// router devices they all share, the index of who follows which destination,
// and the one clock their timers run on.
//
// No state passes between components: each slot (an Emulator) keeps its own
// panels, timers, registrations, replies and explanations; what they share
// is the routers and the time. A router report goes to every component
// registered for its destination, earliest created first, each in a call of
// its own (found through the index, never by asking every slot).
//
// A slot stays when its component is deleted (a later "create NAME" makes a
// new one in it); only live components are followed, timed and listed.
#ifndef VESK_HOST_CORE_COMPONENTS_H
#define VESK_HOST_CORE_COMPONENTS_H

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/emulator.h"
#include "core/report_index.h"
#include "core/timer_schedule.h"
#include "output/transcript.h"
#include "routers/backends.h"

class Components {
public:
    // Tells `out` (which must outlive it) what concerns the site: router
    // notes, the clock.
    explicit Components(Transcript& out);
    // Deletes what is still live, newest first (as Emulator's destructor
    // does, without a note).
    ~Components();
    Components(const Components&) = delete;
    Components& operator=(const Components&) = delete;

    // The router devices every component uses, and the queue they fill.
    Backends& backends() { return backends_; }
    BackendEvents& backendEvents() { return events_; }
    const ReportIndex& index() const { return index_; }

    // The slot of `name` (empty: the unnamed one), made on first use with the
    // site's clock and time.
    Emulator& slot(const std::string& name);
    // Null when no slot has that name.
    Emulator* find(const std::string& name) const;
    // True once a named slot exists.
    bool anyNamed() const { return slots_.size() > (byName_.count("") ? 1u : 0u); }
    // Named slots, in the order they were made.
    std::vector<std::string> names() const;
    // The live components, earliest created first.
    std::vector<Emulator*> live() const;
    // Deletes every live component, newest first, each after `note` in its
    // own transcript.
    void deleteAll(const std::string& note);

    // Of every slot: violations, panel file errors, missing panel files
    // (since the last take).
    int violations() const;
    int panelErrors() const;
    std::vector<std::string> takeMissingPanels();

    // The site's clock (milliseconds; virtual until setRealTime).
    int64_t now() const { return now_; }
    // Moves the clock forward by `units`, firing every live component's
    // timers that fall due, in time order (on a tie, the earlier created
    // component first, then the lower timer id).
    void advance(int64_t units);
    // When the next timer of any live component falls due; null for none.
    std::optional<int64_t> nextDueTime() const { return schedule_.nextDue(); }
    void setRealTime(bool realTime);

    // Takes what the backends queued: notes go to the transcript, reports to
    // the components that follow them, announced sizes to `announced`
    // (device, destinations; may be empty). Call only between calls to
    // components.
    void takeBackendEvents(const std::function<void(int, int)>& announced = {});

private:
    void dispatch(const Report& report);

    Transcript& out_;
    BackendEvents events_;
    Backends backends_{events_};
    ReportIndex index_;  // before the slots: they leave both when destroyed
    TimerSchedule schedule_;
    std::vector<std::string> missingPanels_;  // of every slot, in the order named
    std::vector<std::unique_ptr<Emulator>> slots_;
    std::unordered_map<std::string, Emulator*> byName_;
    int64_t now_ = 0;
    bool realTime_ = false;
};

#endif  // VESK_HOST_CORE_COMPONENTS_H
