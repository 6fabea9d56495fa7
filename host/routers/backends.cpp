#include "routers/backends.h"

#include "host_port.h"
#include "routers/swp08_client.h"
#include "routers/videohub_client.h"

static std::unique_ptr<RouterBackend> makeVideohub(int device, const RouterTarget& target, BackendContext& context,
                                                   std::string&) {
    return std::make_unique<VideohubClient>(context.io, device, target.host, target.port, context.timing, context.events);
}

static std::unique_ptr<RouterBackend> makeSwp08(int device, const RouterTarget& target, BackendContext& context,
                                                std::string& error) {
    std::optional<Swp08Client::Options> options = Swp08Client::Options::parse(target.options, error);
    if (!options) return nullptr;
    return std::make_unique<Swp08Client>(context.io, device, target.host, target.port, *options, context.timing,
                                         context.events);
}

static bool checkSwp08(const RouterTarget& target, std::string& error) {
    return Swp08Client::Options::parse(target.options, error).has_value();
}

// The router protocols, one line each.
const std::vector<RouterProtocol>& protocols() {
    static const std::vector<RouterProtocol> list = {
        {"videohub", 9990, {}, makeVideohub},
        {"swp08", 8910, {{"matrix", "1..256 (1)"}, {"level", "1..256 (1)"}, {"names", "4, 8, 12, 16 or 32 (16)"}},
         makeSwp08, checkSwp08},
    };
    return list;
}

const RouterProtocol* findProtocol(const std::string& name) {
    for (const RouterProtocol& p : protocols())
        if (name == p.name) return &p;
    return nullptr;
}

static bool parseOptions(const std::string& text, const RouterProtocol& protocol, RouterTarget& target,
                         std::string& error) {
    size_t at = 0;
    while (at <= text.size()) {
        size_t end = text.find('&', at);
        if (end == std::string::npos) end = text.size();
        const std::string pair = text.substr(at, end - at);
        const size_t equals = pair.find('=');
        const std::string name = pair.substr(0, equals);
        bool known = false;
        for (const auto& option : protocol.options) known = known || option.first == name;
        if (equals == std::string::npos || !known) {
            error = "expected NAME=VALUE with a name " + std::string(protocol.name) + " takes, got \"" + pair + "\"";
            return false;
        }
        target.options[name] = pair.substr(equals + 1);
        at = end + 1;
    }
    return true;
}

std::optional<RouterTarget> parseRouterTarget(const std::string& text, std::string& error) {
    RouterTarget target;
    std::string rest = text;
    const size_t scheme = text.find("://");
    target.protocol = scheme == std::string::npos ? "videohub" : text.substr(0, scheme);
    if (scheme != std::string::npos) rest = text.substr(scheme + 3);
    const RouterProtocol* protocol = findProtocol(target.protocol);
    if (!protocol) {
        error = "unknown router protocol \"" + target.protocol + "\"";
        return std::nullopt;
    }
    const size_t query = rest.find('?');
    std::optional<HostPort> address = parseHostPort(rest.substr(0, query), protocol->defaultPort);
    if (!address) {
        error = "expected HOST or HOST:PORT (port 1..65535), got \"" + rest.substr(0, query) + "\"";
        return std::nullopt;
    }
    target.host = address->host;
    target.port = address->port;
    if (query != std::string::npos && !parseOptions(rest.substr(query + 1), *protocol, target, error)) return std::nullopt;
    if (protocol->check && !protocol->check(target, error)) return std::nullopt;
    return target;
}

std::string formatRouterTarget(const RouterTarget& target) {
    return target.protocol + "://" + formatHostPort(HostPort{target.host, target.port});
}

RouterBackend* Backends::find(int device) const {
    auto it = devices_.find(device);
    return it == devices_.end() ? nullptr : it->second.get();
}

SimulatedRouter* Backends::simulated(int device) const {
    RouterBackend* backend = find(device);
    return backend && !backend->live() ? static_cast<SimulatedRouter*>(backend) : nullptr;
}

bool Backends::isLive(int device) const {
    RouterBackend* backend = find(device);
    return backend && backend->live();
}

bool Backends::anyLive() const {
    for (const auto& entry : devices_)
        if (entry.second->live()) return true;
    return false;
}

std::vector<int> Backends::devices() const {
    std::vector<int> out;
    for (const auto& entry : devices_) out.push_back(entry.first);
    return out;
}

SimulatedRouter& Backends::simulate(int device, int size) {
    if (SimulatedRouter* existing = simulated(device)) {
        existing->resize(size);
        return *existing;
    }
    return static_cast<SimulatedRouter&>(put(device, std::make_unique<SimulatedRouter>(device, size, events_)));
}

RouterBackend* Backends::follow(int device, const RouterTarget& target, BackendContext& context, std::string& error) {
    const RouterProtocol* protocol = findProtocol(target.protocol);
    std::unique_ptr<RouterBackend> backend = protocol ? protocol->make(device, target, context, error) : nullptr;
    if (!backend) return nullptr;
    return &put(device, std::move(backend));
}

RouterBackend& Backends::put(int device, std::unique_ptr<RouterBackend> backend) {
    RouterBackend& made = *backend;
    devices_[device] = std::move(backend);
    return made;
}
