// Reading messages. Every read goes through Cursor, which checks the length
// first, so no input can read past the DATA; lengths must match the command
// and its counts exactly (one exception: a trailing status byte after an
// extended tally or connected message is accepted and ignored).
#include "swp08_message.h"

namespace swp08 {

namespace {

struct Cursor {
    const Bytes& data;
    size_t at = 1;  // after the command byte

    size_t left() const { return data.size() - at; }
    int byte() { return data[at++]; }
    int word() {
        const int high = byte();
        return high * 256 + byte();
    }
};

}  // namespace

static bool isDestinationNames(uint8_t base) {
    return base == kAllDestinationNames || base == kSingleDestinationName || base == kDestinationNames;
}

// Matrix and level: one byte (standard; destination name messages read
// level 0) or two (extended; one for destination name messages).
static void readMatrixLevel(Cursor& c, Message& m, uint8_t base) {
    if (!m.extended) {
        const int packed = c.byte();
        m.matrix = packed >> 4;
        m.level = isDestinationNames(base) ? 0 : packed & 0x0F;
        return;
    }
    m.matrix = c.byte();
    m.level = isDestinationNames(base) ? 0 : c.byte();
}

static size_t matrixLevelBytes(bool extended, uint8_t base) {
    return extended && !isDestinationNames(base) ? 2 : 1;
}

static DecodeError readCrosspoint(Cursor& c, Message& m, bool withSource) {
    const size_t need = m.extended ? (withSource ? 4 : 2) : (withSource ? 3 : 2);
    const bool statusAllowed = m.extended && (m.kind == MessageKind::Tally || m.kind == MessageKind::Connected);
    if (c.left() != need && !(statusAllowed && c.left() == need + 1)) return DecodeError::BadLength;
    if (m.extended) {
        m.destination = c.word();
        if (withSource) m.source = c.word();
        return DecodeError::None;
    }
    const int multiplier = c.byte();
    m.destination = ((multiplier >> 4) & 0x07) * 128 + (c.byte() & 0x7F);
    if (!withSource) return DecodeError::None;
    m.source = (multiplier & 0x07) * 128 + (c.byte() & 0x7F);
    if (m.kind == MessageKind::Tally || m.kind == MessageKind::Connected) m.badSource = (multiplier & 0x08) != 0;
    return DecodeError::None;
}

static DecodeError readDump(Cursor& c, Message& m) {
    const bool word = m.kind == MessageKind::TallyDumpWord;
    if (c.left() < (word ? 3u : 2u)) return DecodeError::BadLength;
    const size_t count = static_cast<size_t>(c.byte());
    m.first = word ? c.word() : c.byte();
    if (c.left() != count * (word ? 2 : 1)) return DecodeError::BadLength;
    m.sources.reserve(count);
    for (size_t i = 0; i < count; ++i) m.sources.push_back(word ? c.word() : c.byte());
    return DecodeError::None;
}

static bool readNameLength(Cursor& c, Message& m) {
    const int code = c.byte();
    if (code > static_cast<int>(NameLength::Chars32)) return false;
    m.nameLength = static_cast<NameLength>(code);
    return true;
}

// A fixed-width name without its trailing blanks and zero bytes.
static std::string readName(Cursor& c, int width) {
    std::string name(reinterpret_cast<const char*>(c.data.data() + c.at), static_cast<size_t>(width));
    c.at += static_cast<size_t>(width);
    const size_t end = name.find_last_not_of(std::string_view(" \0", 2));
    name.resize(end == std::string::npos ? 0 : end + 1);
    return name;
}

static DecodeError readNames(Cursor& c, Message& m) {
    if (c.left() < 4) return DecodeError::BadLength;
    if (!readNameLength(c, m)) return DecodeError::BadValue;
    m.first = c.word();
    const size_t count = static_cast<size_t>(c.byte());
    const int width = nameWidth(m.nameLength);
    if (c.left() != count * static_cast<size_t>(width)) return DecodeError::BadLength;
    m.names.reserve(count);
    for (size_t i = 0; i < count; ++i) m.names.push_back(readName(c, width));
    return DecodeError::None;
}

static DecodeError readNameRequest(Cursor& c, Message& m, bool single) {
    if (c.left() != (single ? 3u : 1u)) return DecodeError::BadLength;
    if (!readNameLength(c, m)) return DecodeError::BadValue;
    if (!single) return DecodeError::None;
    (m.kind == MessageKind::SingleSourceName ? m.source : m.destination) = c.word();
    return DecodeError::None;
}

// The kind of a command byte (without the extended bit), and whether that
// command has an extended form. Null for commands this code does not read.
static std::optional<MessageKind> kindOf(uint8_t base, bool& hasExtended) {
    hasExtended = true;
    switch (base) {
    case kInterrogate: return MessageKind::Interrogate;
    case kConnect: return MessageKind::Connect;
    case kTally: return MessageKind::Tally;
    case kConnected: return MessageKind::Connected;
    case kTallyDumpRequest: return MessageKind::TallyDumpRequest;
    case kTallyDumpWord: return MessageKind::TallyDumpWord;
    case kAllSourceNames: return MessageKind::AllSourceNames;
    case kSingleSourceName: return MessageKind::SingleSourceName;
    case kAllDestinationNames: return MessageKind::AllDestinationNames;
    case kSingleDestinationName: return MessageKind::SingleDestinationName;
    case kSourceNames: return MessageKind::SourceNames;
    case kDestinationNames: return MessageKind::DestinationNames;
    default: break;
    }
    hasExtended = false;
    switch (base) {
    case kTallyDumpByte: return MessageKind::TallyDumpByte;
    case kNamesUpdated: return MessageKind::NamesUpdated;
    case kInvalidMessage: return MessageKind::Invalid;
    case kDualStatusRequest: return MessageKind::DualStatusRequest;
    case kDualStatus: return MessageKind::DualStatus;
    case kImplementationRequest: return MessageKind::ImplementationRequest;
    case kImplementation: return MessageKind::Implementation;
    default: return std::nullopt;
    }
}

// The messages whose bytes after the command byte are kept as they came.
static bool carriesDetail(MessageKind kind) {
    switch (kind) {
    case MessageKind::NamesUpdated:
    case MessageKind::Invalid:
    case MessageKind::DualStatusRequest:
    case MessageKind::DualStatus:
    case MessageKind::ImplementationRequest:
    case MessageKind::Implementation: return true;
    default: return false;
    }
}

static DecodeError readBody(Cursor& c, Message& m, uint8_t base) {
    if (carriesDetail(m.kind)) {
        m.detail.assign(c.data.begin() + 1, c.data.end());
        return DecodeError::None;
    }
    if (c.left() < matrixLevelBytes(m.extended, base)) return DecodeError::BadLength;
    readMatrixLevel(c, m, base);
    switch (m.kind) {
    case MessageKind::Interrogate: return readCrosspoint(c, m, false);
    case MessageKind::Connect:
    case MessageKind::Tally:
    case MessageKind::Connected: return readCrosspoint(c, m, true);
    case MessageKind::TallyDumpRequest: return c.left() == 0 ? DecodeError::None : DecodeError::BadLength;
    case MessageKind::TallyDumpByte:
    case MessageKind::TallyDumpWord: return readDump(c, m);
    case MessageKind::SourceNames:
    case MessageKind::DestinationNames: return readNames(c, m);
    case MessageKind::AllSourceNames:
    case MessageKind::AllDestinationNames: return readNameRequest(c, m, false);
    default: return readNameRequest(c, m, true);
    }
}

DecodeResult decodeMessage(const Bytes& data) {
    DecodeResult result;
    if (data.empty()) {
        result.error = DecodeError::Empty;
        return result;
    }
    result.command = data[0];
    const bool extended = (data[0] & kExtendedBit) != 0;
    const uint8_t base = static_cast<uint8_t>(data[0] & ~kExtendedBit);
    bool hasExtended = false;
    const std::optional<MessageKind> kind = kindOf(base, hasExtended);
    if (!kind || (extended && !hasExtended)) {
        result.error = DecodeError::UnknownCommand;
        return result;
    }
    result.message.kind = *kind;
    result.message.extended = extended;
    Cursor cursor{data};
    result.error = readBody(cursor, result.message, base);
    if (!result.ok()) result.message = Message{};
    return result;
}

}  // namespace swp08
