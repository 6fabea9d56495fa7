#include "core/emulator.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "module/records.h"

// A chain of reports that keeps feeding itself is cut here.
static const int kMaxQueuedDeliveries = 1000;

Emulator::Emulator(const SiteLinks& site, std::string name)
    : out_(site.transcript, std::move(name)), backends_(site.backends), index_(site.index), schedule_(site.timers) {
    panels_.missing = &site.missingPanels;
}

Emulator::~Emulator() {
    if (component_) destroy();
}

void Emulator::setModule(Module* module, const std::string& path) {
    module_ = module;
    modulePath_ = path;
    explainer_ = explainerFor(path);
}

void Emulator::violation(const std::string& text) {
    ++violations_;
    out_.violation(text);
}

char* Emulator::call(void* data, int type) {
    ++depth_;
    char* result = module_->send(component_, data, type);
    --depth_;
    return result;
}

bool Emulator::create(const std::string& path) {
    out_.create(path);
    explainer_->reset();
    closed_ = false;
    // Before the export runs: it may register already. Nothing of this slot
    // is in the index now (its last component's registrations ended).
    order_ = index_.enrol();
    ++depth_;
    ComponentHandle* handle = module_->create(this, path.c_str());
    --depth_;
    if (!handle) {
        out_.createdNothing();
        checkReplies();
        queue_.clear();
        endComponentState();
        return false;
    }
    component_ = handle;
    settle();
    return true;
}

void Emulator::destroy() {
    if (!component_) return;
    out_.deleteComponent();
    deleting_ = true;
    ++depth_;
    module_->destroy(component_);
    --depth_;
    deleting_ = false;
    component_ = nullptr;
    if (!closed_) violation("the component was deleted without sending AS");
    closed_ = false;
    checkReplies();
    if (!queue_.empty()) {
        out_.note("dropped " + std::to_string(queue_.size()) + " report(s): the component is gone");
        queue_.clear();
    }
    endComponentState();
}

// Timers, registrations and panels belong to the component and end with it.
void Emulator::endComponentState() {
    panels_.open.clear();
    for (int id : clock_.runningTimers()) {
        clock_.stop(id);
        out_.note("timer " + std::to_string(id) + " ended with the component");
    }
    for (int device : registrations_.devices())
        out_.note("registration of device " + std::to_string(device) + " (" + rangesText(registrations_.of(device)) +
                  ") ended with the component");
    registrations_.clear();
    reschedule();
}

void Emulator::checkReplies() {
    if (depth_) return;
    for (const std::string& command : replies_.expireDue())
        violation("the reply to \"" + escapeBytes(command) + "\" was never handed back");
}

void Emulator::settle() {
    if (depth_) return;
    leftBehindNoted_.clear();
    checkReplies();
    int delivered = 0;
    while (!queue_.empty()) {
        if (!component_) {
            out_.note("dropped " + std::to_string(queue_.size()) + " report(s): no component");
            queue_.clear();
            break;
        }
        if (++delivered > kMaxQueuedDeliveries) {
            out_.note("dropped " + std::to_string(queue_.size()) + " report(s): more than " +
                      std::to_string(kMaxQueuedDeliveries) + " in one chain");
            queue_.clear();
            break;
        }
        Report report = queue_.front();
        queue_.pop_front();
        deliverNow(report);
        checkReplies();
    }
}

void Emulator::deliverNow(const Report& report) {
    out_.reportEvent(report);
    RevertiveRecord record;
    fillRevertive(record, report.device, report.index, report.info, report.text);
    const uint64_t before = commandCount_;
    call(&record, VESK_EVENT_REVERTIVE);
    explain(explainer_->afterReport(report, parsedSince(before)));
}

std::vector<HostCommand> Emulator::parsedSince(uint64_t from) const {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(commandCount_ - from, parsed_.size()));
    return std::vector<HostCommand>(parsed_.end() - static_cast<std::ptrdiff_t>(count), parsed_.end());
}

std::vector<std::string> Emulator::commandsSince(uint64_t from) const {
    const size_t count = static_cast<size_t>(std::min<uint64_t>(commandCount_ - from, commands_.size()));
    return std::vector<std::string>(commands_.end() - static_cast<std::ptrdiff_t>(count), commands_.end());
}

void Emulator::explain(const std::vector<Silence>& reasons) {
    for (const Silence& s : reasons) out_.silent(s.about, s.text);
}

void Emulator::deliver(const Report& report) {
    if (depth_) {
        queue_.push_back(report);
        return;
    }
    if (!component_) return;
    deliverNow(report);
    settle();
}

std::optional<std::string> Emulator::sendText(const std::optional<std::string>& text) {
    out_.textEvent(text ? text->c_str() : nullptr);
    const uint64_t before = commandCount_;
    char* answer = call(text ? const_cast<char*>(text->c_str()) : nullptr, VESK_EVENT_TEXT);
    const std::vector<HostCommand> sent = parsedSince(before);
    std::optional<std::string> result;
    if (answer) {
        result = std::string(answer);
        out_.answer(result->c_str());
        out_.releaseEvent(*result);
        call(answer, VESK_EVENT_RELEASE);
    } else {
        out_.answer(nullptr);
        if (text) explain(explainer_->afterText(*text, sent));
    }
    settle();
    return result;
}

void Emulator::sendControl(const std::string& id, const std::string& command) {
    out_.controlEvent(id, command);
    SplitCommand split(command);
    ButtonRecord record;
    std::memset(&record, 0, sizeof record);
    record.id = id.c_str();
    record.command = reinterpret_cast<ParsedCommand*>(split.record());
    call(&record, VESK_EVENT_CONTROL);
    settle();
}

void Emulator::sendReport(const Report& report) {
    deliverNow(report);
    settle();
}

void Emulator::sendTimer(int id) {
    out_.timerEvent(id);
    call(reinterpret_cast<void*>(static_cast<intptr_t>(id)), VESK_EVENT_TIMER);
    settle();
}

void Emulator::sendWord(int type, intptr_t word) {
    out_.wordEvent(type, static_cast<long long>(word));
    call(reinterpret_cast<void*>(word), type);
    settle();
}

void Emulator::reschedule() { schedule_.set(*this, order_, component_ ? clock_.nextDueTime() : std::nullopt); }

bool Emulator::fireNextTimer(int64_t limit) {
    std::optional<int> id = component_ ? clock_.nextDue(limit) : std::nullopt;
    if (!id) return false;
    clock_.fire(*id);
    reschedule();
    if (!realTime_) out_.note("clock " + std::to_string(clock_.now()));
    sendTimer(*id);
    return true;
}

const Panel* Emulator::panel(const std::string& name) const {
    auto it = panels_.open.find(name);
    return it == panels_.open.end() ? nullptr : &it->second;
}

std::vector<std::string> Emulator::takeCommands() {
    std::vector<std::string> out(std::make_move_iterator(commands_.begin()), std::make_move_iterator(commands_.end()));
    commands_.clear();
    droppedCommands_ = 0;
    return out;
}

void Emulator::keepCommand(const std::string& text) {
    ++commandCount_;
    commands_.push_back(text);
    parsed_.push_back(HostCommand{text.substr(0, 2), {}});
    if (commands_.size() <= kKeptCommands) return;
    commands_.pop_front();
    parsed_.pop_front();
    if (droppedCommands_++ == 0)
        out_.note("only the newest " + std::to_string(kKeptCommands) +
                  " commands are kept for \"expect sent\": older ones are dropped");
}

char* Emulator::onCall(void* data, int type) {
    try {
        if (depth_ == 0) {
            violation("the component called its host outside any call from the host (type " + std::to_string(type) +
                      ")");
            return nullptr;
        }
        if (type == VESK_CALL_COMMAND) {
            if (!data) {
                violation("command with a null text");
                return nullptr;
            }
            return command(static_cast<const char*>(data));
        }
        if (type == VESK_EVENT_RELEASE) {
            handBack(static_cast<char*>(data));
            return nullptr;
        }
        violation("call to the host with type " + std::to_string(type));
    } catch (...) {
        // Nothing may unwind into the module.
        violation("the emulator failed while handling a call");
    }
    return nullptr;
}

void Emulator::handBack(char* text) {
    std::string command;
    switch (replies_.handBack(text, command)) {
        case ReplyBook::HandBack::Accepted: out_.handBack(text); return;
        case ReplyBook::HandBack::Null: violation("a null text was handed back"); return;
        case ReplyBook::HandBack::Unknown: violation("a text the host never gave was handed back"); return;
        case ReplyBook::HandBack::Twice:
            violation("the reply to \"" + escapeBytes(command) + "\" was handed back twice");
            return;
        case ReplyBook::HandBack::AfterItsCall:
            violation("the reply to \"" + escapeBytes(command) + "\" was handed back after its call ended");
            return;
        case ReplyBook::HandBack::NeverDue:
            violation("the reply to \"" + escapeBytes(command) + "\" was handed back; it is never handed back");
            return;
    }
}

char* Emulator::command(const std::string& text) {
    keepCommand(text);
    const HostCommandKind* kind = findHostCommand(text.substr(0, 2));
    if (closed_ || text == "AS" || !kind) {
        out_.command(text, false, nullptr);
        if (closed_)
            violation("command after AS");
        else if (text != "AS")
            violation("unknown command");
        else if (!deleting_)
            violation("AS sent outside the delete");
        closed_ = closed_ || text == "AS";
        return nullptr;
    }
    CommandOutcome outcome = runHostCommand(*kind, text);
    if (text.compare(0, 2, "ET") == 0) reschedule();
    tell(text, outcome);
    return outcome.reply;
}

CommandOutcome Emulator::runHostCommand(const HostCommandKind& kind, const std::string& text) {
    CommandOutcome outcome;
    std::optional<std::vector<CommandArg>> args = splitCommandArguments(text.substr(2));
    // Texts are never escaped: a TP value, a TG parameter or an XI selector
    // may hold "' '" and reads as a tolerant host reads it.
    if (kind.tolerantCount)
        if (std::optional<std::vector<CommandArg>> tolerant =
                splitQuotedArguments(text.substr(2), kind.tolerantCount, kind.freeFirst))
            args = tolerant;
    if (args) {
        parsed_.back().args = *args;
        CommandContext context{text, panels_, replies_, registrations_, backends_, clock_, queue_, leftBehindNoted_};
        if (kind.handle(context, *args, outcome)) return outcome;
    }
    outcome.violations.push_back(std::string("malformed command: expected ") + kind.usage);
    return outcome;
}

void Emulator::tell(const std::string& text, const CommandOutcome& o) {
    out_.command(text, o.showReply, o.reply);
    for (const std::string& note : o.notes) out_.note(note);
    for (const Silence& s : o.silences) out_.silent(s.about, s.text);
    for (const auto& [line, message] : o.panelErrors) {
        ++panelErrors_;
        std::optional<std::vector<CommandArg>> args = splitCommandArguments(text.substr(2));
        out_.error(args && args->size() > 1 ? (*args)[1].text : "?", line, message);
    }
    for (const std::string& v : o.violations) violation(v);
}
