#include "routers/backends.h"

#include "routers/live_router.h"

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
    if (!protocol) {
        error = "unknown router protocol \"" + target.protocol + "\"";
        return nullptr;
    }
    std::unique_ptr<RouterCodec> codec = protocol->makeCodec(target.options, error);
    if (!codec) return nullptr;
    ClientTiming timing = context.timing;
    if (timing.resendAfter.count() <= 0) {
        timing.resendAfter = protocol->resendAfter;
        timing.maxResends = protocol->maxResends;
    }
    return &put(device, std::make_unique<LiveRouter>(context.io, device, protocol->scheme, std::move(codec), target.host,
                                                     target.port, timing, context.events));
}

RouterBackend& Backends::put(int device, std::unique_ptr<RouterBackend> backend) {
    RouterBackend& made = *backend;
    devices_[device] = std::move(backend);
    return made;
}
