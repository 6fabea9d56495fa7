#include "routers/router_backend.h"

#include <algorithm>

Report reportOf(const RouterModel& model, int device, int output) {
    const int input = model.route(output);
    return Report{device, destinationOfOutput(output), sourceOfInput(input), model.inputLabel(input)};
}

std::vector<Report> routedDestinations(const RouterModel& model, int device, int first, int last) {
    std::vector<Report> out;
    const int to = std::min(last, model.outputs());
    for (int destination = std::max(first, 1); destination <= to; ++destination) {
        const int output = outputOfDestination(destination);
        if (model.route(output) != kNoInput) out.push_back(reportOf(model, device, output));
    }
    return out;
}
