#include "core/host_commands.h"

#include <algorithm>
#include <fstream>
#include <sstream>

std::string PanelBook::resolve(const std::string& file) const {
    const bool absolute = !file.empty() && (file[0] == '/' || file[0] == '\\' || (file.size() > 1 && file[1] == ':'));
    if (absolute || folder.empty()) return file;
    return folder + "/" + file;
}

static bool allQuoted(const std::vector<CommandArg>& args) {
    for (const CommandArg& a : args)
        if (!a.quoted) return false;
    return true;
}

// Plain numbers, the count given; `numbers` gets them.
static bool numbersOf(const std::vector<CommandArg>& args, size_t count, std::vector<int>& numbers) {
    if (args.size() < count) return false;
    numbers.clear();
    for (size_t i = 0; i < count; ++i) {
        std::optional<int32_t> n = args[i].quoted ? std::nullopt : parseInt32(args[i].text);
        if (!n) return false;
        numbers.push_back(*n);
    }
    return true;
}

static const Panel* panelOf(const CommandContext& c, const std::string& name) {
    auto it = c.panels.open.find(name);
    return it == c.panels.open.end() ? nullptr : &it->second;
}

static bool showPanel(CommandContext& c, const std::vector<CommandArg>& args, CommandOutcome& o) {
    o.showReply = true;
    if (args.size() < 2 || args.size() > 3 || !allQuoted(args)) return false;
    const std::string& file = args[1].text;
    std::ifstream in(c.panels.resolve(file), std::ios::binary);
    if (!in) {
        o.notes.push_back("no panel file " + quoteText(file) + ": panel " + quoteText(args[0].text) + " not shown");
        if (!c.panels.missingAllowed && c.panels.missing) c.panels.missing->push_back(file);
        return true;
    }
    std::ostringstream content;
    content << in.rdbuf();
    Panel panel;
    if (std::optional<PanelFileError> error = parsePanelFile(content.str(), panel)) {
        o.panelErrors.emplace_back(error->line, error->message);
        return true;
    }
    c.panels.open[args[0].text] = panel;
    o.reply = c.replies.add(c.command, "1", false);
    return true;
}

static bool putText(CommandContext& c, const std::vector<CommandArg>& args, CommandOutcome& o) {
    if (args.size() != 3 || !allQuoted(args) || args[0].text.find('=') == std::string::npos)
        return false;
    const std::string& assignment = args[0].text;
    const size_t equals = assignment.find('=');
    auto it = c.panels.open.find(args[1].text);
    if (it == c.panels.open.end()) {
        o.notes.push_back("panel " + quoteText(args[1].text) + " is not open: nothing set");
        return true;
    }
    Control* control = it->second.control(args[2].text);
    if (!control) {
        o.notes.push_back("panel " + quoteText(args[1].text) + " has no control " + quoteText(args[2].text) +
                          ": nothing set");
        return true;
    }
    control->set(assignment.substr(0, equals), assignment.substr(equals + 1));
    return true;
}

static bool getText(CommandContext& c, const std::vector<CommandArg>& args, CommandOutcome& o) {
    o.showReply = true;
    if (args.size() != 3 || !allQuoted(args)) return false;
    const Panel* p = panelOf(c, args[0].text);
    const Control* control = p ? p->control(args[1].text) : nullptr;
    if (!control) return true;
    const std::string& param = args[2].text;
    std::string text;
    if (param == "all") {
        for (const auto& [key, value] : control->params) text += (text.empty() ? "" : ",") + key + "=" + value;
    } else if (const std::string* value = control->param(param)) {
        text = param + "=" + *value;
    } else {
        return true;
    }
    o.reply = c.replies.add(c.command, text, true);
    return true;
}

static bool listControls(CommandContext& c, const std::vector<CommandArg>& args, CommandOutcome& o) {
    o.showReply = true;
    if (args.size() != 2 || !allQuoted(args)) return false;
    const Panel* p = panelOf(c, args[0].text);
    if (!p) return true;
    std::string names;
    for (const Control& control : p->controls)
        if (control.name.compare(0, args[1].text.size(), args[1].text) == 0)
            names += (names.empty() ? "" : ",") + control.name;
    if (!names.empty()) o.reply = c.replies.add(c.command, names, true);
    return true;
}

// Notes the registrations of devices other than `device` that a new RR or
// RU for `device` leaves in place, once per call from the outside.
static void noteLeftBehind(CommandContext& c, int device, CommandOutcome& o) {
    for (int other : c.registrations.devices()) {
        if (other == device || std::count(c.leftBehindNoted.begin(), c.leftBehindNoted.end(), other)) continue;
        c.leftBehindNoted.push_back(other);
        o.silences.push_back({"registration", "the registration of device " + std::to_string(other) + " (" +
                                                  rangesText(c.registrations.of(other)) + ") stays: " +
                                                  escapeBytes(c.command) + " does not end it"});
    }
}

static bool registerRange(CommandContext& c, const std::vector<CommandArg>& args, CommandOutcome& o) {
    std::vector<int> n;
    const bool add = args.size() == 4 && args[3].quoted && args[3].text == "ADD";
    if (!numbersOf(args, 3, n) || (args.size() != 3 && !add) || n[1] > n[2])
        return false;
    c.registrations.add(n[0], n[1], n[2], add);
    noteLeftBehind(c, n[0], o);
    return true;
}

static bool unregister(CommandContext& c, const std::vector<CommandArg>& args, CommandOutcome& o) {
    std::vector<int> n;
    if (args.size() != 1 || !numbersOf(args, 1, n)) return false;
    c.registrations.remove(n[0]);
    noteLeftBehind(c, n[0], o);
    return true;
}

// Why a poll of a known state found nothing: beyond the router's announced
// size, or nothing routed there.
static std::string nothingRouted(const RouterBackend& backend, int device, int first, int last) {
    const std::string range = std::to_string(first) + ".." + std::to_string(last);
    const int size = backend.announcedSize();
    if (size >= 0 && first > size)
        return "router device " + std::to_string(device) + " has " + std::to_string(size) + " destinations, none in " +
               range + ": poll unanswered";
    return "nothing routed on device " + std::to_string(device) + " in " + range + ": poll unanswered";
}

static bool poll(CommandContext& c, const std::vector<CommandArg>& args, CommandOutcome& o) {
    std::vector<int> n;
    if (args.size() != 3 || !numbersOf(args, 3, n) || n[1] > n[2])
        return false;
    const std::string device = std::to_string(n[0]);
    const RouterBackend* backend = c.backends.find(n[0]);
    if (!backend) {
        o.silences.push_back({"poll", "the router has no device " + device + ": poll unanswered"});
        return true;
    }
    PollResult result = backend->poll(n[1], n[2]);
    if (!result.why.empty())
        o.silences.push_back({"poll", "router device " + device + " " + result.why + ": poll unanswered"});
    else if (result.reports.empty())
        o.silences.push_back({"poll", nothingRouted(*backend, n[0], n[1], n[2])});
    for (Report& r : result.reports) c.reports.push_back(std::move(r));
    return true;
}

static bool timer(CommandContext& c, const std::vector<CommandArg>& args, CommandOutcome&) {
    std::vector<int> n;
    if (args.size() == 1 && numbersOf(args, 1, n)) {
        c.clock.stop(n[0]);
        return true;
    }
    if (args.size() != 2 || !numbersOf(args, 2, n) || n[1] < 1) return false;
    c.clock.start(n[0], n[1]);
    return true;
}

const std::vector<HostCommandKind>& hostCommandTable() {
    static const std::vector<HostCommandKind> table = {
        {"PS", "PS 'panel' 'file' ['extra']", showPanel},
        {"TP", "TP 'param=value' 'panel' 'control'", putText, 3, true},
        {"TG", "TG 'panel' 'control' 'param'", getText, 3, false},
        {"XI", "XI 'panel' 'selector'", listControls, 2, false},
        {"RR", "RR device first last ['ADD'], first <= last", registerRange},
        {"RU", "RU device", unregister},
        {"RP", "RP device first last, first <= last", poll},
        {"ET", "ET id [interval], interval 1 or more", timer},
    };
    return table;
}

const HostCommandKind* findHostCommand(const std::string& code) {
    for (const HostCommandKind& kind : hostCommandTable())
        if (code == kind.code) return &kind;
    return nullptr;
}
