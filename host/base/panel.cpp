#include "base/panel.h"

#include <algorithm>

#include "base/text.h"

const std::string* Control::param(const std::string& key) const {
    for (const auto& [name, value] : params)
        if (name == key) return &value;
    return nullptr;
}

void Control::set(const std::string& key, const std::string& value) {
    for (auto& [name, old] : params) {
        if (name == key) {
            old = value;
            return;
        }
    }
    params.emplace_back(key, value);
}

Control* Panel::control(const std::string& name) {
    for (Control& c : controls)
        if (c.name == name) return &c;
    return nullptr;
}

const Control* Panel::control(const std::string& name) const {
    for (const Control& c : controls)
        if (c.name == name) return &c;
    return nullptr;
}

static std::string trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

static std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    size_t i = 0;
    while (true) {
        i = text.find_first_not_of(" \t", i);
        if (i == std::string::npos) break;
        size_t end = text.find_first_of(" \t", i);
        if (end == std::string::npos) end = text.size();
        out.push_back(text.substr(i, end - i));
        i = end;
    }
    return out;
}

std::optional<PanelFileError> parsePanelFile(const std::string& content, Panel& panel) {
    panel = Panel();
    bool havePanel = false;
    int lineNumber = 0;
    size_t pos = 0;
    while (pos <= content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::string item = trim(line);
        if (item.empty() || item[0] == '#') {
            if (end == content.size()) break;
            continue;
        }
        std::vector<std::string> w = words(item);
        if (w[0] == "panel") {
            if (havePanel) return PanelFileError{lineNumber, "a second \"panel\" line; a file holds one panel"};
            if (w.size() != 2) return PanelFileError{lineNumber, "expected \"panel <title>\""};
            panel.title = w[1];
            havePanel = true;
        } else if (!havePanel) {
            return PanelFileError{lineNumber, "expected \"panel <title>\" first"};
        } else if (w[0] == "control") {
            if (w.size() != 3) return PanelFileError{lineNumber, "expected \"control <name> <kind>\""};
            if (panel.control(w[1])) return PanelFileError{lineNumber, "control \"" + w[1] + "\" defined twice"};
            panel.controls.push_back(Control{w[1], w[2], {}});
        } else {
            size_t equals = item.find('=');
            if (equals == std::string::npos)
                return PanelFileError{lineNumber, "expected \"panel\", \"control\" or \"<parameter> = <value>\""};
            std::string key = trim(item.substr(0, equals));
            if (key.empty() || key.find_first_of(" \t") != std::string::npos)
                return PanelFileError{lineNumber, "expected one parameter name before \"=\""};
            if (panel.controls.empty())
                return PanelFileError{lineNumber, "parameter \"" + key + "\" before any \"control\" line"};
            panel.controls.back().set(key, trim(item.substr(equals + 1)));
        }
        if (end == content.size()) break;
    }
    if (!havePanel) return PanelFileError{lineNumber, "no \"panel <title>\" line"};
    return std::nullopt;
}

// Widths count characters: the texts are escaped, so valid UTF-8.
static std::string padded(const std::string& text, size_t width) {
    const size_t used = textWidth(text);
    return used >= width ? text : text + std::string(width - used, ' ');
}

std::string drawPanel(const std::string& name, const Panel& panel) {
    // Each control: its name, its text in a field, then its other parameters.
    struct Block {
        std::string name;
        std::string text;
        std::vector<std::string> lines;
    };
    std::vector<Block> blocks;
    size_t field = 24;
    for (const Control& c : panel.controls) {
        Block b{escapeBytes(c.name), "", {}};
        if (const std::string* text = c.param("text")) b.text = escapeBytes(*text);
        for (const auto& [key, value] : c.params)
            if (key != "text") b.lines.push_back(escapeBytes(key) + ": " + escapeBytes(value));
        field = std::max(field, textWidth(b.text));
        field = std::max(field, textWidth(b.name));
        for (const std::string& line : b.lines) field = std::max(field, textWidth(line));
        blocks.push_back(b);
    }
    std::string header = "+-- panel " + escapeBytes(name) + " ";
    field = std::max(field, textWidth(header));
    const size_t inner = field + 4;  // between "| " and " |"
    std::string out = header + std::string(inner + 3 - textWidth(header), '-') + "+\n";
    if (blocks.empty()) out += "| " + padded("(no controls)", inner) + " |\n";
    for (const Block& b : blocks) {
        out += "| " + padded(b.name, inner) + " |\n";
        out += "| +" + std::string(field + 2, '-') + "+ |\n";
        out += "| | " + padded(b.text, field) + " | |\n";
        out += "| +" + std::string(field + 2, '-') + "+ |\n";
        for (const std::string& line : b.lines) out += "| " + padded(line, inner) + " |\n";
    }
    out += "+" + std::string(inner + 2, '-') + "+\n";
    return out;
}
