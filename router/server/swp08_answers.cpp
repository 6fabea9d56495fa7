#include "swp08_answers.h"

#include "swp08/swp08_tables.h"

using swp08::Message;
using swp08::MessageKind;

swp08::Message swp08Invalid(uint8_t command) {
    Message m;
    m.kind = MessageKind::Invalid;
    m.detail = {command};
    return m;
}

static Swp08Answer refused(uint8_t command, std::string why) {
    Swp08Answer answer;
    answer.replies.push_back(swp08Invalid(command));
    answer.refusal = std::move(why);
    return answer;
}

static std::string number(const char* what, int value) { return std::string(what) + " " + std::to_string(value); }

// "" when `m` addresses the table (destination names: its matrix), else why not.
static std::string otherTable(const Message& m, const Swp08Table& table) {
    const bool matrixOnly = m.kind == MessageKind::AllDestinationNames || m.kind == MessageKind::SingleDestinationName;
    if (m.matrix != table.matrix) return number("no matrix", m.matrix);
    if (!matrixOnly && m.level != table.level) return number("no level", m.level);
    return "";
}

// A reply in the request's form (the writer widens it when a value needs).
static Message replyTo(const Message& request, MessageKind kind) {
    Message m;
    m.kind = kind;
    m.extended = request.extended;
    m.matrix = request.matrix;
    m.level = request.level;
    return m;
}

static Swp08Answer interrogate(const RouterModel& model, const Message& m, uint8_t command) {
    if (m.destination >= model.outputs()) return refused(command, number("no destination", m.destination));
    const int source = model.route(m.destination);
    if (source == kNoInput) return refused(command, number("no route on destination", m.destination));
    Swp08Answer answer;
    Message tally = replyTo(m, MessageKind::Tally);
    tally.destination = m.destination;
    tally.source = source;
    answer.replies.push_back(tally);
    return answer;
}

static Swp08Answer connect(const RouterModel& model, const Message& m, uint8_t command) {
    if (m.destination >= model.outputs()) return refused(command, number("no destination", m.destination));
    if (m.source >= model.inputs()) return refused(command, number("no source", m.source));
    Swp08Answer answer;
    answer.take = true;
    answer.extended = m.extended;
    answer.destination = m.destination;
    answer.source = m.source;
    return answer;
}

// One name of `model` in a reply of one name.
static Swp08Answer singleName(const RouterModel& model, const Message& m, uint8_t command) {
    const bool source = m.kind == MessageKind::SingleSourceName;
    const int index = source ? m.source : m.destination;
    if (index >= (source ? model.inputs() : model.outputs()))
        return refused(command, number(source ? "no source" : "no destination", index));
    Swp08Answer answer;
    Message reply = replyTo(m, source ? MessageKind::SourceNames : MessageKind::DestinationNames);
    if (!source) reply.level = 0;
    reply.nameLength = m.nameLength;
    reply.first = index;
    reply.names.push_back(source ? model.inputLabel(index) : model.outputLabel(index));
    answer.replies.push_back(reply);
    return answer;
}

static Swp08Answer request(const RouterModel& model, const Message& m, uint8_t command) {
    Swp08Answer answer;
    switch (m.kind) {
    case MessageKind::Interrogate: return interrogate(model, m, command);
    case MessageKind::Connect: return connect(model, m, command);
    case MessageKind::TallyDumpRequest:
        answer.replies = swp08::tallyDumpMessages(model, m.matrix, m.level, m.extended);
        return answer;
    case MessageKind::AllSourceNames:
    case MessageKind::AllDestinationNames: {
        const bool sources = m.kind == MessageKind::AllSourceNames;
        answer.replies = swp08::nameMessages(sources ? MessageKind::SourceNames : MessageKind::DestinationNames, model,
                                             m.matrix, sources ? m.level : 0, m.nameLength, m.extended);
        return answer;
    }
    case MessageKind::SingleSourceName:
    case MessageKind::SingleDestinationName: return singleName(model, m, command);
    default: return refused(command, std::string("a router's message: ") + std::string(messageKindName(m.kind)));
    }
}

Swp08Answer answerSwp08(const RouterModel& model, const swp08::DecodeResult& decoded, const Swp08Table& table) {
    if (!decoded.ok())
        return refused(decoded.command, std::string(decodeErrorName(decoded.error)) + " (command " +
                                            std::to_string(decoded.command) + ")");
    if (!model.present()) return refused(decoded.command, "no device present");
    const std::string other = otherTable(decoded.message, table);
    if (!other.empty()) return refused(decoded.command, other);
    return request(model, decoded.message, decoded.command);
}
