// The host's side of one component: answers its commands, keeps the panels,
// the router and the timers, delivers events, and reports every break of the
// host contract as a violation.
//
// One call at a time: whatever a command triggers that would call the
// component (the answer to "RP") is queued and delivered after the current
// call has returned. After each call from the outside the emulator checks that
// every TG and XI reply came back, exactly once, with type 5.
//
// Commands the host understands (texts in single quotes):
//   PS 'panel' 'file' ['extra']  shows the panel file; replies "1" when it
//                                exists, null when not (never handed back)
//   TP 'param=value' 'panel' 'control'
//   TG 'panel' 'control' 'param' replies "param=value"; for "all" every
//                                parameter, "a=1,b=2"; null when unknown
//   XI 'panel' 'selector'        replies the control names starting with the
//                                selector, comma-separated; null when none
//   RR d f l ['ADD'], RU d, RP d f l   see router.h
//   ET id interval, ET id        see timers.h (interval 1 or more)
//   AS                           closing command, from the destructor only
// Anything else, a command after "AS", or a call with a type other than 0 or
// 5, is a violation.
#ifndef VESK_HOST_EMULATOR_H
#define VESK_HOST_EMULATOR_H

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/registrations.h"
#include "module.h"
#include "panel.h"
#include "parvex_model.h"
#include "router.h"
#include "routers/backends.h"
#include "text.h"
#include "timers.h"
#include "transcript.h"

class Emulator : public HostEndpoint {
public:
    explicit Emulator(Transcript& transcript);
    // A live component is deleted first (as `destroy` does).
    ~Emulator() override;

    // The module to create components from (not owned), and the folder that
    // relative panel file paths start from.
    void setModule(Module* module) { module_ = module; }
    bool hasModule() const { return module_ != nullptr; }
    Module* module() const { return module_; }
    void setPanelFolder(const std::string& folder) { panelFolder_ = folder; }
    const std::string& panelFolder() const { return panelFolder_; }

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
    const std::map<std::string, Panel>& panels() const { return panels_; }
    const TimerClock& clock() const { return clock_; }

    // Commands received since the last call, in order. Only the newest
    // kKeptCommands are kept (a session at the prompt may run for hours
    // without taking them); the first one dropped gives a note.
    std::vector<std::string> takeCommands();
    // How many older commands the next takeCommands leaves out.
    uint64_t droppedCommands() const { return droppedCommands_; }
    static constexpr size_t kKeptCommands = 1000;
    // Replies still allocated and known (bounded: see the reply book).
    size_t heldReplies() const { return replyBook_.size(); }
    int violations() const { return violations_; }
    // Panel file errors found on "PS".
    int panelErrors() const { return panelErrors_; }
    // Panel files that "PS" named and that do not exist, since the last call;
    // none are kept while `allowed` (a script that means them to be missing).
    std::vector<std::string> takeMissingPanels();
    void allowMissingPanels(bool allowed) { missingPanelsAllowed_ = allowed; }

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
    // What a command did: its reply and what to tell about it.
    struct Outcome {
        char* reply = nullptr;
        bool showReply = false;
        std::vector<std::string> notes;
        std::vector<Silence> silences;
        std::vector<std::string> violations;
        std::vector<std::pair<int, std::string>> panelErrors;  // line, message
    };
    void perform(const std::string& code, const std::vector<CommandArg>& args, Outcome& o);
    char* newReply(const std::string& command, const std::string& text, bool handBackDue);
    void handBack(char* text);
    std::string resolvePanelPath(const std::string& file) const;
    void endComponentState();
    // The commands received since `from` (an earlier commandCount_), as far
    // as they are kept.
    std::vector<std::string> commandsSince(uint64_t from) const;
    void keepCommand(const std::string& text);
    void explain(const std::vector<Silence>& reasons);
    // Notes the registrations of devices other than `device` that a new
    // "RR"/"RU" for `device` leaves in place, once per call from the outside.
    void noteLeftBehind(int device, const std::string& command, Outcome& o);

    Transcript& out_;
    Module* module_ = nullptr;
    std::string panelFolder_;
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
    std::map<std::string, Panel> panels_;
    std::deque<Report> queue_;
    std::deque<std::string> commands_;  // the newest kKeptCommands
    uint64_t commandCount_ = 0;         // every command ever received
    uint64_t droppedCommands_ = 0;      // since the last takeCommands
    std::vector<std::string> missingPanels_;
    bool missingPanelsAllowed_ = false;

    // A reply stays allocated and known while the component may still hold
    // it, so a second hand-back of the same text can be told from a new one.
    // Of the replies handed back only the newest kKeptReturnedReplies stay;
    // older ones are freed, so a session of hours stays bounded (a hand-back
    // of one of those again reads as a text the host never gave).
    enum class ReplyState { Due, Back, Expired, Kept };
    struct ReplyBook {
        std::string command;
        ReplyState state;
        std::unique_ptr<char[]> text;
    };
    static constexpr size_t kKeptReturnedReplies = 256;
    std::map<char*, ReplyBook> replyBook_;
    std::deque<char*> returned_;  // oldest first
    std::string currentCommand_;

    ParvexModel model_;
    std::vector<int> leftBehindNoted_;
};

#endif  // VESK_HOST_EMULATOR_H
