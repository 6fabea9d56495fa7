#include "routers/simulated_router.h"

static const char kSourcePrefix[] = "SRC ";

// Grows the model's inputs to hold `source`. False when it cannot.
static bool holdSource(RouterModel& model, int source) {
    if (source < 1 || source > kMaxRouterPorts) return false;
    if (source > model.inputs()) model.resize(source, model.outputs());
    return true;
}

static std::string sourcesText() { return "sources 1.." + std::to_string(kMaxRouterPorts); }

SimulatedRouter::SimulatedRouter(int device, int size, BackendEvents& events)
    : device_(device), events_(events), model_(0, size, RouterModel::Naming{kSourcePrefix, "DEST "}) {}

PollResult SimulatedRouter::poll(int first, int last) const {
    if (!model_.present()) return PollResult{"is offline", {}};
    return PollResult{"", routedDestinations(model_, device_, first, last)};
}

std::vector<Report> SimulatedRouter::knownRoutes(int first, int last) const {
    return routedDestinations(model_, device_, first, last);
}

void SimulatedRouter::report(int output) {
    if (model_.present()) events_.report(reportOf(model_, device_, output));
}

bool SimulatedRouter::route(int destination, int source, std::string& why) {
    if (destination < 1 || destination > model_.outputs()) {
        why = "has destinations 1.." + std::to_string(model_.outputs()) + ", not " + std::to_string(destination);
        return false;
    }
    if (!holdSource(model_, source)) {
        why = "has " + sourcesText() + ", not " + std::to_string(source);
        return false;
    }
    const int output = outputOfDestination(destination);
    model_.setRoute(output, inputOfSource(source));
    report(output);
    return true;
}

bool SimulatedRouter::rename(int source, const std::string& name, std::string& why) {
    if (!holdSource(model_, source)) {
        why = "has " + sourcesText() + ", not " + std::to_string(source);
        return false;
    }
    model_.setInputLabel(inputOfSource(source), name);
    for (int output : model_.outputsFedBy(inputOfSource(source))) report(output);
    return true;
}
