#include "routers/videohub_client.h"

#include "base/text.h"
#include "videohub_format.h"

VideohubClient::VideohubClient(asio::io_context& io, int device, const std::string& host, uint16_t port,
                               ClientTiming timing, BackendEvents& events)
    : device_(device), events_(events), model_(0, 0), client_(io, host, port, timing, *this) {
    client_.start();
}

VideohubClient::~VideohubClient() { client_.stop(); }

void VideohubClient::note(const std::string& text) {
    events_.note(device_, "router device " + std::to_string(device_) + " " + text);
}

std::string VideohubClient::describe() const {
    std::string text = "videohub " + client_.address() + (client_.connected() ? ", connected" : ", not connected");
    if (announcedOutputs_ >= 0) text += ", " + std::to_string(announcedOutputs_) + " outputs";
    return text;
}

void VideohubClient::connected() {
    // The model stays: "state" shows the routes last learned until the new
    // connection's dump replaces them.
    parser_.reset();
    routingSeen_ = false;
    unknownHeaders_.clear();
}

std::string VideohubClient::closedBecause() const {
    return parser_.midBlock() ? "the router closed it in the middle of a block" : "the router closed it";
}

std::string VideohubClient::keepAlive() { return formatPing(); }

void VideohubClient::received(std::string_view bytes) {
    std::vector<VideohubBlock> blocks;
    const bool inStep = parser_.feed(bytes, blocks);
    for (const VideohubBlock& block : blocks) {
        handle(block);
        if (!client_.connected()) return;
    }
    if (!inStep) client_.drop("a line longer than " + std::to_string(kMaxVideohubLine) + " bytes");
}

// Blocks of the protocol that say nothing about video routing: skipped
// without a note.
static bool documented(const std::string& header) {
    static const char* const kHeaders[] = {
        "MONITORING OUTPUT LABELS:", "SERIAL PORT LABELS:", "FRAME LABELS:", "VIDEO MONITORING OUTPUT ROUTING:",
        "SERIAL PORT ROUTING:", "PROCESSING UNIT ROUTING:", "FRAME BUFFER ROUTING:", "MONITORING OUTPUT LOCKS:",
        "SERIAL PORT LOCKS:", "PROCESSING UNIT LOCKS:", "FRAME BUFFER LOCKS:", "SERIAL PORT DIRECTIONS:",
        "VIDEO INPUT STATUS:", "VIDEO OUTPUT STATUS:", "SERIAL PORT STATUS:", "CONFIGURATION:", "ALARM STATUS:"};
    for (const char* known : kHeaders)
        if (header == known) return true;
    return false;
}

void VideohubClient::handle(const VideohubBlock& block) {
    if (block.kind == BlockKind::Stray) {
        note("skipped " + std::to_string(block.skippedCount) + " line(s) outside any block, first " +
             quoteText(block.skipped.empty() ? "" : block.skipped.front().text));
    } else if (block.skippedCount) {
        noteSkipped(block.header, block.skippedCount, block.skipped.front());
    }
    switch (block.kind) {
        case BlockKind::Ack:
        case BlockKind::Nak:
            client_.answered(block.kind == BlockKind::Ack);
            break;
        case BlockKind::Device:
        case BlockKind::InputLabels:
        case BlockKind::OutputLabels:
        case BlockKind::Routing:
        case BlockKind::Locks:
            if (!block.request()) apply(block);
            break;
        case BlockKind::EndPrelude:
            settled_ = true;
            if (!routingSeen_) note("sent its state without the routing: polls stay unanswered until it does");
            break;
        case BlockKind::Unknown:
            if (!documented(block.header) && unknownHeaders_.size() < 64 && unknownHeaders_.insert(block.header).second)
                note("skipped the block " + quoteText(block.header) + ": not one this emulator uses");
            break;
        case BlockKind::Stray:
        case BlockKind::Preamble:
        case BlockKind::Ping:
            break;
    }
}

void VideohubClient::noteDevice(const VideohubBlock& block) {
    if (block.device.presence && !model_.present()) {
        routingSeen_ = false;
        settled_ = true;
        note(std::string("says its device is ") +
             (model_.presence() == Presence::Absent ? "not present" : "in need of an update") +
             ": polls stay unanswered until it is back");
    }
    if (block.device.outputs >= 0 && model_.outputs() != announcedOutputs_) {
        announcedOutputs_ = model_.outputs();
        forgetBeyond(announcedOutputs_);
        events_.size(device_, announcedOutputs_, link());
    }
}

void VideohubClient::forgetBeyond(int outputs) {
    const std::vector<int> gone = reported_.forgetFrom(outputs);
    if (gone.empty()) return;
    const std::string which = gone.size() == 1 ? "destination " + std::to_string(gone.front()) + " is"
                                               : "destinations " + std::to_string(gone.front()) + ".." +
                                                     std::to_string(gone.back()) + " are";
    note("has " + std::to_string(outputs) + " outputs now: " + which +
         " gone; a component showing one keeps its last report");
}

void VideohubClient::apply(const VideohubBlock& block) {
    const bool wasKnown = known();
    const ApplyResult result = applyBlock(model_, block);
    if (block.kind == BlockKind::Routing) routingSeen_ = true;
    if (block.kind == BlockKind::Device) noteDevice(block);
    if (result.rejectedCount) noteSkipped(block.header, result.rejectedCount, result.rejected.front());
    if (!known()) return;
    std::set<int> outputs;
    bool all = !wasKnown;
    for (const RouterChange& change : result.changes) {
        if (change.kind == ChangeKind::Device) all = true;
        if (change.kind == ChangeKind::Route) outputs.insert(change.index);
        if (change.kind == ChangeKind::InputLabel)
            for (int output : model_.outputsFedBy(change.index)) outputs.insert(output);
    }
    if (all)
        for (int output = 0; output < model_.outputs(); ++output) outputs.insert(output);
    compare(outputs);
}

void VideohubClient::noteSkipped(const std::string& header, size_t count, const SkippedLine& first) {
    note("skipped " + std::to_string(count) + " line(s) of " + quoteText(header) + ", first " + quoteText(first.text) +
         " (" + first.reason + ")");
}

bool VideohubClient::known() const { return client_.connected() && model_.present() && routingSeen_; }

void VideohubClient::compare(const std::set<int>& outputs) { reported_.compare(model_, device_, outputs, events_); }

PollResult VideohubClient::poll(int first, int last) const {
    if (!client_.connected()) return PollResult{"is not connected", {}};
    if (!model_.present()) return PollResult{"says its device is not present", {}};
    if (!routingSeen_) return PollResult{"has not sent its routing yet", {}};
    return PollResult{"", routedDestinations(model_, device_, first, last)};
}

std::vector<Report> VideohubClient::knownRoutes(int first, int last) const {
    return routedDestinations(model_, device_, first, last);
}

bool VideohubClient::route(int destination, int source, std::string& why) {
    if (destination < 1 || source < 1 || (known() && (destination > model_.outputs() || source > model_.inputs()))) {
        why = "has destinations 1.." + std::to_string(model_.outputs()) + " and sources 1.." +
              std::to_string(model_.inputs()) + ": route not sent";
        return false;
    }
    if (!client_.connected()) {
        why = "is not connected: route not sent";
        return false;
    }
    const std::string block = formatRoutes({RouteLine{outputOfDestination(destination), inputOfSource(source)}});
    client_.request(block, "the route of destination " + std::to_string(destination) + " to source " +
                               std::to_string(source));
    return true;
}

bool VideohubClient::rename(int source, const std::string& name, std::string& why) {
    if (source < 1 || (known() && source > model_.inputs())) {
        why = "has sources 1.." + std::to_string(model_.inputs()) + ": label not sent";
        return false;
    }
    if (name.find_first_of("\r\n") != std::string::npos) {
        why = "takes no line end in a label: label not sent";
        return false;
    }
    if (!client_.connected()) {
        why = "is not connected: label not sent";
        return false;
    }
    const std::string block = formatLabels(BlockKind::InputLabels, {LabelLine{inputOfSource(source), name, false}});
    client_.request(block, "the label " + quoteText(name) + " of source " + std::to_string(source));
    return true;
}

void VideohubClient::linkChanged(const LinkChange& change) {
    link_ = linkOf(change, "videohub", client_.address());
    queueLinkChange(events_, device_, change, "videohub", client_.address());
}

RouterLink VideohubClient::link() const {
    RouterLink link = link_;
    link.protocol = "videohub";
    link.address = client_.address();
    link.repeats = 0;
    return link;
}
