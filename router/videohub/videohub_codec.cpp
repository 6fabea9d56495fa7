#include "videohub_codec.h"


#include "videohub_format.h"

void VideohubCodec::connected(CodecLink&) {
    parser_.reset();
    routingSeen_ = false;
    unknownHeaders_.clear();
}

std::string VideohubCodec::unknown() const {
    if (!model_.present()) return "says its device is not present";
    if (!routingSeen_) return "has not sent its routing yet";
    return "";
}

std::string VideohubCodec::closedBecause() const {
    return parser_.midBlock() ? "the router closed it in the middle of a block" : "the router closed it";
}

std::optional<CodecRequest> VideohubCodec::keepAlive() { return CodecRequest{formatPing(), "the keep-alive", 0}; }

void VideohubCodec::received(std::string_view bytes, CodecLink& link) {
    std::vector<VideohubBlock> blocks;
    const bool inStep = parser_.feed(bytes, blocks);
    for (const VideohubBlock& block : blocks) handle(block, link);
    if (!inStep) link.drop("a line longer than " + std::to_string(kMaxVideohubLine) + " bytes");
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

void VideohubCodec::handle(const VideohubBlock& block, CodecLink& link) {
    if (block.kind == BlockKind::Stray)
        link.problem("skipped " + std::to_string(block.skippedCount) + " line(s) outside any block, first " +
                     link.quote(block.skipped.empty() ? "" : block.skipped.front().text));
    else if (block.skippedCount)
        noteSkipped(block.header, block.skippedCount, block.skipped.front(), link);
    switch (block.kind) {
        case BlockKind::Ack:
        case BlockKind::Nak: link.answered(block.kind == BlockKind::Ack); break;
        case BlockKind::Device:
        case BlockKind::InputLabels:
        case BlockKind::OutputLabels:
        case BlockKind::Routing:
        case BlockKind::Locks:
            if (!block.request()) apply(block, link);
            break;
        case BlockKind::EndPrelude:
            link.ready();
            if (!routingSeen_) link.problem("sent its state without the routing: polls stay unanswered until it does");
            break;
        case BlockKind::Unknown:
            if (!documented(block.header) && unknownHeaders_.size() < kMaxUnknownHeaders &&
                unknownHeaders_.insert(block.header).second)
                link.problem("skipped the block " + link.quote(block.header) + ": not one this emulator uses");
            break;
        case BlockKind::Stray:
        case BlockKind::Preamble:
        case BlockKind::Ping: break;
    }
}

void VideohubCodec::noteDevice(const VideohubBlock& block, CodecLink& link) {
    if (block.device.presence && !model_.present()) {
        routingSeen_ = false;
        link.ready();
        link.problem(std::string("says its device is ") +
                     (model_.presence() == Presence::Absent ? "not present" : "in need of an update") +
                     ": polls stay unanswered until it is back");
    }
    if (block.device.outputs >= 0) link.sized(model_.outputs());
}

void VideohubCodec::apply(const VideohubBlock& block, CodecLink& link) {
    const bool wasKnown = known();
    const ApplyResult result = applyBlock(model_, block);
    if (block.kind == BlockKind::Routing) routingSeen_ = true;
    if (block.kind == BlockKind::Device) noteDevice(block, link);
    if (result.rejectedCount) noteSkipped(block.header, result.rejectedCount, result.rejected.front(), link);
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
    link.changed(outputs);
}

void VideohubCodec::noteSkipped(const std::string& header, size_t count, const SkippedLine& first, CodecLink& link) {
    link.problem("skipped " + std::to_string(count) + " line(s) of " + link.quote(header) + ", first " +
                 link.quote(first.text) + " (" + first.reason + ")");
}

int VideohubCodec::routableOutputs() const { return known() ? model_.outputs() : kMaxRouterPorts; }
int VideohubCodec::routableInputs() const { return known() ? model_.inputs() : kMaxRouterPorts; }

CodecRequest VideohubCodec::route(int output, int input) const {
    return CodecRequest{formatRoutes({RouteLine{output, input}}), "", 0};
}

std::string VideohubCodec::labelRefusal(const std::string& label) const {
    return label.find_first_of("\r\n") != std::string::npos ? "takes no line end in a label: label not sent" : "";
}

CodecRequest VideohubCodec::label(int input, const std::string& text) const {
    return CodecRequest{formatLabels(BlockKind::InputLabels, {LabelLine{input, text, false}}), "", 0};
}
