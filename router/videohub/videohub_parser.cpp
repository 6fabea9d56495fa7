#include "videohub_parser.h"

#include <utility>

#include "text_bytes.h"

namespace {

bool isHeader(std::string_view line) {
    if (line.size() < 2 || line.back() != ':' || line[0] < 'A' || line[0] > 'Z') return false;
    for (char c : line.substr(0, line.size() - 1))
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' || c == '_' || c == '-')) return false;
    return true;
}

BlockKind kindOf(std::string_view header) {
    for (BlockKind kind : {BlockKind::Preamble, BlockKind::Device, BlockKind::InputLabels, BlockKind::OutputLabels,
                           BlockKind::Routing, BlockKind::Locks, BlockKind::EndPrelude, BlockKind::Ping})
        if (header == blockHeader(kind)) return kind;
    return BlockKind::Unknown;
}

// A decimal in 0..limit: digits only. Null with `reason` set otherwise.
std::optional<int> number(std::string_view text, int limit, std::string& reason) {
    if (text.empty()) {
        reason = "missing number";
        return std::nullopt;
    }
    if (text[0] == '-') {
        reason = "negative number";
        return std::nullopt;
    }
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            reason = "not a number";
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > limit) {
            reason = "number above " + std::to_string(limit);
            return std::nullopt;
        }
    }
    return static_cast<int>(value);
}

// "INDEX REST": the index (0..kMaxRouterPorts-1) and, in `rest`, what
// follows its blank. Null with `reason` set when there is no such index.
std::optional<int> leadingIndex(std::string_view line, std::string_view& rest, std::string& reason) {
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) {
        reason = "no blank after the index";
        return std::nullopt;
    }
    rest = line.substr(blank + 1);
    return number(line.substr(0, blank), kMaxRouterPorts - 1, reason);
}

std::string_view trimRight(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// "Key: value" split at the first ": ". False when there is none.
bool keyValue(std::string_view line, std::string_view& key, std::string_view& value) {
    const size_t colon = line.find(": ");
    if (colon == std::string_view::npos) return false;
    key = line.substr(0, colon);
    value = trimRight(line.substr(colon + 2));
    return true;
}

void deviceLine(VideohubBlock& block, std::string_view line) {
    std::string_view key, value;
    if (!keyValue(line, key, value)) return block.skip(line, "no \"key: value\"");
    std::string reason;
    if (key == "Device present") {
        if (value == "true")
            block.device.presence = Presence::Present;
        else if (value == "false")
            block.device.presence = Presence::Absent;
        else if (value == "needs_update")
            block.device.presence = Presence::NeedsUpdate;
        else
            block.skip(line, "unknown presence");
    } else if (key == "Video inputs" || key == "Video outputs") {
        const std::optional<int> count = number(value, kMaxRouterPorts, reason);
        if (!count) return block.skip(line, reason);
        (key == "Video inputs" ? block.device.inputs : block.device.outputs) = *count;
    } else if (key == "Model name") {
        block.device.modelName = std::string(RouterModel::cutLabel(value));
    }
    // Other keys (processing units, serial ports, names) are not used.
}

}  // namespace

void VideohubParser::reset() {
    line_.clear();
    afterCR_ = false;
    failed_ = false;
    open_.reset();
}

bool VideohubParser::feed(std::string_view bytes, std::vector<VideohubBlock>& blocks) {
    if (failed_) return false;
    for (char c : bytes) {
        if (c == '\n' && afterCR_) {
            afterCR_ = false;
            continue;
        }
        afterCR_ = c == '\r';
        if (c == '\n' || c == '\r') {
            endLine(blocks);
            continue;
        }
        if (line_.size() >= kMaxVideohubLine) {
            failed_ = true;
            line_.clear();
            line_.shrink_to_fit();
            open_.reset();
            return false;
        }
        line_.push_back(c);
    }
    return true;
}

void VideohubParser::endLine(std::vector<VideohubBlock>& blocks) {
    const std::string line = std::move(line_);
    line_.clear();
    const bool stray = open_ && open_->kind == BlockKind::Stray;
    if (open_ && !stray) {
        if (line.empty()) {
            blocks.push_back(std::move(*open_));
            open_.reset();
        } else {
            blockLine(*open_, line);
        }
        return;
    }
    // Between blocks (or in a run of stray lines).
    const bool answer = line == "ACK" || line == "NAK";
    if (line.empty() || answer || isHeader(line)) {
        if (stray) {
            blocks.push_back(std::move(*open_));
            open_.reset();
        }
        if (answer) {
            VideohubBlock block;
            block.kind = line == "ACK" ? BlockKind::Ack : BlockKind::Nak;
            block.header = line;
            blocks.push_back(std::move(block));
        } else if (!line.empty()) {
            open_.emplace();
            open_->kind = kindOf(line);
            open_->header = line.substr(0, kMaxSkippedText);
        }
        return;
    }
    if (!stray) {
        open_.emplace();
        open_->kind = BlockKind::Stray;
    }
    ++open_->lines;
    open_->skip(line, "outside any block");
}

void VideohubParser::blockLine(VideohubBlock& block, std::string_view line) {
    ++block.lines;
    if (findControlByte(line) != std::string_view::npos) return block.skip(line, "control byte in line");
    if (block.labels.size() + block.routes.size() + block.locks.size() >= kMaxBlockEntries)
        return block.skip(line, "block too long");

    std::string reason;
    switch (block.kind) {
    case BlockKind::Preamble: {
        std::string_view key, value;
        if (keyValue(line, key, value) && key == "Version") block.version = std::string(value.substr(0, 32));
        break;
    }
    case BlockKind::Device: deviceLine(block, line); break;
    case BlockKind::InputLabels:
    case BlockKind::OutputLabels: {
        std::string_view label;
        const std::optional<int> index = leadingIndex(line, label, reason);
        if (!index) return block.skip(line, reason);
        const std::string_view cut = RouterModel::cutLabel(label);
        block.labels.push_back(LabelLine{*index, std::string(cut), cut.size() != label.size()});
        break;
    }
    case BlockKind::Routing:
    case BlockKind::Locks: {
        std::string_view rest;
        const std::optional<int> output = leadingIndex(line, rest, reason);
        if (!output) return block.skip(line, reason);
        rest = trimRight(rest);
        if (block.kind == BlockKind::Locks) {
            if (rest.size() != 1 || std::string_view("UOLF").find(rest[0]) == std::string_view::npos)
                return block.skip(line, "lock state is not U, O, L or F");
            block.locks.push_back(LockLine{*output, rest[0]});
        } else {
            const std::optional<int> input = number(rest, kMaxRouterPorts - 1, reason);
            if (!input) return block.skip(line, "input: " + reason);
            block.routes.push_back(RouteLine{*output, *input});
        }
        break;
    }
    case BlockKind::Unknown: break;  // counted in `lines`, nothing kept
    default: block.skip(line, "no lines expected"); break;
    }
}
