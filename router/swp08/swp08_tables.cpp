#include "swp08_tables.h"

#include <algorithm>

namespace swp08 {

// `m` with its form forced when `extended`: the messages say the form they
// are written in, as read ones do.
static Message withExtended(Message m, bool extended) {
    m.extended = extended;
    return m;
}

static bool carried(int value) { return value >= 0 && value <= kMaxNumber; }

// The byte form needs every destination and source sent at most
// kMaxByteDumpNumber.
static bool fitsByteForm(int matrix, int level, const std::vector<int>& routes, bool extended) {
    if (extended || matrix > kMaxStandardMatrix || level > kMaxStandardMatrix) return false;
    for (size_t d = 0; d < routes.size(); ++d)
        if (carried(routes[d]) && (d > static_cast<size_t>(kMaxByteDumpNumber) || routes[d] > kMaxByteDumpNumber))
            return false;
    return true;
}

// Tallies one message of the form holds: kMaxDumpTallies, fewer where that
// many would pass kMaxMessageData (the extended word form: 63).
static size_t talliesPerMessage(bool byteForm, bool extended) {
    const size_t head = byteForm ? 4 : (extended ? 6 : 5);  // command .. first
    const size_t each = byteForm ? 1 : 2;
    return std::min(static_cast<size_t>(kMaxDumpTallies), (kMaxMessageData - head) / each);
}

std::vector<Message> tallyDumpMessages(int matrix, int level, const std::vector<int>& routes, bool extended) {
    std::vector<Message> out;
    const bool byteForm = fitsByteForm(matrix, level, routes, extended);
    Message probe;
    probe.kind = MessageKind::TallyDumpWord;
    probe.matrix = matrix;
    probe.level = level;
    const bool extendedForm = !byteForm && usesExtendedForm(withExtended(probe, extended));
    const size_t perMessage = talliesPerMessage(byteForm, extendedForm);
    const size_t limit = std::min(routes.size(), static_cast<size_t>(kMaxNumber) + 1);
    Message* open = nullptr;  // the message consecutive destinations go to
    for (size_t d = 0; d < limit; ++d) {
        if (!carried(routes[d])) {
            open = nullptr;
            continue;
        }
        if (!open || open->sources.size() == perMessage) {
            Message m;
            m.kind = byteForm ? MessageKind::TallyDumpByte : MessageKind::TallyDumpWord;
            m.matrix = matrix;
            m.level = level;
            m.extended = extendedForm;
            m.first = static_cast<int>(d);
            out.push_back(std::move(m));
            open = &out.back();
        }
        open->sources.push_back(routes[d]);
    }
    return out;
}

std::vector<Message> tallyDumpMessages(const RouterModel& model, int matrix, int level, bool extended) {
    std::vector<int> routes(static_cast<size_t>(model.outputs()));
    for (int o = 0; o < model.outputs(); ++o) routes[static_cast<size_t>(o)] = model.route(o);
    return tallyDumpMessages(matrix, level, routes, extended);
}

std::vector<Message> nameMessages(MessageKind kind, int matrix, int level, NameLength length,
                                  const std::vector<std::string>& names, bool extended) {
    std::vector<Message> out;
    if (kind != MessageKind::SourceNames && kind != MessageKind::DestinationNames) return out;
    const size_t perMessage = static_cast<size_t>(maxNamesPerMessage(length));
    const size_t total = std::min(names.size(), static_cast<size_t>(kMaxNumber) + 1);
    if (perMessage == 0) return out;
    for (size_t first = 0; first < total; first += perMessage) {
        Message m;
        m.kind = kind;
        m.matrix = matrix;
        m.level = kind == MessageKind::SourceNames ? level : 0;
        m.extended = usesExtendedForm(withExtended(m, extended));
        m.nameLength = length;
        m.first = static_cast<int>(first);
        const size_t end = std::min(total, first + perMessage);
        m.names.assign(names.begin() + static_cast<long>(first), names.begin() + static_cast<long>(end));
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<Message> nameMessages(MessageKind kind, const RouterModel& model, int matrix, int level,
                                  NameLength length, bool extended) {
    const bool sources = kind == MessageKind::SourceNames;
    const int count = sources ? model.inputs() : model.outputs();
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) names.push_back(sources ? model.inputLabel(i) : model.outputLabel(i));
    return nameMessages(kind, matrix, level, length, names, extended);
}

static void note(TableUpdate& update, Applied applied, ChangeKind kind, int index) {
    if (applied == Applied::Changed) update.changes.push_back({kind, index});
    if (applied == Applied::OutOfRange) ++update.rejected;
}

static void applyRoutes(RouterModel& model, const Message& m, TableUpdate& update) {
    if (m.kind == MessageKind::Tally || m.kind == MessageKind::Connected) {
        note(update, model.setRoute(m.destination, m.source), ChangeKind::Route, m.destination);
        return;
    }
    for (size_t i = 0; i < m.sources.size(); ++i) {
        const int output = m.first + static_cast<int>(i);
        note(update, model.setRoute(output, m.sources[i]), ChangeKind::Route, output);
    }
}

static void applyNames(RouterModel& model, const Message& m, TableUpdate& update) {
    const bool sources = m.kind == MessageKind::SourceNames;
    for (size_t i = 0; i < m.names.size(); ++i) {
        const int index = m.first + static_cast<int>(i);
        if (sources)
            note(update, model.setInputLabel(index, m.names[i]), ChangeKind::InputLabel, index);
        else
            note(update, model.setOutputLabel(index, m.names[i]), ChangeKind::OutputLabel, index);
    }
}

TableUpdate applyMessage(RouterModel& model, const Message& m, int matrix, int level) {
    TableUpdate update;
    const bool sameMatrix = m.matrix == matrix;
    const bool sameTable = sameMatrix && m.level == level;
    switch (m.kind) {
    case MessageKind::Tally:
    case MessageKind::Connected:
    case MessageKind::TallyDumpByte:
    case MessageKind::TallyDumpWord:
        if (sameTable) applyRoutes(model, m, update);
        update.ignored = !sameTable;
        return update;
    case MessageKind::SourceNames:
        if (sameTable) applyNames(model, m, update);
        update.ignored = !sameTable;
        return update;
    case MessageKind::DestinationNames:
        if (sameMatrix) applyNames(model, m, update);
        update.ignored = !sameMatrix;
        return update;
    default:
        update.ignored = true;
        return update;
    }
}

}  // namespace swp08
