// The host's side of one component: answers its commands, keeps the panels,
// the router and the timers, delivers events, and reports every break of the
// host contract as a violation.
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
#include "core/reply_book.h"
#include "explain/explainers.h"
#include "module/module.h"
#include "base/panel.h"
#include "base/report.h"
#include "routers/backends.h"
#include "base/text.h"
#include "core/timers.h"
#include "output/transcript.h"

class Emulator : public HostEndpoint {
public:
    explicit Emulator(Transcript& transcript);
    // A live component is deleted first (as `destroy` does).
    ~Emulator() override;

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

    // Calls the export with `path`. False when it returned null.
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
    // Moves the clock forward by `units`, firing every timer that falls due,
    // in time order.
    void advance(int64_t units);

    // The router devices ("RP" is answered by the device's backend) and the
    // registrations for their reports.
    Backends& backends() { return backends_; }
    BackendEvents& backendEvents() { return backendEvents_; }
    const Registrations& registrations() const { return registrations_; }
    // Takes what the backends queued: notes go to the transcript, reports of
    // registered destinations to the component, announced sizes to
    // `announced` (device, destinations; may be empty). Call only between
    // calls to the component.
    void takeBackendEvents(const std::function<void(int, int)>& announced = {});
    // A report from a router: delivered when its destination is registered.
    void follow(const Report& report);
    // On the wall clock the firing time is left out of the transcript.
    void setRealTime(bool realTime) { realTime_ = realTime; }

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
    // Panel files that "PS" named and that do not exist, since the last call;
    // none are kept while `allowed` (a script that means them to be missing).
    std::vector<std::string> takeMissingPanels();
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

    Transcript& out_;
    Module* module_ = nullptr;
    std::string modulePath_;
    ComponentHandle* component_ = nullptr;
    bool deleting_ = false;
    bool closed_ = false;
    int depth_ = 0;
    int violations_ = 0;
    int panelErrors_ = 0;

    BackendEvents backendEvents_;
    Backends backends_{backendEvents_};
    Registrations registrations_;
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
