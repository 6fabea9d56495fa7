// Windows adapter for a DLL built with the MSVC C++ ABI on i686.
//
// g++ lays out classes with the Itanium ABI (a virtual destructor takes two
// slots), so no g++ class may cross this boundary. Both objects are built and
// called by hand instead: an object is a pointer to a table of thiscall
// functions, slot 0 the scalar deleting destructor (flags 1: destroy and free),
// slot 1 callback(data, type).
#include <windows.h>

#include <string>

#include "module/module.h"

namespace {

typedef void*(__attribute__((thiscall)) * DestructorSlot)(void* self, unsigned flags);
typedef char*(__attribute__((thiscall)) * CallbackSlot)(void* self, void* data, int type);

struct CallbackTable {
    DestructorSlot destructor;
    CallbackSlot callback;
};

// The host object as the component sees it.
struct MsvcHost {
    const CallbackTable* table;
    HostEndpoint* endpoint;
};

static_assert(sizeof(void*) == 4, "the MSVC adapter is for 32-bit Windows only");

// The component never owns its host; a call here is reported like any other
// stray call, as type -1.
void* __attribute__((thiscall)) hostDestructor(void* self, unsigned) {
    MsvcHost* host = static_cast<MsvcHost*>(self);
    host->endpoint->onCall(nullptr, -1);
    return self;
}

char* __attribute__((thiscall)) hostCallback(void* self, void* data, int type) {
    return static_cast<MsvcHost*>(self)->endpoint->onCall(data, type);
}

const CallbackTable kHostTable = {hostDestructor, hostCallback};

typedef void*(__cdecl* ExportFn)(void* host, const char* path);

const CallbackTable* tableOf(void* object) { return *static_cast<const CallbackTable* const*>(object); }

}  // namespace

struct ComponentHandle {
    void* component;
    MsvcHost* host;
};

namespace {

class MsvcModule : public Module {
public:
    MsvcModule(HMODULE library, ExportFn entry) : library_(library), entry_(entry) {}
    // Kept loaded for the life of the process, like the real host does while
    // any panel may still use it.
    ~MsvcModule() override { (void)library_; }

    ComponentHandle* create(HostEndpoint* endpoint, const char* path) override {
        MsvcHost* host = new MsvcHost{&kHostTable, endpoint};
        void* component = entry_(host, path);
        if (!component) {
            delete host;
            return nullptr;
        }
        return new ComponentHandle{component, host};
    }

    char* send(ComponentHandle* handle, void* data, int type) override {
        return tableOf(handle->component)->callback(handle->component, data, type);
    }

    void destroy(ComponentHandle* handle) override {
        tableOf(handle->component)->destructor(handle->component, 1);
        delete handle->host;
        delete handle;
    }

private:
    HMODULE library_;
    ExportFn entry_;
};

}  // namespace

std::unique_ptr<Module> loadModule(const std::string& path, std::string& error) {
    // LoadLibraryA wants backslashes in a path.
    std::string file = path;
    for (char& c : file)
        if (c == '/') c = '\\';
    HMODULE library = LoadLibraryA(file.c_str());
    if (!library) {
        error = "cannot load module (Windows error " + std::to_string(GetLastError()) + ")";
        return nullptr;
    }
    FARPROC entry = GetProcAddress(library, "load_vesk_client_script");
    if (!entry) {
        error = "module has no export load_vesk_client_script";
        FreeLibrary(library);
        return nullptr;
    }
    return std::unique_ptr<Module>(new MsvcModule(library, reinterpret_cast<ExportFn>(reinterpret_cast<void*>(entry))));
}
