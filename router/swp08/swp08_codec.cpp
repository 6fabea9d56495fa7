#include "swp08_codec.h"

#include <algorithm>

#include "swp08_tables.h"
#include "text_bytes.h"

namespace swp08 {

// Options ---------------------------------------------------------------------

static bool wholeNumber(const std::string& text, int low, int high, int& out) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::stoi(text);
    return out >= low && out <= high;
}

static std::string quoted(const std::string& text) { return "\"" + escapeText(text) + "\""; }

std::optional<Codec::Options> Codec::Options::parse(const std::map<std::string, std::string>& given,
                                                    std::string& error) {
    Options options;
    for (const char* name : {"matrix", "level"}) {
        auto it = given.find(name);
        int value = 0;
        if (it == given.end()) continue;
        if (!wholeNumber(it->second, 1, kMaxMatrix + 1, value)) {
            error = std::string("expected ") + name + " 1..256 (counted from 1), got " + quoted(it->second);
            return std::nullopt;
        }
        (std::string(name) == "matrix" ? options.matrix : options.level) = value - 1;
    }
    auto names = given.find("names");
    if (names == given.end()) return options;
    static const NameLength kLengths[] = {NameLength::Chars4, NameLength::Chars8, NameLength::Chars12,
                                          NameLength::Chars16, NameLength::Chars32};
    int width = 0;
    wholeNumber(names->second, 1, 32, width);
    for (NameLength length : kLengths)
        if (nameWidth(length) == width) {
            options.names = length;
            return options;
        }
    error = "expected names 4, 8, 12, 16 or 32 (characters), got " + quoted(names->second);
    return std::nullopt;
}

// Requests --------------------------------------------------------------------

static std::string bytesOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

static std::string hexByte(int byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string{kDigits[(byte >> 4) & 15], kDigits[byte & 15]};
}

Codec::Codec(Options options) : options_(options), model_(0, 0, RouterModel::Naming{"Source ", "Destination "}) {}

Message Codec::message(MessageKind kind) const {
    Message m;
    m.kind = kind;
    m.matrix = options_.matrix;
    m.level = options_.level;
    m.nameLength = options_.names;
    return m;
}

// `m` must be writable: every caller builds it in range.
CodecRequest Codec::request(const Message& m) const {
    const Bytes data = *encodeMessage(m);
    return CodecRequest{bytesOf(encodeFrame(data)), "", 0};
}

void Codec::ask(const Message& m, std::string what, CodecLink& link) {
    const int tag = nextTag_++;
    const Bytes data = *encodeMessage(m);
    if (link.request(bytesOf(encodeFrame(data)), std::move(what), tag))
        pending_[tag] = Pending{m.kind, m.destination, data[0]};
}

void Codec::askSourceNames(CodecLink& link) {
    for (const auto& entry : pending_)
        if (entry.second.asked == MessageKind::AllSourceNames) return;
    ask(message(MessageKind::AllSourceNames), "the source names request", link);
}

// Routes are asked by a const route(), so they carry what answers them in
// their tag: the destination, below zero.
int Codec::routeTag(int output) { return -(output + 1); }

std::optional<Codec::Pending> Codec::inFlight(const CodecLink& link) const {
    const std::optional<CodecLink::InFlight> flying = link.inFlight();
    if (!flying) return std::nullopt;
    const int tag = flying->tag;
    if (tag < 0) return Pending{MessageKind::Connect, -tag - 1, 0};
    auto it = pending_.find(tag);
    if (it == pending_.end()) return std::nullopt;
    return it->second;
}

// The request in flight is answered (accepted).
void Codec::answer(CodecLink& link) {
    if (std::optional<CodecLink::InFlight> flying = link.inFlight()) pending_.erase(flying->tag);
    link.answered(true);
}

void Codec::connected(CodecLink& link) {
    framer_.reset();
    tallySeen_ = namesOpen_ = dumpOpen_ = sized_ = ackOwed_ = false;
    namesCount_ = dumpExtent_ = sourcesNamed_ = 0;
    pending_.clear();
    otherTables_.clear();
    askSourceNames(link);
    ask(message(MessageKind::AllDestinationNames), "the destination names request", link);
    ask(message(MessageKind::TallyDumpRequest), "the tally dump request", link);
}

std::string Codec::unknown() const { return tallySeen_ ? "" : "has not sent its tally yet"; }

std::string Codec::closedBecause() const {
    return framer_.midFrame() ? "the router closed it in the middle of a frame" : "the router closed it";
}

std::optional<CodecRequest> Codec::keepAlive() {
    const Message m = message(MessageKind::Interrogate);
    const Bytes data = *encodeMessage(m);
    const int tag = nextTag_++;
    pending_[tag] = Pending{m.kind, m.destination, data[0]};
    return CodecRequest{bytesOf(encodeFrame(data)), "the keep-alive", tag};
}

// Bounds from the names alone: a dump leaves unrouted destinations out, so
// its extent is no bound.
int Codec::routableOutputs() const { return destinationsNamed_ > 0 ? destinationsNamed_ : kMaxNumber + 1; }
int Codec::routableInputs() const { return sourcesNamed_ > 0 ? sourcesNamed_ : kMaxNumber + 1; }

CodecRequest Codec::route(int output, int input) const {
    Message m = message(MessageKind::Connect);
    m.destination = output;
    m.source = input;
    CodecRequest r = request(m);
    r.tag = routeTag(output);
    return r;
}

std::string Codec::labelRefusal(const std::string&) const {
    return "cannot be asked to rename a source over SW-P-08: name not sent";
}

CodecRequest Codec::label(int, const std::string&) const { return CodecRequest{}; }

std::string Codec::detail() const {
    return " matrix " + std::to_string(options_.matrix + 1) + " level " + std::to_string(options_.level + 1);
}

}  // namespace swp08

namespace swp08 {

// Bytes in ----------------------------------------------------------------------

void Codec::received(std::string_view bytes, CodecLink& link) {
    std::vector<FrameEvent> events;
    framer_.feed(bytes, events);
    for (const FrameEvent& event : events) onFrameEvent(event, link);
    // A frame this long is no message of any router. (Only the frame still
    // open counts: a flood of whole frames split across reads is no fault.)
    if (framer_.frameBytes() > kMaxUnfinishedFrame)
        link.drop("a frame still unfinished after " + std::to_string(kMaxUnfinishedFrame) + " bytes");
}

void Codec::onFrameEvent(const FrameEvent& event, CodecLink& link) {
    switch (event.kind) {
        case FrameEventKind::Frame:
            link.write(bytesOf(ackBytes()));
            handle(event.data, link);
            return;
        case FrameEventKind::Ack: onAck(link); return;
        case FrameEventKind::Nak: onNak(link); return;
        case FrameEventKind::Garbage:
            link.problem("skipped " + std::to_string(event.count) + " byte(s) outside any frame");
            return;
        default:
            link.write(bytesOf(nakBytes()));
            link.problem("answered NAK to a broken frame (" + std::string(frameEventName(event.kind)) + ", " +
                         std::to_string(event.count) + " byte(s))");
            return;
    }
}

void Codec::onAck(CodecLink& link) {
    if (ackOwed_) {
        ackOwed_ = false;
        return;
    }
    answer(link);
}

void Codec::onNak(CodecLink& link) {
    const std::optional<CodecLink::InFlight> flying = link.inFlight();
    if (!flying) {
        link.problem("sent a NAK while no request of ours waited for an answer");
        return;
    }
    link.problem("refused " + flying->what + " (NAK): it goes again");
    link.resend();
}

// A reply to the request in flight answers it as its ACK would; the ACK that
// may follow is the same answer.
static bool refuses(uint8_t asked, const Message& m) {
    return !m.detail.empty() && (m.detail[0] == asked || (asked == 0 && (m.detail[0] & 0x7F) == kConnect));
}

void Codec::onInvalid(const Message& m, CodecLink& link) {
    std::string detail;
    for (uint8_t byte : m.detail) detail += (detail.empty() ? "" : " ") + hexByte(byte);
    const std::optional<Pending> asked = inFlight(link);
    const bool ours = asked && refuses(asked->command, m);
    link.problem("answered 99 (invalid message) " +
                 (detail.empty() ? std::string("with no detail") : "with " + detail) +
                 (ours ? " to " + link.inFlight()->what : ""));
    if (!ours) return;
    answer(link);
    ackOwed_ = true;
}

void Codec::handle(const Bytes& data, CodecLink& link) {
    const DecodeResult result = decodeMessage(data);
    if (!result.ok()) {
        link.problem("skipped a message of command " + hexByte(result.command) + " (" +
                     std::string(decodeErrorName(result.error)) + ", " + std::to_string(data.size()) + " byte(s))");
        return;
    }
    const Message& m = result.message;
    switch (m.kind) {
        case MessageKind::NamesUpdated: askSourceNames(link); return;
        case MessageKind::Invalid: onInvalid(m, link); return;
        case MessageKind::Tally:
        case MessageKind::Connected:
        case MessageKind::TallyDumpByte:
        case MessageKind::TallyDumpWord:
        case MessageKind::SourceNames:
        case MessageKind::DestinationNames:
            if (const std::optional<Pending> asked = inFlight(link))
                if (answers(*asked, m)) {
                    answer(link);
                    ackOwed_ = true;
                }
            apply(m, link);
            return;
        default:
            link.problem("skipped a " + std::string(messageKindName(m.kind)) + " message: routers do not send it");
            return;
    }
}

bool Codec::ourTable(const Message& m) const {
    return m.matrix == options_.matrix && (m.kind == MessageKind::DestinationNames || m.level == options_.level);
}

static bool isTally(MessageKind kind) {
    return kind == MessageKind::Tally || kind == MessageKind::TallyDumpByte || kind == MessageKind::TallyDumpWord;
}

bool Codec::answers(const Pending& p, const Message& m) const {
    if (!ourTable(m)) return false;
    switch (p.asked) {
        case MessageKind::AllSourceNames: return m.kind == MessageKind::SourceNames;
        case MessageKind::AllDestinationNames: return m.kind == MessageKind::DestinationNames;
        case MessageKind::TallyDumpRequest: return isTally(m.kind);
        case MessageKind::Interrogate:
            return (m.kind == MessageKind::Tally || m.kind == MessageKind::Connected) && m.destination == p.destination;
        case MessageKind::Connect: return m.kind == MessageKind::Connected && m.destination == p.destination;
        default: return false;
    }
}

}  // namespace swp08

namespace swp08 {

// Routes and names ----------------------------------------------------------------

void Codec::apply(const Message& m, CodecLink& link) {
    if (!ourTable(m)) {
        noteOtherTable(m, link);
        return;
    }
    endTables(m, link);
    grow(m);
    const bool wasKnown = tallySeen_;
    if (isTally(m.kind)) tallySeen_ = true;
    const TableUpdate update = applyMessage(model_, m, options_.matrix, options_.level);
    if (update.rejected)
        link.problem("skipped " + std::to_string(update.rejected) + " entr" + (update.rejected == 1 ? "y" : "ies") +
                     " of a " + std::string(messageKindName(m.kind)) + " message beyond the " +
                     std::to_string(kMaxRouterPorts) + " destinations and sources kept");
    if (m.kind == MessageKind::SourceNames) checkNames(m, link);
    if (!tallySeen_) return;
    if (!wasKnown) link.ready();
    std::set<int> outputs;
    for (const RouterChange& change : update.changes) {
        if (change.kind == ChangeKind::Route) outputs.insert(change.index);
        if (change.kind == ChangeKind::InputLabel)
            for (int output : model_.outputsFedBy(change.index)) outputs.insert(output);
    }
    if (!wasKnown)
        for (int output = 0; output < model_.outputs(); ++output) outputs.insert(output);
    link.changed(outputs);
}

// The model grows to hold what the router names, up to kMaxRouterPorts a
// side (applyMessage rejects the rest).
void Codec::grow(const Message& m) {
    int inputs = 0;
    int outputs = 0;
    if (m.kind == MessageKind::Tally || m.kind == MessageKind::Connected) {
        outputs = m.destination + 1;
        inputs = m.source + 1;
    } else if (isTally(m.kind)) {
        outputs = m.first + static_cast<int>(m.sources.size());
        for (int source : m.sources) inputs = std::max(inputs, source + 1);
    } else if (m.kind == MessageKind::SourceNames) {
        inputs = m.first + static_cast<int>(m.names.size());
    } else if (m.kind == MessageKind::DestinationNames) {
        outputs = m.first + static_cast<int>(m.names.size());
    }
    inputs = std::min(std::max(inputs, model_.inputs()), kMaxRouterPorts);
    outputs = std::min(std::max(outputs, model_.outputs()), kMaxRouterPorts);
    if (inputs != model_.inputs() || outputs != model_.outputs()) model_.resize(inputs, outputs);
}

// Destination names end at the first message that is not one; a dump at the
// first message that is not part of it, or once it covered every destination
// named. The size is the names' count, else the dump's extent.
void Codec::endTables(const Message& m, CodecLink& link) {
    const bool dumpMessage = m.kind == MessageKind::TallyDumpByte || m.kind == MessageKind::TallyDumpWord;
    if (m.kind == MessageKind::DestinationNames) {
        namesOpen_ = true;
        namesCount_ = std::max(namesCount_, m.first + static_cast<int>(m.names.size()));
    } else if (namesOpen_) {
        namesOpen_ = false;
        sized_ = true;
        announce(destinationsNamed_ = namesCount_, link);
    }
    if (dumpMessage) {
        dumpOpen_ = true;
        dumpExtent_ = std::max(dumpExtent_, m.first + static_cast<int>(m.sources.size()));
    }
    const bool dumpDone = dumpOpen_ && (!dumpMessage || (sized_ && dumpExtent_ >= namesCount_));
    if (!dumpDone) return;
    dumpOpen_ = false;
    const int size = sized_ ? std::max(announced_, dumpExtent_) : dumpExtent_;
    if (sized_ && size == announced_) return;
    sized_ = true;
    announce(size, link);
}

// A router found smaller than the model (another connection, another router)
// leaves no destination behind in the model, where routes and reports would
// still find it.
void Codec::announce(int size, CodecLink& link) {
    if (size < model_.outputs()) model_.resize(model_.inputs(), size);
    link.sized(announced_ = size);
}

void Codec::checkNames(const Message& m, CodecLink& link) {
    sourcesNamed_ = std::max(sourcesNamed_, m.first + static_cast<int>(m.names.size()));
    for (size_t i = 0; i < m.names.size(); ++i) {
        const std::string& name = m.names[i];
        const bool zero = name.find('\0') != std::string::npos;
        if (!zero && findControlByte(name) == std::string::npos && name.find('\t') == std::string::npos) continue;
        link.problem("named source " + std::to_string(m.first + static_cast<int>(i) + 1) + " " + link.quote(name) +
                     (zero ? ", with a zero byte: shown up to it, as the component reads it"
                           : ", with control bytes: kept as sent"));
    }
}

void Codec::noteOtherTable(const Message& m, CodecLink& link) {
    const std::pair<int, int> table(m.matrix, m.kind == MessageKind::DestinationNames ? -1 : m.level);
    if (otherTables_.size() >= 64 || !otherTables_.insert(table).second) return;
    link.problem("skipped messages of matrix " + std::to_string(m.matrix + 1) +
                 (table.second < 0 ? "" : " level " + std::to_string(m.level + 1)) + ": this device follows matrix " +
                 std::to_string(options_.matrix + 1) + " level " + std::to_string(options_.level + 1));
}

}  // namespace swp08
