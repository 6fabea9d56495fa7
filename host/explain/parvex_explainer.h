// The emulator's picture of the Parvex component's pair: the device and the
// destination it follows and the source it shows, kept from the settings the
// host sends and the commands the component answers with. The component
// refuses settings and drops reports without a word by design; from this
// picture the emulator says why, in the component's own order of tests.
//
// The picture follows the traffic, not the component's memory: a setting that
// sent "RR d n n" set up the pair d/n, a report answered with "TP 'text=..."
// was shown (its source and its text). Only a silent outcome is explained.
#ifndef VESK_HOST_EXPLAIN_PARVEX_EXPLAINER_H
#define VESK_HOST_EXPLAIN_PARVEX_EXPLAINER_H

#include <string>
#include <vector>

#include "explain/explainer.h"

class ParvexExplainer : public Explainer {
public:
    // A new component: no device, no destination, no source shown.
    void reset() override { *this = ParvexExplainer(); }
    std::vector<Silence> afterText(const std::string& text, const std::vector<HostCommand>& commands) override;
    std::vector<Silence> afterReport(const Report& report, const std::vector<HostCommand>& commands) override;
    std::string textControl() const override { return "LevelMimic"; }

private:
    std::string refusal(int destination) const;

    int device_ = -1;
    int destination_ = -1;
    int lastSource_ = -1;
    std::string lastText_;
};

#endif  // VESK_HOST_EXPLAIN_PARVEX_EXPLAINER_H
