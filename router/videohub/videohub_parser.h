// An incremental parser of the Videohub Ethernet protocol: bytes in, in any
// splits, typed blocks out. Used on both ends: a client reads the router's
// blocks with it, a server its clients' blocks.
//
// Lines end in LF, CRLF or CR. Blank lines between blocks are ignored. Lines
// outside a block come out as one Stray block; lines a block cannot use
// (malformed, non-numeric or negative indices, indices of kMaxRouterPorts or
// more, control bytes) are skipped with a reason in the block. Memory is
// bounded: a line holds at most kMaxVideohubLine bytes, a block at most
// kMaxBlockEntries entries of at most kMaxLabelBytes each.
#ifndef VESK_VIDEOHUB_PARSER_H
#define VESK_VIDEOHUB_PARSER_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "videohub_block.h"

// A line longer than this (without its end) puts the parser out of step: the
// caller drops the connection.
constexpr size_t kMaxVideohubLine = 64 * 1024;

class VideohubParser {
public:
    // Parses `bytes` and appends every block they complete to `blocks`.
    // False once a line has grown beyond kMaxVideohubLine; from then on
    // feed does nothing and returns false until reset().
    bool feed(std::string_view bytes, std::vector<VideohubBlock>& blocks);

    bool failed() const { return failed_; }
    // True while a block or a line is incomplete: a close now cuts it.
    bool midBlock() const { return open_.has_value() || !line_.empty(); }
    // Forgets everything: for a new connection.
    void reset();

private:
    void endLine(std::vector<VideohubBlock>& blocks);
    void blockLine(VideohubBlock& block, std::string_view line);

    std::string line_;
    bool afterCR_ = false;  // the last byte was CR: an LF now ends nothing
    bool failed_ = false;
    std::optional<VideohubBlock> open_;
};

#endif  // VESK_VIDEOHUB_PARSER_H
