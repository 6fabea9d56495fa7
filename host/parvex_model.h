// The emulator's picture of the Parvex component's pair: the device and the
// destination it follows and the source it shows, kept from the settings the
// host sends and the commands the component answers with. The component
// refuses settings and drops reports without a word by design; from this
// picture the emulator says why, in the component's own order of tests.
//
// The picture follows the traffic, not the component's memory: a setting that
// sent "RR d n n" set up the pair d/n, a report answered with "TP 'text=..."
// was shown (its source and its text). Only a silent outcome is explained.
#ifndef VESK_HOST_PARVEX_MODEL_H
#define VESK_HOST_PARVEX_MODEL_H

#include <string>
#include <vector>

#include "router.h"

// Why something sent nothing: `about` names what ("destid", "report", ...).
struct Silence {
    std::string about;
    std::string text;
};

class ParvexModel {
public:
    // A new component: no device, no destination, no source shown.
    void reset() { *this = ParvexModel(); }

    // A text event (type 3) and the commands sent during it. Returns why it
    // sent nothing, when it did not.
    std::vector<Silence> afterText(const std::string& text, const std::vector<std::string>& commands);
    // A router report (type 1) and the commands sent during it.
    std::vector<Silence> afterReport(const Report& report, const std::vector<std::string>& commands);

private:
    std::string refusal(int destination) const;

    int device_ = -1;
    int destination_ = -1;
    int lastSource_ = -1;
    std::string lastText_;
};

#endif  // VESK_HOST_PARVEX_MODEL_H
