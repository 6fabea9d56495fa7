#include "swp08_answers.h"

#include "swp08_tables.h"

using swp08::Message;
using swp08::MessageKind;

namespace {

Message withDetail(MessageKind kind, swp08::Bytes detail) {
    Message m;
    m.kind = kind;
    m.detail = std::move(detail);
    return m;
}

Swp08Answer refused(uint8_t command, std::string why) {
    Swp08Answer answer;
    answer.replies.push_back(swp08Invalid(command));
    answer.refusal = std::move(why);
    return answer;
}

Swp08Answer replying(Message reply) {
    Swp08Answer answer;
    answer.replies.push_back(std::move(reply));
    return answer;
}

std::string number(const char* what, int value) { return std::string(what) + " " + std::to_string(value); }

bool matrixOnly(MessageKind kind) {
    return kind == MessageKind::AllDestinationNames || kind == MessageKind::SingleDestinationName;
}

// The router's level (1..levels) of a message on the wire level `level`; 0
// when the router has no such level.
int routerLevel(int level, const Swp08Table& table) {
    const int k = level - table.level + 1;
    return k >= 1 && k <= table.levels ? k : 0;
}

// "" when `m` addresses the router (destination names: its matrix), else why not.
std::string otherTable(const Message& m, const Swp08Table& table) {
    if (m.matrix != table.matrix) return number("no matrix", m.matrix);
    if (!matrixOnly(m.kind) && routerLevel(m.level, table) == 0) return number("no level", m.level);
    return "";
}

// A reply in the request's form (the writer widens it when a value needs).
Message replyTo(const Message& request, MessageKind kind) {
    Message m;
    m.kind = kind;
    m.extended = request.extended;
    m.matrix = request.matrix;
    m.level = request.level;
    return m;
}

Swp08Answer interrogate(const Swp08Router& router, const Message& m, int level, uint8_t command) {
    if (m.destination >= router.model.outputs()) return refused(command, number("no destination", m.destination));
    const int source = router.route(level, m.destination);
    if (source == kNoInput) return refused(command, number("no route on destination", m.destination));
    Message tally = replyTo(m, MessageKind::Tally);
    tally.destination = m.destination;
    tally.source = source;
    return replying(tally);
}

Swp08Answer connect(const RouterModel& model, const Message& m, int level, uint8_t command) {
    if (m.destination >= model.outputs()) return refused(command, number("no destination", m.destination));
    if (m.source >= model.inputs()) return refused(command, number("no source", m.source));
    Swp08Answer answer;
    answer.take = true;
    answer.extended = m.extended;
    answer.level = level;
    answer.destination = m.destination;
    answer.source = m.source;
    return answer;
}

Swp08Answer tallyDump(const Swp08Router& router, const Message& m, int level) {
    std::vector<int> routes(static_cast<size_t>(router.model.outputs()));
    for (size_t o = 0; o < routes.size(); ++o) routes[o] = router.route(level, static_cast<int>(o));
    Swp08Answer answer;
    answer.replies = swp08::tallyDumpMessages(m.matrix, m.level, routes, m.extended);
    return answer;
}

Swp08Answer allNames(const RouterModel& model, const Message& m) {
    const bool sources = m.kind == MessageKind::AllSourceNames;
    Swp08Answer answer;
    answer.replies = swp08::nameMessages(sources ? MessageKind::SourceNames : MessageKind::DestinationNames, model,
                                         m.matrix, sources ? m.level : 0, m.nameLength, m.extended);
    return answer;
}

// One name of `model` in a reply of one name.
Swp08Answer singleName(const RouterModel& model, const Message& m, uint8_t command) {
    const bool source = m.kind == MessageKind::SingleSourceName;
    const int index = source ? m.source : m.destination;
    if (index >= (source ? model.inputs() : model.outputs()))
        return refused(command, number(source ? "no source" : "no destination", index));
    Message reply = replyTo(m, source ? MessageKind::SourceNames : MessageKind::DestinationNames);
    if (!source) reply.level = 0;
    reply.nameLength = m.nameLength;
    reply.first = index;
    reply.names.push_back(source ? model.inputLabel(index) : model.outputLabel(index));
    return replying(reply);
}

// A request about the matrix and a level the router has, the device present.
Swp08Answer request(const Swp08Router& router, const Message& m, uint8_t command, const Swp08Table& table) {
    const int level = matrixOnly(m.kind) ? 1 : routerLevel(m.level, table);
    switch (m.kind) {
    case MessageKind::Interrogate: return interrogate(router, m, level, command);
    case MessageKind::Connect: return connect(router.model, m, level, command);
    case MessageKind::TallyDumpRequest: return tallyDump(router, m, level);
    case MessageKind::AllSourceNames:
    case MessageKind::AllDestinationNames: return allNames(router.model, m);
    case MessageKind::SingleSourceName:
    case MessageKind::SingleDestinationName: return singleName(router.model, m, command);
    default: return refused(command, std::string("a router's message: ") + std::string(messageKindName(m.kind)));
    }
}

// Bit `matrix` of a word of matrices 0..15, high byte first.
void putMatrixBit(swp08::Bytes& detail, size_t word, int matrix) {
    if (matrix < 0 || matrix > swp08::kMaxStandardMatrix) return;
    detail[word * 2 + (matrix < 8 ? 1 : 0)] |= static_cast<uint8_t>(1u << (matrix % 8));
}

}  // namespace

Message swp08Invalid(uint8_t command) { return withDetail(MessageKind::Invalid, {command}); }

Message swp08DualStatus() { return withDetail(MessageKind::DualStatus, {0x02, 0x00}); }

const std::vector<uint8_t>& swp08CommandsSent() {
    static const std::vector<uint8_t> sent{3, 4, 9, 22, 23, 30, 98, 99, 106, 107, 131, 132, 151, 234, 235};
    return sent;
}

const std::vector<uint8_t>& swp08CommandsAccepted() {
    static const std::vector<uint8_t> accepted{1, 2, 8, 21, 97, 100, 101, 102, 103, 129, 130, 149, 228, 229, 230, 231};
    return accepted;
}

Message swp08Implementation() {
    const std::vector<uint8_t>& sent = swp08CommandsSent();
    const std::vector<uint8_t>& accepted = swp08CommandsAccepted();
    swp08::Bytes detail{static_cast<uint8_t>(sent.size()), static_cast<uint8_t>(accepted.size())};
    detail.insert(detail.end(), sent.begin(), sent.end());
    detail.insert(detail.end(), accepted.begin(), accepted.end());
    return withDetail(MessageKind::Implementation, std::move(detail));
}

Message swp08NamesUpdated(int matrix) {
    swp08::Bytes detail(8, 0);
    putMatrixBit(detail, 0, matrix);  // source names
    putMatrixBit(detail, 2, matrix);  // destination (association) names
    return withDetail(MessageKind::NamesUpdated, std::move(detail));
}

Swp08Answer answerSwp08(const Swp08Router& router, const swp08::DecodeResult& decoded, const Swp08Table& table) {
    if (!decoded.ok())
        return refused(decoded.command, std::string(decodeErrorName(decoded.error)) + " (command " +
                                            std::to_string(decoded.command) + ")");
    const Message& m = decoded.message;
    switch (m.kind) {
    case MessageKind::DualStatusRequest: return replying(swp08DualStatus());
    case MessageKind::ImplementationRequest: return replying(swp08Implementation());
    case MessageKind::Invalid: {
        Swp08Answer answer;
        answer.ignored = true;
        answer.note = m.detail.empty() ? "invalid message (99)"
                                       : "invalid message (99) about command " + std::to_string(m.detail[0]);
        return answer;
    }
    default: break;
    }
    if (!router.model.present()) return refused(decoded.command, "no device present");
    const std::string other = otherTable(m, table);
    if (!other.empty()) return refused(decoded.command, other);
    return request(router, m, decoded.command, table);
}
