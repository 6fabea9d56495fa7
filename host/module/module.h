// The boundary between the emulator and a component module.
//
// One adapter per binary layout implements it:
//   module_native.cpp  dlopen; the module is built by the same g++, so the
//                      vesk_client_callback class is shared as it stands.
//   module_msvc.cpp    LoadLibraryA; the DLL follows the MSVC C++ ABI on i686,
//                      so both objects are driven through hand-made tables of
//                      thiscall pointers and no g++ class crosses the boundary.
// Everything else in the emulator is the same in both builds.
#ifndef VESK_HOST_MODULE_MODULE_H
#define VESK_HOST_MODULE_MODULE_H

#include <memory>
#include <string>

// The host's side of one component: receives every call the component makes
// on its host (type 0 commands, type 5 hand-backs, anything else it tries).
// Implementations must not throw: the call comes from inside the module.
class HostEndpoint {
public:
    virtual ~HostEndpoint() = default;
    virtual char* onCall(void* data, int type) = 0;
};

// One live component, opaque to the emulator.
struct ComponentHandle;

class Module {
public:
    virtual ~Module() = default;

    // Calls the export with a new host object that forwards to `endpoint`
    // (which must outlive the component) and `path`. Null when the export
    // returned null; the host object is then released again.
    virtual ComponentHandle* create(HostEndpoint* endpoint, const char* path) = 0;
    // The component's callback(data, type).
    virtual char* send(ComponentHandle* component, void* data, int type) = 0;
    // Deletes the component through its virtual destructor and releases the
    // host object made for it.
    virtual void destroy(ComponentHandle* component) = 0;
};

// Loads the module at `path` (platform path as given) and finds its export.
// Null with `error` set when either fails.
std::unique_ptr<Module> loadModule(const std::string& path, std::string& error);

#endif  // VESK_HOST_MODULE_MODULE_H
