// Why a component stayed silent, for the transcript: the component-specific
// knowledge of the host, behind one interface, chosen for the loaded module.
// A component refuses settings and drops reports without a word by design;
// an explainer says why, from what the host sent and what came back.
#ifndef VESK_HOST_EXPLAIN_EXPLAINER_H
#define VESK_HOST_EXPLAIN_EXPLAINER_H

#include <memory>
#include <string>
#include <vector>

#include "base/report.h"
#include "base/text.h"

// Why something sent nothing: `about` names what ("destid", "report", ...).
struct Silence {
    std::string about;
    std::string text;
};

// A command the component sent, as the host parsed it.
struct HostCommand {
    std::string code;  // "RR", "TP", ...
    std::vector<CommandArg> args;
};

class Explainer {
public:
    virtual ~Explainer() = default;
    // A new component: forget the last one.
    virtual void reset() = 0;
    // A text event (type 3) and the commands sent during it. Returns why it
    // sent nothing, when it did not.
    virtual std::vector<Silence> afterText(const std::string& text, const std::vector<HostCommand>& commands) = 0;
    // A router report (type 1) and the commands sent during it.
    virtual std::vector<Silence> afterReport(const Report& report, const std::vector<HostCommand>& commands) = 0;
    // The control whose "text" the "expect text" statement reads on panel
    // "1"; empty when the component has none.
    virtual std::string textControl() const { return ""; }
};

#endif  // VESK_HOST_EXPLAIN_EXPLAINER_H
