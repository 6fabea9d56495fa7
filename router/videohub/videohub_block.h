// The blocks of the Videohub Ethernet protocol as typed values, and how a
// block the router sent changes a RouterModel.
//
// A block is a header line in capitals ending in ':', then lines, then one
// blank line; ACK and NAK are answers of one line (followed by a blank line).
// A header with no lines asks for that block. Indices are 0-based, as in the
// RouterModel.
#ifndef VESK_VIDEOHUB_BLOCK_H
#define VESK_VIDEOHUB_BLOCK_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "router_model.h"

enum class BlockKind {
    Preamble,      // PROTOCOL PREAMBLE:
    Device,        // VIDEOHUB DEVICE:
    InputLabels,   // INPUT LABELS:
    OutputLabels,  // OUTPUT LABELS:
    Routing,       // VIDEO OUTPUT ROUTING:
    Locks,         // VIDEO OUTPUT LOCKS:
    EndPrelude,    // END PRELUDE:
    Ping,          // PING:
    Ack,           // ACK
    Nak,           // NAK
    Unknown,       // any other header: its lines are counted, not kept
    Stray,         // lines outside any block: each is in `skipped`
};

// The header text of a kind ("VIDEO OUTPUT ROUTING:", "ACK"); "" for Unknown
// and Stray.
std::string_view blockHeader(BlockKind kind);

struct DeviceInfo {
    std::optional<Presence> presence;  // "Device present: true|false|needs_update"
    int inputs = -1;                   // "Video inputs: N"; -1 when not given
    int outputs = -1;                  // "Video outputs: M"; -1 when not given
    std::string modelName;             // "Model name: ...", cut to kMaxLabelBytes
};

struct LabelLine {
    int index;
    std::string text;  // cut to kMaxLabelBytes
    bool cut;          // the label was longer and was cut
};

struct RouteLine {
    int output;
    int input;
};

// 'U' unlocked, 'O' owned by the receiver, 'L' locked by another client,
// 'F' (from a client) force an unlock.
struct LockLine {
    int output;
    char state;
};

// A line that was not used, and why. `text` is cut to kMaxSkippedText bytes.
struct SkippedLine {
    std::string text;
    std::string reason;
};
constexpr size_t kMaxSkippedText = 80;
// Skipped lines kept per block; the rest are only counted.
constexpr size_t kMaxSkippedRecords = 8;
// Entries kept per block; later lines are skipped ("block too long").
constexpr size_t kMaxBlockEntries = 2 * kMaxRouterPorts;

struct VideohubBlock {
    BlockKind kind = BlockKind::Unknown;
    std::string header;  // the header line as received, cut to kMaxSkippedText
    size_t lines = 0;    // lines between the header and the blank line
    std::string version;  // Preamble: "Version: x"
    DeviceInfo device;
    std::vector<LabelLine> labels;  // InputLabels, OutputLabels
    std::vector<RouteLine> routes;  // Routing
    std::vector<LockLine> locks;    // Locks
    std::vector<SkippedLine> skipped;  // the first kMaxSkippedRecords
    size_t skippedCount = 0;

    // A header with no lines: the client asks for the whole block.
    bool request() const { return lines == 0 && kind != BlockKind::Stray; }
    // Records a skipped line (kept while there is room, always counted).
    void skip(std::string_view text, std::string reason);
};

// What applying a router's block changed, and the entries that did not fit
// the model (an index beyond its size, a lock state it cannot hold).
struct ApplyResult {
    std::vector<RouterChange> changes;
    std::vector<SkippedLine> rejected;  // the first kMaxSkippedRecords
    size_t rejectedCount = 0;
};

// Applies a block a router sent to `model`: device presence and sizes,
// labels, routes, locks ('F' is rejected: only clients send it). Other kinds
// change nothing. Each entry is applied on its own; those out of the model's
// range are rejected with a reason.
ApplyResult applyBlock(RouterModel& model, const VideohubBlock& block);

#endif  // VESK_VIDEOHUB_BLOCK_H
