#include "emulator.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "records.h"

// A chain of reports that keeps feeding itself is cut here.
static const int kMaxQueuedDeliveries = 1000;
// One "wait" fires at most this many timer events.
static const int kMaxTimerEvents = 100000;

Emulator::Emulator(Transcript& transcript) : out_(transcript) {}

Emulator::~Emulator() {
    if (component_) destroy();
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
    model_.reset();
    closed_ = false;
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
    panels_.clear();
    for (int id : clock_.runningTimers()) {
        clock_.stop(id);
        out_.note("timer " + std::to_string(id) + " ended with the component");
    }
    for (int device : registrations_.devices())
        out_.note("registration of device " + std::to_string(device) + " (" + rangesText(registrations_.of(device)) +
                  ") ended with the component");
    registrations_.clear();
}

void Emulator::checkReplies() {
    if (depth_) return;
    for (auto& [text, book] : replyBook_) {
        (void)text;
        if (book.state != ReplyState::Due) continue;
        book.state = ReplyState::Expired;
        violation("the reply to \"" + escapeBytes(book.command) + "\" was never handed back");
    }
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
    explain(model_.afterReport(report, commandsSince(before)));
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
    const std::vector<std::string> sent = commandsSince(before);
    std::optional<std::string> result;
    if (answer) {
        result = std::string(answer);
        out_.answer(result->c_str());
        out_.releaseEvent(*result);
        call(answer, VESK_EVENT_RELEASE);
    } else {
        out_.answer(nullptr);
        if (text) explain(model_.afterText(*text, sent));
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

void Emulator::advance(int64_t units) {
    const int64_t target = clock_.now() + units;
    int fired = 0;
    while (std::optional<int> id = clock_.nextDue(target)) {
        if (!component_) break;
        if (++fired > kMaxTimerEvents) {
            out_.note("stopped after " + std::to_string(kMaxTimerEvents) + " timer events");
            break;
        }
        clock_.fire(*id);
        if (!realTime_) out_.note("clock " + std::to_string(clock_.now()));
        sendTimer(*id);
    }
    clock_.advanceTo(target);
}

void Emulator::follow(const Report& report) {
    if (registrations_.covers(report.device, report.index)) deliver(report);
}

void Emulator::takeBackendEvents(const std::function<void(int, int)>& announced) {
    while (!backendEvents_.empty()) {
        BackendEvent event = std::move(backendEvents_.front());
        backendEvents_.pop_front();
        switch (event.kind) {
            case BackendEvent::Kind::Note: out_.note(event.note); break;
            case BackendEvent::Kind::Report: follow(event.report); break;
            case BackendEvent::Kind::Size:
                if (announced) announced(event.device, event.size);
                break;
        }
    }
}

const Panel* Emulator::panel(const std::string& name) const {
    auto it = panels_.find(name);
    return it == panels_.end() ? nullptr : &it->second;
}

std::vector<std::string> Emulator::takeMissingPanels() {
    std::vector<std::string> out;
    out.swap(missingPanels_);
    return out;
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
    if (commands_.size() <= kKeptCommands) return;
    commands_.pop_front();
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

char* Emulator::newReply(const std::string& command, const std::string& text, bool handBackDue) {
    std::unique_ptr<char[]> copy(new char[text.size() + 1]);
    std::memcpy(copy.get(), text.c_str(), text.size() + 1);
    char* p = copy.get();
    replyBook_[p] = ReplyBook{command, handBackDue ? ReplyState::Due : ReplyState::Kept, std::move(copy)};
    return p;
}

void Emulator::handBack(char* text) {
    if (!text) {
        violation("a null text was handed back");
        return;
    }
    auto it = replyBook_.find(text);
    if (it == replyBook_.end()) {
        violation("a text the host never gave was handed back");
        return;
    }
    ReplyBook& book = it->second;
    switch (book.state) {
        case ReplyState::Due:
            book.state = ReplyState::Back;
            out_.handBack(text);
            returned_.push_back(text);
            if (returned_.size() > kKeptReturnedReplies) {
                replyBook_.erase(returned_.front());
                returned_.pop_front();
            }
            return;
        case ReplyState::Back:
            violation("the reply to \"" + escapeBytes(book.command) + "\" was handed back twice");
            return;
        case ReplyState::Expired:
            violation("the reply to \"" + escapeBytes(book.command) + "\" was handed back after its call ended");
            return;
        case ReplyState::Kept:
            violation("the reply to \"" + escapeBytes(book.command) + "\" was handed back; it is never handed back");
            return;
    }
}

std::string Emulator::resolvePanelPath(const std::string& file) const {
    bool absolute = !file.empty() && (file[0] == '/' || file[0] == '\\' ||
                                      (file.size() > 1 && file[1] == ':'));
    if (absolute || panelFolder_.empty()) return file;
    return panelFolder_ + "/" + file;
}

static const char* usage(const std::string& code) {
    if (code == "PS") return "PS 'panel' 'file' ['extra']";
    if (code == "TP") return "TP 'param=value' 'panel' 'control'";
    if (code == "TG") return "TG 'panel' 'control' 'param'";
    if (code == "XI") return "XI 'panel' 'selector'";
    if (code == "RR") return "RR device first last ['ADD'], first <= last";
    if (code == "RU") return "RU device";
    if (code == "RP") return "RP device first last, first <= last";
    if (code == "ET") return "ET id [interval], interval 1 or more";
    return nullptr;
}

char* Emulator::command(const std::string& text) {
    keepCommand(text);
    if (closed_) {
        out_.command(text, false, nullptr);
        violation("command after AS");
        return nullptr;
    }
    if (text == "AS") {
        out_.command(text, false, nullptr);
        if (!deleting_) violation("AS sent outside the delete");
        closed_ = true;
        return nullptr;
    }
    const std::string code = text.substr(0, 2);
    Outcome o;
    if (!usage(code)) {
        out_.command(text, false, nullptr);
        violation("unknown command");
        return nullptr;
    }
    std::optional<std::vector<CommandArg>> args = splitCommandArguments(text.substr(2));
    // Texts are never escaped: a TP value, a TG parameter or an XI selector
    // may hold "' '" and reads as a tolerant host reads it.
    if (code == "TP" || code == "TG" || code == "XI") {
        std::optional<std::vector<CommandArg>> tolerant =
            splitQuotedArguments(text.substr(2), code == "XI" ? 2 : 3, code == "TP");
        if (tolerant) args = tolerant;
    }
    if (args) {
        currentCommand_ = text;
        perform(code, *args, o);
    } else {
        o.violations.push_back(std::string("malformed command: expected ") + usage(code));
    }
    out_.command(text, o.showReply, o.reply);
    for (const std::string& note : o.notes) out_.note(note);
    for (const Silence& s : o.silences) out_.silent(s.about, s.text);
    for (const auto& [line, message] : o.panelErrors) {
        ++panelErrors_;
        out_.error(args && args->size() > 1 ? (*args)[1].text : "?", line, message);
    }
    for (const std::string& v : o.violations) violation(v);
    return o.reply;
}

static bool allQuoted(const std::vector<CommandArg>& args) {
    for (const CommandArg& a : args)
        if (!a.quoted) return false;
    return true;
}

// Plain numbers, the count given; `numbers` gets them.
static bool numbersOf(const std::vector<CommandArg>& args, size_t count, std::vector<int>& numbers) {
    if (args.size() < count) return false;
    numbers.clear();
    for (size_t i = 0; i < count; ++i) {
        if (args[i].quoted) return false;
        std::optional<int32_t> n = parseInt32(args[i].text);
        if (!n) return false;
        numbers.push_back(*n);
    }
    return true;
}

// Why a poll of a known state found nothing: beyond the router's announced
// size, or nothing routed there.
static std::string nothingRouted(const RouterBackend& backend, int device, int first, int last) {
    const std::string range = std::to_string(first) + ".." + std::to_string(last);
    const int size = backend.announcedSize();
    if (size >= 0 && first > size)
        return "router device " + std::to_string(device) + " has " + std::to_string(size) +
               " destinations, none in " + range + ": poll unanswered";
    return "nothing routed on device " + std::to_string(device) + " in " + range + ": poll unanswered";
}

void Emulator::perform(const std::string& code, const std::vector<CommandArg>& args, Outcome& o) {
    const std::string malformed = std::string("malformed command: expected ") + usage(code);
    std::vector<int> n;
    if (code == "PS") {
        o.showReply = true;
        if (args.size() < 2 || args.size() > 3 || !allQuoted(args)) {
            o.violations.push_back(malformed);
            return;
        }
        const std::string& file = args[1].text;
        std::ifstream in(resolvePanelPath(file), std::ios::binary);
        if (!in) {
            o.notes.push_back("no panel file " + quoteText(file) + ": panel " + quoteText(args[0].text) + " not shown");
            if (!missingPanelsAllowed_) missingPanels_.push_back(file);
            return;
        }
        std::ostringstream content;
        content << in.rdbuf();
        Panel panel;
        if (std::optional<PanelFileError> error = parsePanelFile(content.str(), panel)) {
            o.panelErrors.emplace_back(error->line, error->message);
            return;
        }
        panels_[args[0].text] = panel;
        o.reply = newReply(currentCommand_, "1", false);
        return;
    }
    if (code == "TP") {
        if (args.size() != 3 || !allQuoted(args) || args[0].text.find('=') == std::string::npos) {
            o.violations.push_back(malformed);
            return;
        }
        const std::string& assignment = args[0].text;
        size_t equals = assignment.find('=');
        auto it = panels_.find(args[1].text);
        if (it == panels_.end()) {
            o.notes.push_back("panel " + quoteText(args[1].text) + " is not open: nothing set");
            return;
        }
        Control* control = it->second.control(args[2].text);
        if (!control) {
            o.notes.push_back("panel " + quoteText(args[1].text) + " has no control " + quoteText(args[2].text) +
                              ": nothing set");
            return;
        }
        control->set(assignment.substr(0, equals), assignment.substr(equals + 1));
        return;
    }
    if (code == "TG") {
        o.showReply = true;
        if (args.size() != 3 || !allQuoted(args)) {
            o.violations.push_back(malformed);
            return;
        }
        const Panel* p = panel(args[0].text);
        const Control* control = p ? p->control(args[1].text) : nullptr;
        if (!control) return;
        const std::string& param = args[2].text;
        std::string text;
        if (param == "all") {
            for (const auto& [key, value] : control->params) text += (text.empty() ? "" : ",") + key + "=" + value;
        } else if (const std::string* value = control->param(param)) {
            text = param + "=" + *value;
        } else {
            return;
        }
        o.reply = newReply(currentCommand_, text, true);
        return;
    }
    if (code == "XI") {
        o.showReply = true;
        if (args.size() != 2 || !allQuoted(args)) {
            o.violations.push_back(malformed);
            return;
        }
        const Panel* p = panel(args[0].text);
        if (!p) return;
        std::string names;
        for (const Control& c : p->controls)
            if (c.name.compare(0, args[1].text.size(), args[1].text) == 0) names += (names.empty() ? "" : ",") + c.name;
        if (!names.empty()) o.reply = newReply(currentCommand_, names, true);
        return;
    }
    if (code == "RR") {
        bool add = args.size() == 4 && args[3].quoted && args[3].text == "ADD";
        if (!numbersOf(args, 3, n) || (args.size() != 3 && !add) || n[1] > n[2]) {
            o.violations.push_back(malformed);
            return;
        }
        registrations_.add(n[0], n[1], n[2], add);
        noteLeftBehind(n[0], currentCommand_, o);
        return;
    }
    if (code == "RU") {
        if (args.size() != 1 || !numbersOf(args, 1, n)) {
            o.violations.push_back(malformed);
            return;
        }
        registrations_.remove(n[0]);
        noteLeftBehind(n[0], currentCommand_, o);
        return;
    }
    if (code == "RP") {
        if (args.size() != 3 || !numbersOf(args, 3, n) || n[1] > n[2]) {
            o.violations.push_back(malformed);
            return;
        }
        const std::string device = std::to_string(n[0]);
        const RouterBackend* backend = backends_.find(n[0]);
        if (!backend) {
            o.silences.push_back({"poll", "the router has no device " + device + ": poll unanswered"});
            return;
        }
        PollResult result = backend->poll(n[1], n[2]);
        std::vector<Report>& reports = result.reports;
        if (!result.why.empty())
            o.silences.push_back({"poll", "router device " + device + " " + result.why + ": poll unanswered"});
        else if (reports.empty())
            o.silences.push_back({"poll", nothingRouted(*backend, n[0], n[1], n[2])});
        for (const Report& r : reports) queue_.push_back(r);
        return;
    }
    if (code == "ET") {
        if (args.size() == 1 && numbersOf(args, 1, n)) {
            clock_.stop(n[0]);
            return;
        }
        if (args.size() == 2 && numbersOf(args, 2, n) && n[1] >= 1) {
            clock_.start(n[0], n[1]);
            return;
        }
        o.violations.push_back(malformed);
        return;
    }
}

void Emulator::noteLeftBehind(int device, const std::string& command, Outcome& o) {
    for (int other : registrations_.devices()) {
        if (other == device ||
            std::find(leftBehindNoted_.begin(), leftBehindNoted_.end(), other) != leftBehindNoted_.end())
            continue;
        leftBehindNoted_.push_back(other);
        o.silences.push_back({"registration", "the registration of device " + std::to_string(other) + " (" +
                                                  rangesText(registrations_.of(other)) + ") stays: " + escapeBytes(command) +
                                                  " does not end it"});
    }
}
