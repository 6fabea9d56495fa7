#include "console.h"

#include <optional>

#include "text_bytes.h"

const char Console::kHelp[] =
    "commands (ports numbered from 0, as on the wire; levels from 1):\n"
    "  route OUT IN [LEVEL]    route input IN to output OUT on LEVEL (1 when left out),\n"
    "                          whatever the locks\n"
    "  label IN TEXT           name input IN (TEXT runs to the end of the line)\n"
    "  output-label OUT TEXT   name output OUT\n"
    "  present true|false|needs_update\n"
    "                          the device is there, gone, or needs new firmware\n"
    "  help                    this list\n"
    "  quit                    stop serving and exit\n";

// A decimal of 1..9 digits, at most kMaxRouterPorts.
static std::optional<int> portNumber(const std::string& text) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int value = std::stoi(text);
    return value <= kMaxRouterPorts ? std::optional<int>(value) : std::nullopt;
}

// The next word of `line` from `at` (blanks skipped); `at` moves past it.
static std::string nextWord(const std::string& line, size_t& at) {
    while (at < line.size() && line[at] == ' ') ++at;
    const size_t start = at;
    while (at < line.size() && line[at] != ' ') ++at;
    return line.substr(start, at - start);
}

std::string Console::route(const std::string& outputText, const std::string& inputText,
                           const std::string& levelText) {
    const std::optional<int> output = portNumber(outputText), input = portNumber(inputText);
    const std::optional<int> level = levelText.empty() ? std::optional<int>(1) : portNumber(levelText);
    if (!output || !input || !level) return "usage: route OUT IN [LEVEL]";
    return router_.route(*output, *input, Origin::console(), *level);
}

std::string Console::label(const std::string& verb, const std::string& indexText, const std::string* text) {
    const std::optional<int> index = portNumber(indexText);
    if (!index || !text) return "usage: " + verb + " INDEX TEXT";
    return router_.label(verb == "label" ? ChangeKind::InputLabel : ChangeKind::OutputLabel, *index, *text,
                         Origin::console());
}

Console::Result Console::run(const std::string& line) {
    size_t at = 0;
    const std::string verb = nextWord(line, at), first = nextWord(line, at);
    const size_t afterFirst = at;
    const std::string second = nextWord(line, at), third = nextWord(line, at), rest = nextWord(line, at);
    std::string error;
    if (verb.empty()) return Result::Continue;
    if ((verb == "quit" || verb == "help") && !first.empty()) {
        error = "usage: " + verb;
    } else if (verb == "quit") {
        return Result::Quit;
    } else if (verb == "help") {
        out_ << kHelp << std::flush;
    } else if (verb == "route") {
        error = rest.empty() ? route(first, second, third) : "usage: route OUT IN [LEVEL]";
    } else if (verb == "label" || verb == "output-label") {
        // The text is everything after the one blank that ends the index.
        const std::string text = afterFirst < line.size() ? line.substr(afterFirst + 1) : "";
        error = label(verb, first, afterFirst < line.size() ? &text : nullptr);
    } else if (verb == "present" && (first == "true" || first == "false" || first == "needs_update")) {
        router_.setPresence(first == "true"    ? Presence::Present
                            : first == "false" ? Presence::Absent
                                               : Presence::NeedsUpdate,
                            Origin::console());
    } else {
        error = "unknown command: " + line + " (try help)";
    }
    if (!error.empty()) out_ << "error: " << escapeText(error) << std::endl;
    return Result::Continue;
}
