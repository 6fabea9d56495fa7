// The host's side of one component: answers its commands, keeps its panels,
// timers, registrations and replies, delivers events, and reports every break
// of the host contract as a violation. The router devices are the site's,
// lent to every component alike (core/components.h holds them); so is the
// report index, through which the site hands this component the reports of
// the destinations it registered.
//
// One call at a time: whatever a command triggers that would call the
// component (the answer to "RP") is queued and delivered after the current
// call has returned. After each call from the outside the emulator checks that
// every TG and XI reply came back, exactly once, with type 5.
//
// The commands it understands are in core/host_commands.h. A command after
// "AS", or a call with a type other than 0 or 5, is a violation.
#ifndef VESK_HOST_CORE_EMULATOR_H
#define VESK_HOST_CORE_EMULATOR_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/host_commands.h"
#include "core/registrations.h"
#include "core/report_index.h"
#include "core/reply_book.h"
#include "explain/explainers.h"
#include "module/module.h"
#include "base/panel.h"
#include "base/report.h"
#include "routers/backends.h"
#include "base/text.h"
#include "core/timer_schedule.h"
#include "core/timers.h"
#include "output/transcript.h"

class Emulator : public HostEndpoint, public ReportFollower {
public:
    // What a component slot shares with the others of its site; all must
    // outlive it.
    struct SiteLinks {
        Transcript& transcript;  // told what the slot's traffic is
        Backends& backends;      // the router devices
        ReportIndex& index;      // where its registrations go
        TimerSchedule& timers;   // where its next timer goes
        std::vector<std::string>& missingPanels;  // panel files it named that do not exist
    };
    // A component slot named `name` (empty: the unnamed single component).
    Emulator(const SiteLinks& site, std::string name = "");
    // A live component is deleted first (as `destroy` does).
    ~Emulator() override;
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    const std::string& name() const { return out_.component(); }
    // What this component's traffic is told through (its lines name it).
    Transcript& transcript() { return out_; }

    // The module to create components from (not owned), and the folder that
    // relative panel file paths start from.
    // The explainer of silences is chosen for the module's `path`.
    void setModule(Module* module, const std::string& path = "");
    bool hasModule() const { return module_ != nullptr; }
    Module* module() const { return module_; }
    void setPanelFolder(const std::string& folder) { panels_.folder = folder; }
    const std::string& panelFolder() const { return panels_.folder; }
    const std::string& modulePath() const { return modulePath_; }
    // The control "expect text" reads on panel "1"; empty for none.
    std::string textControl() const { return explainer_->textControl(); }

    // Calls the export with `path`. False when it returned null. A component
    // made takes the next creation order from the index.
    bool create(const std::string& path);
    bool live() const { return component_ != nullptr; }
    // The host deletes the component; it must end with "AS".
    void destroy();

    // Type 3 with `text` (null: a null pointer). Returns the answer, handed
    // back already; null when the component answered null.
    std::optional<std::string> sendText(const std::optional<std::string>& text);
    // Type 2: a control event for control `id` with `command` split as the
    // host splits it.
    void sendControl(const std::string& id, const std::string& command);
    // Type 1, built from the given fields whatever the router holds.
    void sendReport(const Report& report);
    // Type 4 for timer `id`, running or not.
    void sendTimer(int id);
    // Any type with `word` as the data word (for types that pass data unread).
    void sendWord(int type, intptr_t word);

    // Timers (the site's clock moves every component's alike, see
    // Components::advance; the site's schedule always holds when this
    // component's next timer falls due). Fires the timer due first, at or
    // before `limit`, moving this clock to its time; false when none is due
    // by then.
    bool fireNextTimer(int64_t limit);
    // Moves this clock forward to `time` (never back), firing nothing.
    void clockTo(int64_t time) { clock_.advanceTo(time); }
    // On the wall clock the firing time is left out of the transcript.
    void setRealTime(bool realTime) { realTime_ = realTime; }

    // The router devices ("RP" is answered by the device's backend), lent,
    // and this component's registrations for their reports.
    Backends& backends() { return backends_; }
    const Registrations& registrations() const { return registrations_; }
    // A report of a registered destination (the index found it): delivered
    // now, or after the current call when the component is in one.
    void follow(const Report& report) override { deliver(report); }
    uint64_t followOrder() const override { return order_; }

    const Panel* panel(const std::string& name) const;
    const std::map<std::string, Panel>& panels() const { return panels_.open; }
    const TimerClock& clock() const { return clock_; }

    // Commands received since the last call, in order. Only the newest
    // kKeptCommands are kept (a session at the prompt may run for hours
    // without taking them); the first one dropped gives a note.
    std::vector<std::string> takeCommands();
    // How many older commands the next takeCommands leaves out.
    uint64_t droppedCommands() const { return droppedCommands_; }
    static constexpr size_t kKeptCommands = 1000;
    // Replies still allocated and known (bounded: see the reply book).
    size_t heldReplies() const { return replies_.size(); }
    int violations() const { return violations_; }
    // Panel file errors found on "PS".
    int panelErrors() const { return panelErrors_; }
    // Panel files that "PS" named and that do not exist go to the site's
    // list (SiteLinks::missingPanels); none while `allowed` (a script that
    // means them to be missing).
    void allowMissingPanels(bool allowed) { panels_.missingAllowed = allowed; }

    char* onCall(void* data, int type) override;

    // Tells why something stayed silent (see Transcript::silent): the
    // emulator's own reasons, and those of a router backend (a poll that
    // went unanswered, ...).
    void silent(const std::string& about, const std::string& text) { out_.silent(about, text); }

private:
    char* call(void* data, int type);
    // After a call from the outside: checks the replies and delivers what was
    // queued meanwhile.
    void settle();
    void deliver(const Report& report);
    void deliverNow(const Report& report);
    void checkReplies();
    void violation(const std::string& text);
    char* command(const std::string& text);
    // Runs a known command's handler; what it did.
    CommandOutcome runHostCommand(const HostCommandKind& kind, const std::string& text);
    void tell(const std::string& text, const CommandOutcome& outcome);
    void handBack(char* text);
    void endComponentState();
    // The commands received since `from` (an earlier commandCount_), as far
    // as they are kept.
    std::vector<std::string> commandsSince(uint64_t from) const;
    std::vector<HostCommand> parsedSince(uint64_t from) const;
    void keepCommand(const std::string& text);
    void explain(const std::vector<Silence>& reasons);
    // Tells the site's schedule when this component's next timer is due.
    void reschedule();

    Transcript out_;
    Backends& backends_;
    ReportIndex& index_;
    TimerSchedule& schedule_;
    uint64_t order_ = 0;  // creation order, from the index
    Module* module_ = nullptr;
    std::string modulePath_;
    ComponentHandle* component_ = nullptr;
    bool deleting_ = false;
    bool closed_ = false;
    int depth_ = 0;
    int violations_ = 0;
    int panelErrors_ = 0;

    Registrations registrations_{index_, *this};
    bool realTime_ = false;
    TimerClock clock_;
    PanelBook panels_;
    ReplyBook replies_;
    std::deque<Report> queue_;
    std::deque<std::string> commands_;  // the newest kKeptCommands
    std::deque<HostCommand> parsed_;    // the same, parsed (empty args when malformed)
    uint64_t commandCount_ = 0;         // every command ever received
    uint64_t droppedCommands_ = 0;      // since the last takeCommands
    std::unique_ptr<Explainer> explainer_ = explainerFor("");
    std::vector<int> leftBehindNoted_;
};

#endif  // VESK_HOST_CORE_EMULATOR_H
