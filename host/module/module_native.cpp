// Linux adapter: the module is a g++-built shared object, so the host object
// is a plain vesk_client_callback and the component is deleted with `delete`.
#include <dlfcn.h>

#include "module/module.h"
#include "vesk_client_callback.h"

namespace {

typedef vesk_client_callback* (*ExportFn)(vesk_client_callback* host, const char* path);

class NativeHost : public vesk_client_callback {
public:
    explicit NativeHost(HostEndpoint* endpoint) : endpoint_(endpoint) {}
    char* callback(void* data, int type) override { return endpoint_->onCall(data, type); }

private:
    HostEndpoint* endpoint_;
};

}  // namespace

struct ComponentHandle {
    vesk_client_callback* component;
    NativeHost* host;
};

namespace {

class NativeModule : public Module {
public:
    NativeModule(void* library, ExportFn entry) : library_(library), entry_(entry) {}
    // The module stays mapped for the life of the process: a component's code
    // may still be referenced by a handle the caller has not destroyed.
    ~NativeModule() override { (void)library_; }

    ComponentHandle* create(HostEndpoint* endpoint, const char* path) override {
        NativeHost* host = new NativeHost(endpoint);
        vesk_client_callback* component = entry_(host, path);
        if (!component) {
            delete host;
            return nullptr;
        }
        return new ComponentHandle{component, host};
    }

    char* send(ComponentHandle* handle, void* data, int type) override {
        return handle->component->callback(data, type);
    }

    void destroy(ComponentHandle* handle) override {
        delete handle->component;
        delete handle->host;
        delete handle;
    }

private:
    void* library_;
    ExportFn entry_;
};

}  // namespace

std::unique_ptr<Module> loadModule(const std::string& path, std::string& error) {
    // dlopen searches the library path for a bare name; a script names a file.
    std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* why = dlerror();
        error = std::string("cannot load module: ") + (why ? why : "unknown error");
        return nullptr;
    }
    void* entry = dlsym(library, "load_vesk_client_script");
    if (!entry) {
        error = "module has no export load_vesk_client_script";
        dlclose(library);
        return nullptr;
    }
    return std::unique_ptr<Module>(new NativeModule(library, reinterpret_cast<ExportFn>(entry)));
}
