#include "videohub_format.h"

#include "text_bytes.h"

static std::string header(BlockKind kind) { return std::string(blockHeader(kind)) + "\n"; }

static void appendLabel(std::string& out, std::string_view label) {
    for (char c : label) out.push_back(isControlByte(c) ? ' ' : c);
}

std::string formatRequest(BlockKind kind) { return header(kind) + "\n"; }
std::string formatPing() { return formatRequest(BlockKind::Ping); }
std::string formatAck() { return "ACK\n\n"; }
std::string formatNak() { return "NAK\n\n"; }

char lockChar(Lock lock) { return lock == Lock::Owned ? 'O' : lock == Lock::Locked ? 'L' : 'U'; }

std::string formatRoutes(const std::vector<RouteLine>& routes) {
    std::string out = header(BlockKind::Routing);
    for (const RouteLine& r : routes) out += std::to_string(r.output) + " " + std::to_string(r.input) + "\n";
    return out + "\n";
}

std::string formatLabels(BlockKind kind, const std::vector<LabelLine>& labels) {
    std::string out = header(kind);
    for (const LabelLine& l : labels) {
        out += std::to_string(l.index) + " ";
        appendLabel(out, l.text);
        out += "\n";
    }
    return out + "\n";
}

std::string formatLocks(const std::vector<LockLine>& locks) {
    std::string out = header(BlockKind::Locks);
    for (const LockLine& l : locks) out += std::to_string(l.output) + " " + l.state + "\n";
    return out + "\n";
}

std::string formatPreamble() { return header(BlockKind::Preamble) + "Version: " + std::string(kVideohubVersion) + "\n\n"; }

std::string formatDevice(const RouterModel& model, std::string_view modelName) {
    std::string out = header(BlockKind::Device);
    if (!model.present())
        return out + "Device present: " + (model.presence() == Presence::Absent ? "false" : "needs_update") + "\n\n";
    out += "Device present: true\nModel name: ";
    appendLabel(out, modelName);
    out += "\nVideo inputs: " + std::to_string(model.inputs()) + "\nVideo processing units: 0\nVideo outputs: " +
           std::to_string(model.outputs()) + "\nVideo monitoring outputs: 0\nSerial ports: 0\n\n";
    return out;
}

std::string formatModelLabels(const RouterModel& model, BlockKind kind) {
    const bool inputs = kind == BlockKind::InputLabels;
    std::vector<LabelLine> labels;
    const int count = inputs ? model.inputs() : model.outputs();
    labels.reserve(count);
    for (int i = 0; i < count; ++i)
        labels.push_back(LabelLine{i, inputs ? model.inputLabel(i) : model.outputLabel(i), false});
    return formatLabels(kind, labels);
}

std::string formatModelRoutes(const RouterModel& model) {
    std::vector<RouteLine> routes;
    for (int output = 0; output < model.outputs(); ++output)
        if (model.route(output) != kNoInput) routes.push_back(RouteLine{output, model.route(output)});
    return formatRoutes(routes);
}

std::string formatModelLocks(const RouterModel& model, const std::function<Lock(int)>& lockOf) {
    std::vector<LockLine> locks;
    for (int output = 0; output < model.outputs(); ++output)
        locks.push_back(LockLine{output, lockChar(lockOf ? lockOf(output) : model.lock(output))});
    return formatLocks(locks);
}

std::string formatDump(const RouterModel& model, std::string_view modelName, const std::function<Lock(int)>& lockOf) {
    std::string out = formatPreamble() + formatDevice(model, modelName);
    if (!model.present()) return out;
    return out + formatModelLabels(model, BlockKind::InputLabels) + formatModelLabels(model, BlockKind::OutputLabels) +
           formatModelLocks(model, lockOf) + formatModelRoutes(model) + formatRequest(BlockKind::EndPrelude);
}
