// An in-process stand-in for a component module, so the emulator's own checks
// can be driven with components that misbehave on purpose.
#ifndef VESK_HOST_TESTS_FAKE_MODULE_H
#define VESK_HOST_TESTS_FAKE_MODULE_H

#include <functional>
#include <string>
#include <vector>

#include "module/module.h"

// What the fake component does; each hook gets the host endpoint to call.
struct FakeBehaviour {
    std::function<void(HostEndpoint&)> onCreate;
    // The component's callback; returns its result.
    std::function<char*(HostEndpoint&, void* data, int type)> onEvent;
    // Runs on delete; the default sends "AS".
    std::function<void(HostEndpoint&)> onDelete;
};

// The handle type belongs to the real adapter; the fake hands out its own
// object behind the opaque pointer.
struct FakeComponent {
    HostEndpoint* host;
};

inline FakeComponent* fakeOf(ComponentHandle* handle) { return reinterpret_cast<FakeComponent*>(handle); }

class FakeModule : public Module {
public:
    explicit FakeModule(FakeBehaviour behaviour) : behaviour_(std::move(behaviour)) {}

    ComponentHandle* create(HostEndpoint* endpoint, const char* path) override {
        createdWith.push_back(path);
        if (behaviour_.onCreate) behaviour_.onCreate(*endpoint);
        return reinterpret_cast<ComponentHandle*>(new FakeComponent{endpoint});
    }
    char* send(ComponentHandle* handle, void* data, int type) override {
        ++depth;
        maxDepth = depth > maxDepth ? depth : maxDepth;
        char* result = behaviour_.onEvent ? behaviour_.onEvent(*fakeOf(handle)->host, data, type) : nullptr;
        --depth;
        return result;
    }
    void destroy(ComponentHandle* handle) override {
        FakeComponent* component = fakeOf(handle);
        if (behaviour_.onDelete)
            behaviour_.onDelete(*component->host);
        else
            command(*component->host, "AS");
        delete component;
    }

    // Sends a command text as the component does.
    static char* command(HostEndpoint& host, const std::string& text) {
        return host.onCall(const_cast<char*>(text.c_str()), 0);
    }

    std::vector<std::string> createdWith;
    int depth = 0;
    // Deepest nesting of component calls seen: 1 means never re-entered.
    int maxDepth = 0;

private:
    FakeBehaviour behaviour_;
};

#endif  // VESK_HOST_TESTS_FAKE_MODULE_H
