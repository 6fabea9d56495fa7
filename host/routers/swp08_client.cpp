#include "routers/swp08_client.h"

#include <algorithm>

#include "swp08/swp08_tables.h"
#include "base/text.h"

using namespace swp08;

// Options ---------------------------------------------------------------------

static bool wholeNumber(const std::string& text, int low, int high, int& out) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    out = std::stoi(text);
    return out >= low && out <= high;
}

std::optional<Swp08Client::Options> Swp08Client::Options::parse(const std::map<std::string, std::string>& given,
                                                                std::string& error) {
    Options options;
    for (const char* name : {"matrix", "level"}) {
        auto it = given.find(name);
        int value = 0;
        if (it == given.end()) continue;
        if (!wholeNumber(it->second, 1, kMaxMatrix + 1, value)) {
            error = std::string("expected ") + name + " 1..256 (counted from 1), got " + quoteText(it->second);
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
    error = "expected names 4, 8, 12, 16 or 32 (characters), got " + quoteText(names->second);
    return std::nullopt;
}

// Connection ------------------------------------------------------------------

static ClientTiming withResends(ClientTiming timing) {
    if (timing.resendAfter.count() <= 0) {
        timing.resendAfter = std::chrono::milliseconds(1000);
        timing.maxResends = 5;
    }
    return timing;
}

static std::string bytesOf(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

static bool isControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

static std::string hexByte(int byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    return std::string{kDigits[(byte >> 4) & 15], kDigits[byte & 15]};
}

Swp08Client::Swp08Client(asio::io_context& io, int device, const std::string& host, uint16_t port, Options options,
                         ClientTiming timing, BackendEvents& events)
    : device_(device),
      options_(options),
      events_(events),
      model_(0, 0, RouterModel::Naming{"Source ", "Destination "}),
      client_(io, host, port, withResends(timing), *this) {
    client_.start();
}

Swp08Client::~Swp08Client() { client_.stop(); }

void Swp08Client::note(const std::string& text) {
    events_.note(device_, "router device " + std::to_string(device_) + " " + text);
}

// Notes caused by what the router sends: bounded per connection, so that a
// stream of junk cannot fill memory with notes.
void Swp08Client::problem(const std::string& text) {
    if (problems_ > kMaxProblemNotes) return;
    ++problems_;
    if (problems_ <= kMaxProblemNotes)
        note(text);
    else
        note("sent more problems than " + std::to_string(kMaxProblemNotes) +
             ": the rest of this connection goes unnoted");
}

std::string Swp08Client::describe() const {
    std::string text = "swp08 " + client_.address() + " matrix " + std::to_string(options_.matrix + 1) + " level " +
                       std::to_string(options_.level + 1) + (client_.connected() ? ", connected" : ", not connected");
    if (announced_ >= 0) text += ", " + std::to_string(announced_) + " destinations";
    return text;
}

bool Swp08Client::settled() const {
    return settled_ || known() || (client_.triedOnce() && !client_.connected());
}

Message Swp08Client::message(MessageKind kind) const {
    Message m;
    m.kind = kind;
    m.matrix = options_.matrix;
    m.level = options_.level;
    m.nameLength = options_.names;
    return m;
}

// Queues `m` (which must be writable: every caller builds it in range).
bool Swp08Client::ask(const Message& m, std::string what) {
    const std::optional<Bytes> data = encodeMessage(m);
    if (!data || !client_.request(bytesOf(encodeFrame(*data)), what)) return false;
    pending_.push_back(Pending{m.kind, m.destination, (*data)[0], std::move(what)});
    return true;
}

void Swp08Client::askSourceNames() {
    for (const Pending& p : pending_)
        if (p.asked == MessageKind::AllSourceNames) return;
    ask(message(MessageKind::AllSourceNames), "the source names request");
}

void Swp08Client::connected() {
    framer_.reset();
    tallySeen_ = false;
    destinationNamesOpen_ = false;
    destinationCount_ = 0;
    sourcesNamed_ = 0;
    ackOwed_ = false;
    problems_ = 0;
    unfinishedBytes_ = 0;
    pending_.clear();
    otherTables_.clear();
    askSourceNames();
    ask(message(MessageKind::AllDestinationNames), "the destination names request");
    ask(message(MessageKind::TallyDumpRequest), "the tally dump request");
}

void Swp08Client::disconnected() {
    pending_.clear();
    settled_ = true;
}

std::string Swp08Client::closedBecause() const {
    return framer_.midFrame() ? "the router closed it in the middle of a frame" : "the router closed it";
}

// Interrogates destination 1. The client queues it only when no request
// waits; the mirror in pending_ follows that rule.
std::string Swp08Client::keepAlive() {
    const Message m = message(MessageKind::Interrogate);
    const Bytes data = *encodeMessage(m);
    if (client_.waitingRequests() == 0) pending_.push_back(Pending{m.kind, m.destination, data[0], "the keep-alive"});
    return bytesOf(encodeFrame(data));
}

void Swp08Client::received(std::string_view bytes) {
    std::vector<FrameEvent> events;
    framer_.feed(bytes, events);
    for (const FrameEvent& event : events) {
        onFrameEvent(event);
        if (!client_.connected()) return;
    }
    // Counted by whole reads: a frame this long is no message of any router.
    unfinishedBytes_ = framer_.midFrame() ? unfinishedBytes_ + bytes.size() : 0;
    if (unfinishedBytes_ > kMaxUnfinishedFrame)
        client_.drop("a frame still unfinished after " + std::to_string(kMaxUnfinishedFrame) + " bytes");
}

void Swp08Client::onFrameEvent(const FrameEvent& event) {
    switch (event.kind) {
        case FrameEventKind::Frame:
            client_.write(bytesOf(ackBytes()));
            handle(event.data);
            return;
        case FrameEventKind::Ack: onAck(); return;
        case FrameEventKind::Nak: onNak(); return;
        case FrameEventKind::Garbage:
            problem("skipped " + std::to_string(event.count) + " byte(s) outside any frame");
            return;
        default:
            client_.write(bytesOf(nakBytes()));
            problem("answered NAK to a broken frame (" + std::string(frameEventName(event.kind)) + ", " +
                    std::to_string(event.count) + " byte(s))");
            return;
    }
}

void Swp08Client::onAck() {
    if (ackOwed_) {
        ackOwed_ = false;
        return;
    }
    if (client_.answered(true) && !pending_.empty()) pending_.pop_front();
}

// The request stays in flight: the client's re-send timer sends it again.
void Swp08Client::onNak() {
    if (!client_.requestInFlight() || pending_.empty()) {
        problem("sent a NAK while no request of ours waited for an answer");
        return;
    }
    problem("refused " + pending_.front().what + " (NAK): it goes again");
}

void Swp08Client::onInvalid(const Message& m) {
    std::string detail;
    for (uint8_t byte : m.detail) detail += (detail.empty() ? "" : " ") + hexByte(byte);
    const bool ours = client_.requestInFlight() && !pending_.empty() && !m.detail.empty() &&
                      m.detail[0] == pending_.front().command;
    problem("answered 99 (invalid message) " + (detail.empty() ? std::string("with no detail") : "with " + detail) +
            (ours ? " to " + pending_.front().what : ""));
    if (!ours) return;
    client_.answered(true);
    pending_.pop_front();
    ackOwed_ = true;
}

void Swp08Client::handle(const Bytes& data) {
    const DecodeResult result = decodeMessage(data);
    if (!result.ok()) {
        problem("skipped a message of command " + hexByte(result.command) + " (" +
                std::string(decodeErrorName(result.error)) + ", " + std::to_string(data.size()) + " byte(s))");
        return;
    }
    const Message& m = result.message;
    switch (m.kind) {
        case MessageKind::NamesUpdated: askSourceNames(); return;
        case MessageKind::Invalid: onInvalid(m); return;
        case MessageKind::Tally:
        case MessageKind::Connected:
        case MessageKind::TallyDumpByte:
        case MessageKind::TallyDumpWord:
        case MessageKind::SourceNames:
        case MessageKind::DestinationNames:
            settleBy(m);
            apply(m);
            return;
        default:
            problem("skipped a " + std::string(messageKindName(m.kind)) + " message: routers do not send it");
            return;
    }
}

bool Swp08Client::ourTable(const Message& m) const {
    return m.matrix == options_.matrix && (m.kind == MessageKind::DestinationNames || m.level == options_.level);
}

bool Swp08Client::answers(const Pending& p, const Message& m) const {
    if (!ourTable(m)) return false;
    switch (p.asked) {
        case MessageKind::AllSourceNames: return m.kind == MessageKind::SourceNames;
        case MessageKind::AllDestinationNames: return m.kind == MessageKind::DestinationNames;
        case MessageKind::TallyDumpRequest:
            return m.kind == MessageKind::TallyDumpByte || m.kind == MessageKind::TallyDumpWord ||
                   m.kind == MessageKind::Tally;
        case MessageKind::Interrogate:
            return (m.kind == MessageKind::Tally || m.kind == MessageKind::Connected) && m.destination == p.destination;
        case MessageKind::Connect: return m.kind == MessageKind::Connected && m.destination == p.destination;
        default: return false;
    }
}

// A reply to the request in flight answers it as its ACK would.
void Swp08Client::settleBy(const Message& m) {
    if (!client_.requestInFlight() || pending_.empty() || !answers(pending_.front(), m)) return;
    client_.answered(true);
    pending_.pop_front();
    ackOwed_ = true;
}

// Routes and names --------------------------------------------------------------

static bool isTally(MessageKind kind) {
    return kind == MessageKind::Tally || kind == MessageKind::TallyDumpByte || kind == MessageKind::TallyDumpWord;
}

void Swp08Client::apply(const Message& m) {
    if (!ourTable(m)) {
        noteOtherTable(m);
        return;
    }
    if (m.kind != MessageKind::DestinationNames && destinationNamesOpen_) endDestinationNames();
    grow(m);
    const bool wasKnown = known();
    if (isTally(m.kind)) tallySeen_ = true;
    const TableUpdate update = applyMessage(model_, m, options_.matrix, options_.level);
    if (update.rejected)
        problem("skipped " + std::to_string(update.rejected) + " entr" + (update.rejected == 1 ? "y" : "ies") +
                " of a " + std::string(messageKindName(m.kind)) + " message beyond the " +
                std::to_string(kMaxRouterPorts) + " destinations and sources kept");
    if (m.kind == MessageKind::DestinationNames) countDestinationNames(m);
    if (m.kind == MessageKind::SourceNames) checkNames(m);
    if (!known()) return;
    std::set<int> outputs;
    for (const RouterChange& change : update.changes) {
        if (change.kind == ChangeKind::Route) outputs.insert(change.index);
        if (change.kind == ChangeKind::InputLabel)
            for (int output : model_.outputsFedBy(change.index)) outputs.insert(output);
    }
    if (!wasKnown)
        for (int output = 0; output < model_.outputs(); ++output) outputs.insert(output);
    compare(outputs);
}

// The model grows to hold what the router names, up to kMaxRouterPorts a
// side (applyMessage rejects the rest).
void Swp08Client::grow(const Message& m) {
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

void Swp08Client::countDestinationNames(const Message& m) {
    destinationNamesOpen_ = true;
    destinationCount_ = std::max(destinationCount_, m.first + static_cast<int>(m.names.size()));
    if (static_cast<int>(m.names.size()) < maxNamesPerMessage(m.nameLength)) endDestinationNames();
}

void Swp08Client::endDestinationNames() {
    destinationNamesOpen_ = false;
    if (destinationCount_ == announced_) return;
    announced_ = destinationCount_;
    events_.size(device_, announced_, link());
}

void Swp08Client::checkNames(const Message& m) {
    sourcesNamed_ = std::max(sourcesNamed_, m.first + static_cast<int>(m.names.size()));
    for (size_t i = 0; i < m.names.size(); ++i) {
        const std::string& name = m.names[i];
        if (std::none_of(name.begin(), name.end(), isControl))
            continue;
        problem("named source " + std::to_string(m.first + static_cast<int>(i) + 1) + " " + quoteText(name) +
                ", with control bytes: kept as sent");
        return;
    }
}

void Swp08Client::noteOtherTable(const Message& m) {
    const std::pair<int, int> table(m.matrix, m.kind == MessageKind::DestinationNames ? -1 : m.level);
    if (otherTables_.size() >= 64 || !otherTables_.insert(table).second) return;
    problem("skipped messages of matrix " + std::to_string(m.matrix + 1) +
            (table.second < 0 ? "" : " level " + std::to_string(m.level + 1)) + ": this device follows matrix " +
            std::to_string(options_.matrix + 1) + " level " + std::to_string(options_.level + 1));
}

bool Swp08Client::known() const { return client_.connected() && tallySeen_; }

void Swp08Client::compare(const std::set<int>& outputs) { reported_.compare(model_, device_, outputs, events_); }

// The host's side ----------------------------------------------------------------

PollResult Swp08Client::poll(int first, int last) const {
    if (!client_.connected()) return PollResult{"is not connected", {}};
    if (!tallySeen_) return PollResult{"has not sent its tally yet", {}};
    return PollResult{"", routedDestinations(model_, device_, first, last)};
}

std::vector<Report> Swp08Client::knownRoutes(int first, int last) const {
    return routedDestinations(model_, device_, first, last);
}

bool Swp08Client::route(int destination, int source, std::string& why) {
    const int destinations = announced_ >= 0 ? announced_ : kMaxNumber + 1;
    const int sources = sourcesNamed_ > 0 ? sourcesNamed_ : kMaxNumber + 1;
    if (destination < 1 || source < 1 || destination > destinations || source > sources) {
        why = "has destinations 1.." + std::to_string(destinations) + " and sources 1.." + std::to_string(sources) +
              ": route not sent";
        return false;
    }
    if (!client_.connected()) {
        why = "is not connected: route not sent";
        return false;
    }
    Message m = message(MessageKind::Connect);
    m.destination = outputOfDestination(destination);
    m.source = inputOfSource(source);
    if (!ask(m, "the route of destination " + std::to_string(destination) + " to source " + std::to_string(source))) {
        why = "has too many requests waiting: route not sent";
        return false;
    }
    return true;
}

bool Swp08Client::rename(int, const std::string&, std::string& why) {
    why = "cannot be asked to rename a source over SW-P-08: name not sent";
    return false;
}

void Swp08Client::linkChanged(const LinkChange& change) {
    link_ = linkOf(change, "swp08", client_.address());
    queueLinkChange(events_, device_, change, "swp08", client_.address());
}

RouterLink Swp08Client::link() const {
    RouterLink link = link_;
    link.protocol = "swp08";
    link.address = client_.address();
    link.repeats = 0;
    return link;
}
