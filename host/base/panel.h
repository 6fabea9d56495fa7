// Panels as the emulator shows them: read from a panel file on "PS", changed
// by "TP", read by "TG" and "XI", and drawn for a person.
//
// Panel file format, one item a line:
//   panel <title>                 first item; names the panel for a reader
//   control <name> <kind>         adds a control
//   <parameter> = <value>         default of the last control's parameter
// Blank lines and lines starting with '#' are ignored; blanks around names and
// values are dropped; a value may be empty.
#ifndef VESK_HOST_BASE_PANEL_H
#define VESK_HOST_BASE_PANEL_H

#include <optional>
#include <string>
#include <utility>
#include <vector>

struct Control {
    std::string name;
    std::string kind;
    // In the order they were first set (file defaults first).
    std::vector<std::pair<std::string, std::string>> params;

    // Null when the parameter was never set.
    const std::string* param(const std::string& key) const;
    void set(const std::string& key, const std::string& value);
};

struct Panel {
    std::string title;
    std::vector<Control> controls;

    Control* control(const std::string& name);
    const Control* control(const std::string& name) const;
};

struct PanelFileError {
    int line;
    std::string message;
};

// Parses a panel file's text (line ends \n or \r\n). Null on success with
// `panel` filled; otherwise the first error, with `panel` unspecified.
std::optional<PanelFileError> parsePanelFile(const std::string& content, Panel& panel);

// The panel as a person would see it, in a box of plain ASCII: one block per
// control, its "text" in a field, its state sheet and any other parameter
// below. `name` is the name the panel was shown under. Lines end in '\n'.
std::string drawPanel(const std::string& name, const Panel& panel);

#endif  // VESK_HOST_BASE_PANEL_H
