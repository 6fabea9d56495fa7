#include "router_model.h"

#include <algorithm>
#include <utility>

namespace {

const std::string kEmpty;

int clampPorts(int count) { return std::clamp(count, 0, kMaxRouterPorts); }

bool inRange(int index, int count) { return index >= 0 && index < count; }

Applied setLabel(std::vector<std::string>& labels, int index, std::string_view label) {
    if (!inRange(index, static_cast<int>(labels.size()))) return Applied::OutOfRange;
    const std::string_view cut = RouterModel::cutLabel(label);
    if (labels[index] == cut) return Applied::Unchanged;
    labels[index].assign(cut.data(), cut.size());
    return Applied::Changed;
}

void resizeLabels(std::vector<std::string>& labels, int count, const std::string& prefix) {
    const int old = static_cast<int>(labels.size());
    labels.resize(count);
    for (int i = old; i < count; ++i) labels[i] = prefix + std::to_string(i + 1);
}

}  // namespace

RouterModel::RouterModel(int inputs, int outputs, Naming naming) : naming_(std::move(naming)) {
    resize(inputs, outputs);
}

bool RouterModel::setPresence(Presence presence) {
    if (presence_ == presence) return false;
    presence_ = presence;
    return true;
}

bool RouterModel::resize(int inputs, int outputs) {
    inputs = clampPorts(inputs);
    outputs = clampPorts(outputs);
    if (inputs == this->inputs() && outputs == this->outputs()) return false;
    resizeLabels(inputLabels_, inputs, naming_.input);
    resizeLabels(outputLabels_, outputs, naming_.output);
    routes_.resize(outputs, kNoInput);
    locks_.resize(outputs, Lock::Unlocked);
    for (int& input : routes_)
        if (input >= inputs) input = kNoInput;
    return true;
}

const std::string& RouterModel::inputLabel(int input) const {
    return inRange(input, inputs()) ? inputLabels_[input] : kEmpty;
}

const std::string& RouterModel::outputLabel(int output) const {
    return inRange(output, outputs()) ? outputLabels_[output] : kEmpty;
}

int RouterModel::route(int output) const { return inRange(output, outputs()) ? routes_[output] : kNoInput; }

Lock RouterModel::lock(int output) const { return inRange(output, outputs()) ? locks_[output] : Lock::Unlocked; }

Applied RouterModel::setInputLabel(int input, std::string_view label) { return setLabel(inputLabels_, input, label); }

Applied RouterModel::setOutputLabel(int output, std::string_view label) {
    return setLabel(outputLabels_, output, label);
}

Applied RouterModel::setRoute(int output, int input) {
    if (!inRange(output, outputs()) || !inRange(input, inputs())) return Applied::OutOfRange;
    if (routes_[output] == input) return Applied::Unchanged;
    routes_[output] = input;
    return Applied::Changed;
}

Applied RouterModel::setLock(int output, Lock lock) {
    if (!inRange(output, outputs())) return Applied::OutOfRange;
    if (locks_[output] == lock) return Applied::Unchanged;
    locks_[output] = lock;
    return Applied::Changed;
}

std::vector<int> RouterModel::outputsFedBy(int input) const {
    std::vector<int> out;
    for (int output = 0; output < outputs(); ++output)
        if (routes_[output] == input && input != kNoInput) out.push_back(output);
    return out;
}

std::string_view RouterModel::cutLabel(std::string_view label) {
    if (label.size() <= kMaxLabelBytes) return label;
    size_t end = kMaxLabelBytes;
    // Back up over continuation bytes (10xxxxxx) to the start of the cut sequence.
    while (end > 0 && (static_cast<unsigned char>(label[end]) & 0xC0) == 0x80) --end;
    return label.substr(0, end);
}
