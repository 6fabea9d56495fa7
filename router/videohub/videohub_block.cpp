#include "videohub_block.h"

#include <utility>

std::string_view blockHeader(BlockKind kind) {
    switch (kind) {
    case BlockKind::Preamble: return "PROTOCOL PREAMBLE:";
    case BlockKind::Device: return "VIDEOHUB DEVICE:";
    case BlockKind::InputLabels: return "INPUT LABELS:";
    case BlockKind::OutputLabels: return "OUTPUT LABELS:";
    case BlockKind::Routing: return "VIDEO OUTPUT ROUTING:";
    case BlockKind::Locks: return "VIDEO OUTPUT LOCKS:";
    case BlockKind::EndPrelude: return "END PRELUDE:";
    case BlockKind::Ping: return "PING:";
    case BlockKind::Ack: return "ACK";
    case BlockKind::Nak: return "NAK";
    case BlockKind::Unknown:
    case BlockKind::Stray: break;
    }
    return "";
}

static void record(std::vector<SkippedLine>& list, size_t& count, std::string_view text, std::string reason) {
    ++count;
    if (list.size() < kMaxSkippedRecords)
        list.push_back(SkippedLine{std::string(text.substr(0, kMaxSkippedText)), std::move(reason)});
}

void VideohubBlock::skip(std::string_view text, std::string reason) {
    record(skipped, skippedCount, text, std::move(reason));
}

static void reject(ApplyResult& result, const std::string& text, std::string reason) {
    record(result.rejected, result.rejectedCount, text, std::move(reason));
}

static void note(ApplyResult& result, Applied applied, ChangeKind kind, int index, const std::string& line,
                 const char* what, int count) {
    if (applied == Applied::Changed)
        result.changes.push_back(RouterChange{kind, index});
    else if (applied == Applied::OutOfRange)
        reject(result, line, std::string(what) + " out of range (router has " + std::to_string(count) + ")");
}

static void applyDevice(RouterModel& model, const DeviceInfo& device, ApplyResult& result) {
    bool changed = false;
    if (device.presence) changed = model.setPresence(*device.presence);
    const int inputs = device.inputs >= 0 ? device.inputs : model.inputs();
    const int outputs = device.outputs >= 0 ? device.outputs : model.outputs();
    if (model.resize(inputs, outputs)) changed = true;
    if (changed) result.changes.push_back(RouterChange{ChangeKind::Device, -1});
}

ApplyResult applyBlock(RouterModel& model, const VideohubBlock& block) {
    ApplyResult result;
    switch (block.kind) {
    case BlockKind::Device: applyDevice(model, block.device, result); break;
    case BlockKind::InputLabels:
        for (const LabelLine& l : block.labels)
            note(result, model.setInputLabel(l.index, l.text), ChangeKind::InputLabel, l.index,
                 std::to_string(l.index) + " " + l.text, "input", model.inputs());
        break;
    case BlockKind::OutputLabels:
        for (const LabelLine& l : block.labels)
            note(result, model.setOutputLabel(l.index, l.text), ChangeKind::OutputLabel, l.index,
                 std::to_string(l.index) + " " + l.text, "output", model.outputs());
        break;
    case BlockKind::Routing:
        for (const RouteLine& r : block.routes) {
            const std::string line = std::to_string(r.output) + " " + std::to_string(r.input);
            if (r.input >= model.inputs() && r.output < model.outputs())
                note(result, Applied::OutOfRange, ChangeKind::Route, r.output, line, "input", model.inputs());
            else
                note(result, model.setRoute(r.output, r.input), ChangeKind::Route, r.output, line, "output",
                     model.outputs());
        }
        break;
    case BlockKind::Locks:
        for (const LockLine& l : block.locks) {
            const std::string line = std::to_string(l.output) + " " + l.state;
            if (l.state == 'F') {
                reject(result, line, "a router never sends F");
                continue;
            }
            const Lock lock = l.state == 'O' ? Lock::Owned : l.state == 'L' ? Lock::Locked : Lock::Unlocked;
            note(result, model.setLock(l.output, lock), ChangeKind::Lock, l.output, line, "output", model.outputs());
        }
        break;
    default: break;
    }
    return result;
}
