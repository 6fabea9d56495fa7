#include "router.h"

void Router::define(int device, int size) {
    Device& d = devices_[device];
    d.size = size;
    for (auto it = d.routes.begin(); it != d.routes.end();) {
        if (it->first > size)
            it = d.routes.erase(it);
        else
            ++it;
    }
}

int Router::size(int device) const {
    auto it = devices_.find(device);
    return it == devices_.end() ? 0 : it->second.size;
}

bool Router::online(int device) const {
    auto it = devices_.find(device);
    return it != devices_.end() && it->second.online;
}

void Router::setOnline(int device, bool online) {
    auto it = devices_.find(device);
    if (it != devices_.end()) it->second.online = online;
}

std::string Router::sourceName(int device, int source) const {
    auto it = devices_.find(device);
    if (it != devices_.end()) {
        auto name = it->second.names.find(source);
        if (name != it->second.names.end()) return name->second;
    }
    return "SRC " + std::to_string(source);
}

Report Router::reportFor(int device, int destination) const {
    int source = routed(device, destination);
    return Report{device, destination, source, sourceName(device, source)};
}

std::vector<Report> Router::rename(int device, int source, const std::string& name) {
    std::vector<Report> out;
    auto it = devices_.find(device);
    if (it == devices_.end()) return out;
    it->second.names[source] = name;
    if (!it->second.online) return out;
    for (const auto& [destination, routedSource] : it->second.routes)
        if (routedSource == source && registered(device, destination)) out.push_back(reportFor(device, destination));
    return out;
}

std::vector<Report> Router::route(int device, int destination, int source) {
    std::vector<Report> out;
    auto it = devices_.find(device);
    if (it == devices_.end() || destination < 1 || destination > it->second.size) return out;
    it->second.routes[destination] = source;
    if (it->second.online && registered(device, destination)) out.push_back(reportFor(device, destination));
    return out;
}

int Router::routed(int device, int destination) const {
    auto it = devices_.find(device);
    if (it == devices_.end()) return 0;
    auto route = it->second.routes.find(destination);
    return route == it->second.routes.end() ? 0 : route->second;
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
    auto it = devices_.find(device);
    if (it == devices_.end() || !it->second.online) return out;
    for (const auto& [destination, source] : it->second.routes) {
        (void)source;
        if (destination >= first && destination <= last) out.push_back(reportFor(device, destination));
    }
    return out;
}

std::vector<Report> Router::registeredRoutes(int device) const {
    std::vector<Report> out;
    auto it = devices_.find(device);
    if (it == devices_.end()) return out;
    for (const auto& entry : it->second.routes)
        if (registered(device, entry.first)) out.push_back(reportFor(device, entry.first));
    return out;
}
