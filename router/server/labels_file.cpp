#include "labels_file.h"

#include <filesystem>
#include <fstream>
#include <vector>

#include "text_bytes.h"
#include "videohub_parser.h"

// Why `block` cannot be applied, or "".
static std::string refusal(const VideohubBlock& block) {
    if (block.kind != BlockKind::InputLabels && block.kind != BlockKind::OutputLabels &&
        block.kind != BlockKind::Routing) {
        const std::string what = !block.header.empty() ? block.header
                                 : block.skipped.empty() ? std::string("lines outside any block")
                                                         : block.skipped[0].text;
        return "only INPUT LABELS:, OUTPUT LABELS: and VIDEO OUTPUT ROUTING: blocks, not " + what;
    }
    if (block.skippedCount) return block.skipped[0].reason + ": " + block.skipped[0].text;
    return "";
}

// Applies `blocks`; "" or the first problem.
static std::string applyAll(const std::vector<VideohubBlock>& blocks, RouterModel& model) {
    for (const VideohubBlock& block : blocks) {
        const std::string why = refusal(block);
        if (!why.empty()) return why;
        const ApplyResult result = applyBlock(model, block);
        if (result.rejectedCount) return result.rejected[0].reason + ": " + result.rejected[0].text;
    }
    return "";
}

// "" when `path` names a regular file, else why not.
static std::string notARegularFile(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error) return "cannot be read (" + error.message() + ")";
    if (std::filesystem::is_directory(status)) return "is a folder, not a file";
    if (!std::filesystem::is_regular_file(status)) return "is not a regular file";
    return "";
}

std::string loadLabelsFile(const std::string& path, RouterModel& model) {
    const auto fail = [&path](const std::string& why) { return escapeText(path) + ": " + escapeText(why); };
    const std::string notFile = notARegularFile(path);
    if (!notFile.empty()) return fail(notFile);
    std::ifstream file(path, std::ios::binary);
    if (!file) return fail("cannot be read");
    VideohubParser parser;
    std::vector<VideohubBlock> blocks;
    std::vector<char> chunk(64 * 1024);
    bool end = false;
    while (!end) {
        file.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const size_t got = static_cast<size_t>(file.gcount());
        end = got < chunk.size();
        if (end && file.bad()) return fail("cannot be read");
        blocks.clear();
        // The end of the file ends its last block.
        bool inStep = parser.feed(std::string_view(chunk.data(), got), blocks);
        if (end && inStep) inStep = parser.feed("\n\n", blocks);
        if (!inStep) return fail("a line over " + std::to_string(kMaxVideohubLine) + " bytes");
        const std::string why = applyAll(blocks, model);
        if (!why.empty()) return fail(why);
    }
    return "";
}
