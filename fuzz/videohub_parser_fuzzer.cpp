// Fuzzes the Videohub block parser with the bytes of a router's stream. The
// first byte chooses the size of the pieces the rest arrives in. Checks:
//   - the blocks do not depend on how the bytes were split;
//   - applied to a model they keep its bounds (sizes, label lengths, routes);
//   - the model's dump reads back as the same state.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "router_model.h"
#include "videohub_format.h"
#include "videohub_parser.h"

namespace {

std::string signature(const std::vector<VideohubBlock>& blocks) {
    std::string out;
    for (const VideohubBlock& b : blocks) {
        out += b.header + "|" + std::to_string(b.lines) + "|" + std::to_string(b.labels.size()) + "|" +
               std::to_string(b.routes.size()) + "|" + std::to_string(b.locks.size()) + "|" +
               std::to_string(b.skippedCount) + "\n";
        for (const LabelLine& l : b.labels) out += std::to_string(l.index) + " " + l.text + "\n";
    }
    return out;
}

std::string state(const RouterModel& m) {
    std::string out = std::to_string(static_cast<int>(m.presence())) + " " + std::to_string(m.inputs()) + "x" +
                      std::to_string(m.outputs()) + "\n";
    for (int i = 0; i < m.inputs(); ++i) out += m.inputLabel(i) + "\n";
    for (int o = 0; o < m.outputs(); ++o)
        out += m.outputLabel(o) + " <" + std::to_string(m.route(o)) + lockChar(m.lock(o)) + "\n";
    return out;
}

void checkBounds(const RouterModel& m, const std::string& input) {
    if (m.inputs() < 0 || m.inputs() > kMaxRouterPorts || m.outputs() < 0 || m.outputs() > kMaxRouterPorts)
        FuzzFail("model size out of bounds", input);
    for (int i = 0; i < m.inputs(); ++i)
        if (m.inputLabel(i).size() > kMaxLabelBytes) FuzzFail("input label too long", input);
    for (int o = 0; o < m.outputs(); ++o) {
        if (m.outputLabel(o).size() > kMaxLabelBytes) FuzzFail("output label too long", input);
        if (m.route(o) != kNoInput && (m.route(o) < 0 || m.route(o) >= m.inputs())) FuzzFail("route out of range", input);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = data[0] == 0 ? 1 : data[0];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::string input(bytes);

    VideohubParser whole;
    std::vector<VideohubBlock> blocks;
    const bool ok = whole.feed(bytes, blocks);

    VideohubParser split;
    std::vector<VideohubBlock> splitBlocks;
    bool splitOk = true;
    for (size_t at = 0; at < bytes.size(); at += piece) splitOk = split.feed(bytes.substr(at, piece), splitBlocks);
    if (ok != splitOk || signature(blocks) != signature(splitBlocks)) FuzzFail("blocks depend on the splits", input);
    if (ok && whole.midBlock() != split.midBlock()) FuzzFail("midBlock depends on the splits", input);

    RouterModel model(16, 16);
    for (const VideohubBlock& block : blocks) {
        const ApplyResult result = applyBlock(model, block);
        if (result.rejected.size() > kMaxSkippedRecords) FuzzFail("rejected list unbounded", input);
        checkBounds(model, input);
    }

    RouterModel copy(0, 0);
    VideohubParser reader;
    std::vector<VideohubBlock> dump;
    if (!reader.feed(formatDump(model, "fuzz"), dump)) FuzzFail("dump has an over-long line", input);
    for (const VideohubBlock& block : dump) {
        if (block.skippedCount != 0) FuzzFail("dump has a line the parser skips: " + block.skipped[0].text, input);
        applyBlock(copy, block);
    }
    if (model.present() && state(copy) != state(model)) FuzzFail("dump reads back differently", input);
    return 0;
}
