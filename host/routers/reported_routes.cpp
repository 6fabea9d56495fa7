#include "routers/reported_routes.h"

void ReportedRoutes::compare(const RouterModel& model, int device, const std::set<int>& outputs,
                             BackendEvents& events) {
    for (int output : outputs) {
        const int input = model.route(output);
        if (input == kNoInput) continue;
        std::pair<int, std::string> now(input, model.inputLabel(input));
        auto it = last_.find(output);
        if (it != last_.end() && it->second == now) continue;
        last_[output] = now;
        events.report(reportOf(model, device, output));
    }
}

std::vector<int> ReportedRoutes::forgetFrom(int outputs) {
    std::vector<int> gone;
    for (auto it = last_.lower_bound(outputs); it != last_.end(); it = last_.erase(it))
        gone.push_back(destinationOfOutput(it->first));
    return gone;
}
