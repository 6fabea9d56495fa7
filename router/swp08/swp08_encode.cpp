// Writing messages: the layout of each command's DATA. Every value is
// range-checked before a byte is written, so nothing is ever truncated
// silently.
#include <algorithm>

#include "swp08_message.h"

namespace swp08 {

static bool inRange(int value, int limit) { return value >= 0 && value <= limit; }

static bool namesDestinationOnly(MessageKind kind) {
    return kind == MessageKind::AllDestinationNames || kind == MessageKind::SingleDestinationName ||
           kind == MessageKind::DestinationNames;
}

bool usesExtendedForm(const Message& m) {
    switch (m.kind) {
    case MessageKind::TallyDumpByte:
    case MessageKind::NamesUpdated:
    case MessageKind::Invalid:
    case MessageKind::DualStatusRequest:
    case MessageKind::DualStatus:
    case MessageKind::ImplementationRequest:
    case MessageKind::Implementation:
        return false;  // no extended form
    default:
        break;
    }
    if (m.extended || m.matrix > kMaxStandardMatrix) return true;
    if (!namesDestinationOnly(m.kind) && m.level > kMaxStandardMatrix) return true;
    switch (m.kind) {
    case MessageKind::Interrogate: return m.destination > kMaxStandardNumber;
    case MessageKind::Connect:
    case MessageKind::Tally:
    case MessageKind::Connected: return m.destination > kMaxStandardNumber || m.source > kMaxStandardNumber;
    default: return false;  // the other numbers are two bytes in both forms
    }
}

static void putWord(Bytes& out, int value) {
    out.push_back(static_cast<uint8_t>(value >> 8));
    out.push_back(static_cast<uint8_t>(value & 0xFF));
}

// Command byte, then matrix and level: one byte (standard) or two.
// Destination name messages carry the matrix alone (standard: level 0).
static Bytes start(uint8_t command, const Message& m, bool extended) {
    Bytes out;
    out.reserve(16);
    const bool noLevel = namesDestinationOnly(m.kind);
    out.push_back(static_cast<uint8_t>(extended ? command | kExtendedBit : command));
    if (!extended) {
        out.push_back(static_cast<uint8_t>((m.matrix << 4) | (noLevel ? 0 : m.level)));
        return out;
    }
    out.push_back(static_cast<uint8_t>(m.matrix));
    if (!noLevel) out.push_back(static_cast<uint8_t>(m.level));
    return out;
}

// Destination and source: multiplier and two MOD 128 bytes (standard), or
// DIV 256 / MOD 256 pairs (extended).
static void putCrosspoint(Bytes& out, const Message& m, bool extended, bool withSource) {
    if (extended) {
        putWord(out, m.destination);
        if (withSource) putWord(out, m.source);
        return;
    }
    int multiplier = (m.destination / 128) << 4;
    if (withSource) multiplier |= m.source / 128;
    if (m.badSource && (m.kind == MessageKind::Tally || m.kind == MessageKind::Connected)) multiplier |= 0x08;
    out.push_back(static_cast<uint8_t>(multiplier));
    out.push_back(static_cast<uint8_t>(m.destination % 128));
    if (withSource) out.push_back(static_cast<uint8_t>(m.source % 128));
}

static std::optional<Bytes> encodeDump(const Message& m, bool extended) {
    const int count = static_cast<int>(m.sources.size());
    if (count > kMaxDumpTallies || m.first + count - 1 > kMaxNumber) return std::nullopt;
    if (m.kind == MessageKind::TallyDumpByte) {
        if (m.extended || m.matrix > kMaxStandardMatrix || m.level > kMaxStandardMatrix || m.first > 255 ||
            m.first + count - 1 > 255)
            return std::nullopt;
        if (std::any_of(m.sources.begin(), m.sources.end(), [](int s) { return !inRange(s, 255); }))
            return std::nullopt;
        Bytes out = start(kTallyDumpByte, m, false);
        out.push_back(static_cast<uint8_t>(count));
        out.push_back(static_cast<uint8_t>(m.first));
        for (int s : m.sources) out.push_back(static_cast<uint8_t>(s));
        return out;
    }
    if (std::any_of(m.sources.begin(), m.sources.end(), [](int s) { return !inRange(s, kMaxNumber); }))
        return std::nullopt;
    Bytes out = start(kTallyDumpWord, m, extended);
    out.push_back(static_cast<uint8_t>(count));
    putWord(out, m.first);
    for (int s : m.sources) putWord(out, s);
    return out;
}

// `name` cut to `width` bytes without splitting a UTF-8 sequence, then
// padded with blanks.
static void putName(Bytes& out, const std::string& name, int width) {
    size_t cut = std::min(name.size(), static_cast<size_t>(width));
    if (cut < name.size())
        while (cut > 0 && (static_cast<uint8_t>(name[cut]) & 0xC0) == 0x80) --cut;
    out.insert(out.end(), name.begin(), name.begin() + static_cast<long>(cut));
    out.insert(out.end(), static_cast<size_t>(width) - cut, ' ');
}

static std::optional<Bytes> encodeNames(const Message& m, bool extended) {
    const int count = static_cast<int>(m.names.size());
    if (count > maxNamesPerMessage(m.nameLength) || m.first + count - 1 > kMaxNumber) return std::nullopt;
    const uint8_t command = m.kind == MessageKind::SourceNames ? kSourceNames : kDestinationNames;
    Bytes out = start(command, m, extended);
    out.push_back(static_cast<uint8_t>(m.nameLength));
    putWord(out, m.first);
    out.push_back(static_cast<uint8_t>(count));
    for (const std::string& name : m.names) putName(out, name, nameWidth(m.nameLength));
    return out;
}

static std::optional<Bytes> encodeNameRequest(const Message& m, bool extended) {
    uint8_t command = kAllSourceNames;
    int number = -1;  // none
    switch (m.kind) {
    case MessageKind::AllSourceNames: break;
    case MessageKind::SingleSourceName: command = kSingleSourceName, number = m.source; break;
    case MessageKind::AllDestinationNames: command = kAllDestinationNames; break;
    default: command = kSingleDestinationName, number = m.destination; break;
    }
    Bytes out = start(command, m, extended);
    out.push_back(static_cast<uint8_t>(m.nameLength));
    if (number >= 0) putWord(out, number);
    return out;
}

static bool valuesInRange(const Message& m) {
    return inRange(m.matrix, kMaxMatrix) && inRange(m.level, kMaxMatrix) && inRange(m.destination, kMaxNumber) &&
           inRange(m.source, kMaxNumber) && inRange(m.first, kMaxNumber) &&
           static_cast<uint8_t>(m.nameLength) <= static_cast<uint8_t>(NameLength::Chars32);
}

static Bytes withDetail(uint8_t command, const Bytes& detail) {
    Bytes out;
    out.reserve(detail.size() + 1);
    out.push_back(command);
    for (uint8_t byte : detail) out.push_back(byte);
    return out;
}

std::optional<Bytes> encodeMessage(const Message& m) {
    if (!valuesInRange(m)) return std::nullopt;
    const bool ext = usesExtendedForm(m);
    Bytes out;
    switch (m.kind) {
    case MessageKind::Interrogate: out = start(kInterrogate, m, ext), putCrosspoint(out, m, ext, false); break;
    case MessageKind::Connect: out = start(kConnect, m, ext), putCrosspoint(out, m, ext, true); break;
    case MessageKind::Tally: out = start(kTally, m, ext), putCrosspoint(out, m, ext, true); break;
    case MessageKind::Connected: out = start(kConnected, m, ext), putCrosspoint(out, m, ext, true); break;
    case MessageKind::TallyDumpRequest: out = start(kTallyDumpRequest, m, ext); break;
    case MessageKind::TallyDumpByte:
    case MessageKind::TallyDumpWord: return encodeDump(m, ext);
    case MessageKind::SourceNames:
    case MessageKind::DestinationNames: return encodeNames(m, ext);
    case MessageKind::AllSourceNames:
    case MessageKind::SingleSourceName:
    case MessageKind::AllDestinationNames:
    case MessageKind::SingleDestinationName: return encodeNameRequest(m, ext);
    case MessageKind::NamesUpdated: out = withDetail(kNamesUpdated, m.detail); break;
    case MessageKind::Invalid: out = withDetail(kInvalidMessage, m.detail); break;
    case MessageKind::DualStatusRequest: out = withDetail(kDualStatusRequest, m.detail); break;
    case MessageKind::DualStatus: out = withDetail(kDualStatus, m.detail); break;
    case MessageKind::ImplementationRequest: out = withDetail(kImplementationRequest, m.detail); break;
    case MessageKind::Implementation: out = withDetail(kImplementation, m.detail); break;
    }
    if (out.empty() || out.size() > kMaxFrameData) return std::nullopt;
    return out;
}

}  // namespace swp08
