// Fuzzes the SW-P-08 framer and message reader with the bytes of a peer's
// stream. The first byte chooses the size of the pieces the rest arrives in
// and the framer's cap. Checks:
//   - the events do not depend on how the bytes were split;
//   - a good frame's DATA fits the cap, and re-encoded it reads back alone;
//   - every message read writes back to a message that reads the same (names
//     lose nothing but trailing blanks, which the reader already dropped);
//   - applied to a model, messages keep it within its bounds.
#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "router_model.h"
#include "swp08/swp08_frame.h"
#include "swp08/swp08_message.h"
#include "swp08/swp08_tables.h"

namespace {

std::string signature(const std::vector<swp08::FrameEvent>& events) {
    std::string out;
    for (const swp08::FrameEvent& e : events) {
        out += std::to_string(static_cast<int>(e.kind)) + ":" + std::to_string(e.count) + ":";
        out.append(e.data.begin(), e.data.end());
        out += "\n";
    }
    return out;
}

void checkFrame(const swp08::Bytes& data, size_t cap, const std::string& input) {
    if (data.empty() || data.size() > cap) FuzzFail("frame DATA outside 1..cap", input);
    std::vector<swp08::FrameEvent> again;
    swp08::Framer framer;
    framer.feed(swp08::encodeFrame(data), again);
    if (again.size() != 1 || again[0].kind != swp08::FrameEventKind::Frame || again[0].data != data)
        FuzzFail("re-encoded frame does not read back", input);
}

// Dumps and name replies the reader takes but the writer does not make: more
// than kMaxDumpTallies or maxNamesPerMessage, or numbers past what the first
// one's field holds.
bool beyondWriterLimits(const swp08::Message& m) {
    if (m.kind == swp08::MessageKind::SourceNames || m.kind == swp08::MessageKind::DestinationNames) {
        const int count = static_cast<int>(m.names.size());
        return count > swp08::maxNamesPerMessage(m.nameLength) || m.first + count - 1 > swp08::kMaxNumber;
    }
    const int last = m.first + static_cast<int>(m.sources.size()) - 1;
    const int limit = m.kind == swp08::MessageKind::TallyDumpByte ? 255 : swp08::kMaxNumber;
    return m.sources.size() > static_cast<size_t>(swp08::kMaxDumpTallies) || last > limit;
}

void checkMessage(const swp08::Bytes& data, RouterModel& model, const std::string& input) {
    const swp08::DecodeResult read = swp08::decodeMessage(data);
    if (!read.ok()) return;
    const std::optional<swp08::Bytes> written = swp08::encodeMessage(read.message);
    if (written) {
        const swp08::DecodeResult again = swp08::decodeMessage(*written);
        if (!again.ok() || again.message != read.message) FuzzFail("a message written reads differently", input);
    } else if (!beyondWriterLimits(read.message)) {
        FuzzFail("a message read cannot be written", input);
    }
    swp08::applyMessage(model, read.message, read.message.matrix, read.message.level);
    if (model.inputs() != 16 || model.outputs() != 16) FuzzFail("model resized", input);
    for (int o = 0; o < model.outputs(); ++o)
        if (model.route(o) != kNoInput && (model.route(o) < 0 || model.route(o) >= model.inputs()))
            FuzzFail("route out of range", input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = (data[0] & 0x1F) + 1;
    const size_t cap = (data[0] & 0x80) ? 16 : swp08::kMaxFrameData;
    const uint8_t* bytes = data + 1;
    const size_t count = size - 1;
    const std::string input(reinterpret_cast<const char*>(bytes), count);

    swp08::Framer whole(cap);
    std::vector<swp08::FrameEvent> events;
    whole.feed(bytes, count, events);

    swp08::Framer split(cap);
    std::vector<swp08::FrameEvent> splitEvents;
    for (size_t at = 0; at < count; at += piece) split.feed(bytes + at, std::min(piece, count - at), splitEvents);
    if (signature(events) != signature(splitEvents)) FuzzFail("events depend on the splits", input);
    if (whole.midFrame() != split.midFrame()) FuzzFail("midFrame depends on the splits", input);

    RouterModel model(16, 16);
    for (const swp08::FrameEvent& e : events) {
        if (e.kind != swp08::FrameEventKind::Frame) continue;
        checkFrame(e.data, cap, input);
        checkMessage(e.data, model, input);
    }
    // The reader on its own, without framing: any DATA whatever.
    checkMessage(swp08::Bytes(bytes, bytes + std::min(count, swp08::kMaxFrameData)), model, input);
    return 0;
}
