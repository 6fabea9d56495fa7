#include "script/session.h"

#include "host_port.h"

#include <filesystem>

#include "site/database_size.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

Module* ModuleCache::get(const std::string& path, std::string& error) {
    auto it = modules_.find(path);
    if (it != modules_.end()) return it->second.get();
    std::unique_ptr<Module> module = loadModule(path, error);
    if (!module) return nullptr;
    Module* raw = module.get();
    modules_[path] = std::move(module);
    return raw;
}

std::string quotedList(const std::vector<std::string>& texts) {
    if (texts.empty()) return "nothing";
    std::string result;
    for (const std::string& t : texts) result += (result.empty() ? "" : " ") + quoteText(t);
    return result;
}

std::string folderOf(const std::string& path) {
    std::string parent = fs::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

ScriptSession::ScriptSession(Transcript& transcript, ModuleCache& cache, RunOptions runOptions)
    : out(transcript), modules(cache), options(std::move(runOptions)) {}

ScriptSession::~ScriptSession() { loop.setOwner(nullptr); }

std::string ScriptSession::resolve(const std::string& path) const {
    if (fs::path(path).is_absolute() || (!path.empty() && (path[0] == '/' || path[0] == '\\'))) return path;
    return (fs::path(folder) / path).string();
}

void ScriptSession::begin(const std::string& scriptName, const std::string& scriptFolder) {
    name = scriptName;
    folder = scriptFolder;
    failures = 0;
    errors = 0;
    earlierViolations_ = 0;
    earlierPanelErrors_ = 0;
    answers.clear();
    defaults = ModuleChoice{};
    freshComponents();
    out.file(name);
}

void ScriptSession::freshComponents() {
    current_ = nullptr;
    components.reset();
    wallStart_.reset();
    sizesChecked_.clear();
    routersConnected_ = false;
    site.reset(new Site());
    components.reset(new Components(out));
    current_ = &components->slot("");
    loop.setOwner(this);
}

bool ScriptSession::end() {
    if (components) components->deleteAll("end of script: the host deletes the component");
    int violations = earlierViolations_ + (components ? components->violations() : 0);
    int allErrors = errors + earlierPanelErrors_ + (components ? components->panelErrors() : 0);
    loop.setOwner(nullptr);
    current_ = nullptr;
    components.reset();
    wallStart_.reset();
    site.reset();
    out.result(name, failures, violations, allErrors);
    return failures == 0 && violations == 0 && allErrors == 0;
}

void ScriptSession::reset() {
    components->deleteAll("reset: the host deletes the component");
    earlierViolations_ += components->violations();
    earlierPanelErrors_ += components->panelErrors();
    answers.clear();
    // Live routers go with the components they feed; those of the command
    // line connect again before the next statement that needs them.
    freshComponents();
    out.note("reset: a fresh emulator, site and clock");
}

bool ScriptSession::error(int line, const std::string& message) {
    ++errors;
    out.error(name, line, message);
    return false;
}

void ScriptSession::fail(int line, const std::string& message) {
    ++failures;
    out.failure(name, line, message);
}

bool ScriptSession::use(const std::string& slotName) {
    Emulator* found = components->find(slotName);
    if (found) current_ = found;
    return found != nullptr;
}

bool ScriptSession::needComponent(int line) {
    if (current_->live()) return true;
    return error(line, "no component: \"create\" one first");
}

bool ScriptSession::missingPanels(int line) {
    bool none = true;
    if (components)
        for (const std::string& file : components->takeMissingPanels())
            none = error(line, "no panel file " + quoteText(file) + " in the panel folder (write \"create PATH nopanel\" "
                               "when it is meant to be missing)");
    return none;
}

void ScriptSession::connectCommandLineRouters() {
    if (routersConnected_) return;
    routersConnected_ = true;
    for (const auto& [device, target] : options.routers) connectRouter(device, target);
}

void ScriptSession::connectRouter(int device, const RouterTarget& target) {
    if (!wallClock()) {
        wallStart_ = Clock::now();
        clockAtStart_ = components->now();
        components->setRealTime(true);
    }
    Backends& backends = components->backends();
    RouterLink link;
    link.protocol = target.protocol;
    link.address = formatHostPort(HostPort{target.host, target.port});
    if (const RouterBackend* old = backends.find(device))
        if (old->live()) link.replaces = old->address();
    BackendContext context{loop.io(), components->backendEvents(), options.timing};
    std::string why;
    RouterBackend* backend = backends.follow(device, target, context, why);
    if (!backend) {
        out.note("router device " + std::to_string(device) + ": " + why);
        return;
    }
    out.link(device, link);
    loop.serve(5000, [backend] { return backend->settled(); });
}

void ScriptSession::settle() {
    if (!components) return;
    auto announced = [this](int device, int size) { checkSize(device, size); };
    components->takeBackendEvents(announced);
    if (!wallClock()) return;
    const int64_t now =
        clockAtStart_ + std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *wallStart_).count();
    if (now > components->now()) components->advance(now - components->now());
    components->takeBackendEvents(announced);
}

std::optional<Clock::time_point> ScriptSession::nextDue() const {
    if (!components || !wallClock()) return std::nullopt;
    std::optional<int64_t> due = components->nextDueTime();
    if (!due) return std::nullopt;
    return *wallStart_ + std::chrono::milliseconds(*due - clockAtStart_);
}

void ScriptSession::afterStatement() {
    settle();
    if (!wallClock()) return;
    Backends& backends = components->backends();
    for (int device : backends.devices()) {
        const int size = backends.find(device)->announcedSize();
        if (size >= 0) checkSize(device, size);
    }
}

void ScriptSession::checkSize(int device, int routerSize) {
    // The size the component reads; none when it reads 0 for want of a site,
    // a file or a key.
    const DatabaseSize read = readDatabaseSize(device);
    const std::optional<int> given = read.why.empty() ? std::optional<int>(read.size) : std::nullopt;
    const int size = given.value_or(0);
    auto checked = sizesChecked_.find(device);
    if (checked != sizesChecked_.end() && checked->second == std::make_pair(routerSize, size)) return;
    sizesChecked_[device] = std::make_pair(routerSize, size);
    if (size == routerSize) return;
    out.note("warning: router device " + std::to_string(device) + " has " + std::to_string(routerSize) +
             " outputs, but " + Site::deviceFileName(device) + " gives DatabaseSize_1=" + std::to_string(size) +
             (given ? "" : " (none given)") + ": the component will " +
             (size > routerSize ? "accept destinations the router does not have"
                                : "refuse destinations the router has"));
}

// One component's timers, registrations, the routes of what it registered
// (as its router last reported them) and open panels.
static HostState::Component componentState(const Emulator& emu, const Backends& backends) {
    HostState::Component state{emu.name(), {}, {}, {}, {}};
    const TimerClock& clock = emu.clock();
    for (int id : clock.runningTimers()) state.timers.push_back(HostState::Timer{id, *clock.interval(id), *clock.due(id)});
    const Registrations& registrations = emu.registrations();
    for (int device : registrations.devices()) {
        state.registrations.emplace_back(device, registrations.of(device));
        const RouterBackend* backend = backends.find(device);
        if (!backend) continue;
        // Ranges added with 'ADD' may overlap.
        std::map<int, Report> routes;
        for (const Registration& range : registrations.of(device))
            for (Report& r : backend->knownRoutes(range.first, range.last)) routes.emplace(r.index, std::move(r));
        for (auto& [index, route] : routes) state.routes.push_back(std::move(route));
    }
    for (const auto& [panelName, panel] : emu.panels()) state.panels.emplace_back(panelName, &panel);
    return state;
}

HostState ScriptSession::hostState() const {
    Backends& backends = components->backends();
    HostState state;
    state.clock = components->now();
    HostState::Component now = componentState(current(), backends);
    state.timers = std::move(now.timers);
    state.registrations = std::move(now.registrations);
    state.routes = std::move(now.routes);
    state.panels = std::move(now.panels);
    if (components->anyNamed()) {
        state.component = current().name();
        for (const Emulator* emu : components->live())
            state.components.push_back(componentState(*emu, backends));
    }
    for (int device : backends.devices()) {
        const RouterBackend& backend = *backends.find(device);
        if (backend.live())
            state.routers.push_back(RouterStatus{device, backend.link(), backend.announcedSize(), backend.describe()});
    }
    state.siteRoot = site->root();
    state.siteSystem = site->system();
    for (int device : site->deviceFiles()) {
        DatabaseSize size = readDatabaseSize(device);
        state.files.push_back(HostState::DeviceFile{size.file, size.size, size.why});
    }
    return state;
}
