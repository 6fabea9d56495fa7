#include "router.h"

#include <algorithm>

namespace {

const char kSourcePrefix[] = "SRC ";

bool isSource(int source) { return source >= 1 && source <= kMaxRouterPorts; }

// Grows the model's inputs to hold `source`. False when it cannot.
bool holdSource(RouterModel& model, int source) {
    if (!isSource(source)) return false;
    if (source > model.inputs()) model.resize(source, model.outputs());
    return true;
}

// The report of `output`, which has a route.
Report reportOf(int device, const RouterModel& model, int output) {
    const int input = model.route(output);
    return Report{device, destinationOfOutput(output), sourceOfInput(input), model.inputLabel(input)};
}

}  // namespace

const RouterModel* Router::find(int device) const {
    auto it = devices_.find(device);
    return it == devices_.end() ? nullptr : &it->second;
}

RouterModel* Router::find(int device) { return const_cast<RouterModel*>(static_cast<const Router*>(this)->find(device)); }

void Router::define(int device, int size) {
    if (RouterModel* model = find(device))
        model->resize(model->inputs(), size);
    else
        devices_.emplace(device, RouterModel(0, size, RouterModel::Naming{kSourcePrefix, "DEST "}));
}

int Router::size(int device) const {
    const RouterModel* model = find(device);
    return model ? model->outputs() : 0;
}

bool Router::online(int device) const {
    const RouterModel* model = find(device);
    return model && model->present();
}

void Router::setOnline(int device, bool online) {
    if (RouterModel* model = find(device)) model->setPresence(online ? Presence::Present : Presence::Absent);
}

std::string Router::sourceName(int device, int source) const {
    const RouterModel* model = find(device);
    if (model && source >= 1 && source <= model->inputs()) return model->inputLabel(inputOfSource(source));
    return kSourcePrefix + std::to_string(source);
}

std::vector<Report> Router::rename(int device, int source, const std::string& name) {
    std::vector<Report> out;
    RouterModel* model = find(device);
    if (!model || !holdSource(*model, source)) return out;
    model->setInputLabel(inputOfSource(source), name);
    if (!model->present()) return out;
    for (int output : model->outputsFedBy(inputOfSource(source)))
        if (registered(device, destinationOfOutput(output))) out.push_back(reportOf(device, *model, output));
    return out;
}

std::vector<Report> Router::route(int device, int destination, int source) {
    std::vector<Report> out;
    RouterModel* model = find(device);
    if (!model || destination < 1 || destination > model->outputs() || !holdSource(*model, source)) return out;
    const int output = outputOfDestination(destination);
    model->setRoute(output, inputOfSource(source));
    if (model->present() && registered(device, destination)) out.push_back(reportOf(device, *model, output));
    return out;
}

int Router::routed(int device, int destination) const {
    const RouterModel* model = find(device);
    if (!model || destination < 1) return 0;
    const int input = model->route(outputOfDestination(destination));
    return input == kNoInput ? 0 : sourceOfInput(input);
}

void Router::registerRange(int device, int first, int last, bool add) {
    std::vector<Registration>& list = registrations_[device];
    if (!add) list.clear();
    list.push_back(Registration{first, last});
}

void Router::unregister(int device) { registrations_.erase(device); }

bool Router::registered(int device, int destination) const {
    auto it = registrations_.find(device);
    if (it == registrations_.end()) return false;
    for (const Registration& r : it->second)
        if (destination >= r.first && destination <= r.last) return true;
    return false;
}

const std::vector<Registration>& Router::registrations(int device) const {
    static const std::vector<Registration> none;
    auto it = registrations_.find(device);
    return it == registrations_.end() ? none : it->second;
}

std::vector<int> Router::registeredDevices() const {
    std::vector<int> devices;
    for (const auto& entry : registrations_) devices.push_back(entry.first);
    return devices;
}

std::vector<Report> Router::poll(int device, int first, int last) const {
    std::vector<Report> out;
    const RouterModel* model = find(device);
    if (!model || !model->present()) return out;
    const int to = std::min(last, model->outputs());
    for (int destination = std::max(first, 1); destination <= to; ++destination) {
        const int output = outputOfDestination(destination);
        if (model->route(output) != kNoInput) out.push_back(reportOf(device, *model, output));
    }
    return out;
}

std::vector<Report> Router::registeredRoutes(int device) const {
    std::vector<Report> out;
    const RouterModel* model = find(device);
    if (!model) return out;
    for (int output = 0; output < model->outputs(); ++output)
        if (model->route(output) != kNoInput && registered(device, destinationOfOutput(output)))
            out.push_back(reportOf(device, *model, output));
    return out;
}
