#include "scenario.h"

#include <filesystem>

#include "database_size.h"
#include "interrupt.h"
#include "live_routers.h"
#include "text.h"

namespace fs = std::filesystem;

// ---- Reading statements ----

static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

static int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<ScriptError> tokenizeLine(const std::string& text, int line, Statement& out) {
    out = Statement();
    out.line = line;
    size_t i = 0;
    size_t sourceEnd = 0;
    while (true) {
        while (i < text.size() && isBlank(text[i])) ++i;
        if (i == text.size() || text[i] == '#') break;
        Token token{"", false};
        if (text[i] == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < text.size()) {
                char c = text[i++];
                if (c == '"') {
                    closed = true;
                    break;
                }
                if (c != '\\') {
                    token.text += c;
                    continue;
                }
                if (i == text.size()) break;
                char e = text[i++];
                switch (e) {
                    case '"': token.text += '"'; break;
                    case '\\': token.text += '\\'; break;
                    case 'n': token.text += '\n'; break;
                    case 't': token.text += '\t'; break;
                    case 'r': token.text += '\r'; break;
                    case 'x': {
                        int hi = i < text.size() ? hexDigit(text[i]) : -1;
                        int lo = i + 1 < text.size() ? hexDigit(text[i + 1]) : -1;
                        if (hi < 0 || lo < 0) return ScriptError{line, "expected two hex digits after \\x"};
                        token.text += static_cast<char>(hi * 16 + lo);
                        i += 2;
                        break;
                    }
                    default:
                        return ScriptError{line, std::string("unknown escape \\") + e +
                                                     " (expected \\\" \\\\ \\n \\t \\r or \\xNN)"};
                }
            }
            if (!closed) return ScriptError{line, "expected a closing \" before the end of the line"};
            if (i < text.size() && !isBlank(text[i]) && text[i] != '#')
                return ScriptError{line, "expected a blank after the closing \""};
        } else {
            size_t end = i;
            while (end < text.size() && !isBlank(text[end])) ++end;
            token.text = text.substr(i, end - i);
            if (token.text.find('"') != std::string::npos)
                return ScriptError{line, "expected a quote only at the start of a word"};
            i = end;
        }
        out.words.push_back(token);
        sourceEnd = i;
    }
    size_t begin = text.find_first_not_of(" \t\r");
    if (!out.words.empty()) out.source = text.substr(begin, sourceEnd - begin);
    return std::nullopt;
}

std::optional<RouterSpec> routerSpecOf(const Statement& s, std::string& error) {
    const std::vector<Token>& w = s.words;
    std::string query;
    for (size_t i = 4; i < w.size(); i += 2) {
        if (i + 1 == w.size()) {
            error = "expected a value after " + quoteText(w[i].text);
            return std::nullopt;
        }
        query += (query.empty() ? "?" : "&") + w[i].text + "=" + w[i + 1].text;
    }
    std::optional<RouterAddress> address = parseRouterAddress(w[3].text);
    if (!address || w[3].text.find_first_of("?/") != std::string::npos) {
        error = "expected HOST or HOST:PORT (port 1..65535), got " + quoteText(w[3].text);
        return std::nullopt;
    }
    return parseRouterSpec(w[2].text + "://" + w[3].text + query, error);
}

namespace {

// Shape checks for one statement; the first problem wins.
class Shape {
public:
    explicit Shape(const Statement& s) : w_(s.words) {}

    std::optional<std::string> problem;

    bool count(size_t min, size_t max, const char* form) {
        if (problem) return false;
        if (w_.size() < min || w_.size() > max) problem = std::string("expected \"") + form + "\"";
        return !problem;
    }
    bool number(size_t i, const char* what, long long min = -2147483648LL) {
        if (problem || i >= w_.size()) return false;
        std::optional<int32_t> n = w_[i].quoted ? std::nullopt : parseInt32(w_[i].text);
        if (!n || *n < min)
            problem = std::string("expected a number from ") + std::to_string(min) + " to 2147483647 for " + what +
                      ", got " + quoteText(w_[i].text);
        return !problem;
    }
    bool word(size_t i, const char* expected, const char* form) {
        if (problem || i >= w_.size()) return false;
        if (w_[i].quoted || w_[i].text != expected) problem = std::string("expected \"") + form + "\"";
        return !problem;
    }
    bool oneOf(size_t i, const char* a, const char* b, const char* form) {
        if (problem || i >= w_.size()) return false;
        if (w_[i].quoted || (w_[i].text != a && w_[i].text != b)) problem = std::string("expected \"") + form + "\"";
        return !problem;
    }
    // The size of a simulated router, after number(): its model holds at
    // most kMaxRouterPorts destinations.
    bool routerSize(size_t i) {
        if (problem || i >= w_.size()) return false;
        if (*parseInt32(w_[i].text) > kMaxRouterPorts)
            problem = "expected a size from 0 to " + std::to_string(kMaxRouterPorts) +
                      " for a simulated router, got " + quoteText(w_[i].text) +
                      " (\"config D size N\" writes any size to dev_D.ini)";
        return !problem;
    }
    bool bare(size_t i, const char* what) {
        return i < w_.size() && !w_[i].quoted && w_[i].text == what;
    }

private:
    const std::vector<Token>& w_;
};

}  // namespace

std::optional<std::string> checkStatement(const Statement& s) {
    if (s.words.empty()) return std::nullopt;
    const Token& verbToken = s.words[0];
    const std::string& verb = verbToken.text;
    Shape c(s);
    if (verbToken.quoted) return "expected a statement, got a quoted text";
    // Only file contents may hold a zero byte; every other text crosses to the
    // component or the host as a zero-terminated string.
    for (size_t i = 0; i < s.words.size(); ++i) {
        const bool fileContent = verb == "config" && i == 3 && c.bare(2, "text");
        if (!fileContent && s.words[i].text.find('\0') != std::string::npos)
            return "expected \\x00 only in the text of \"config D text TEXT\"";
    }
    if (verb == "module") {
        c.count(2, 2, "module PATH");
    } else if (verb == "panels") {
        c.count(2, 2, "panels FOLDER");
    } else if (verb == "site") {
        const char* form = "site temp|none|FOLDER [system NAME]";
        if (c.count(2, 4, form) && s.words.size() > 2) {
            if (s.words.size() != 4 || c.bare(1, "none")) {
                c.problem = std::string("expected \"") + form + "\"";
            } else if (c.word(2, "system", form) && s.words[3].text.empty()) {
                c.problem = "expected a system name that is not empty";
            } else if (c.bare(1, "temp") && !Site::plainFolderName(s.words[3].text)) {
                c.problem = "expected one folder name for the system of a temporary site, not " +
                            quoteText(s.words[3].text);
            }
        }
    } else if (verb == "config") {
        const char* form = "config DEVICE size N | text TEXT | none";
        if (c.count(3, 4, form) && c.number(1, "the device")) {
            if (c.bare(2, "none"))
                c.count(3, 3, form);
            else if (c.bare(2, "size"))
                c.count(4, 4, form) && c.number(3, "the size");
            else if (c.bare(2, "text"))
                c.count(4, 4, form);
            else
                c.problem = std::string("expected \"") + form + "\"";
        }
    } else if (verb == "device" && s.words.size() > 2 && findProtocol(s.words[2].text)) {
        const RouterProtocol& protocol = *findProtocol(s.words[2].text);
        const std::string form = "device DEVICE " + s.words[2].text + " HOST[:PORT]" +
                                 (protocol.options.empty() ? "" : " [NAME VALUE]...");
        std::string error;
        if (c.count(4, protocol.options.empty() ? 4 : 1000, form.c_str()) && c.number(1, "the device") &&
            !routerSpecOf(s, error))
            c.problem = error;
    } else if (verb == "device") {
        const char* form = "device DEVICE size N [nofile]";
        if (c.count(4, 5, form) && c.number(1, "the device") && c.word(2, "size", form) &&
            c.number(3, "the size", 0) && c.routerSize(3) && s.words.size() == 5)
            c.word(4, "nofile", form);
    } else if (verb == "source" || verb == "rename") {
        std::string form = verb + " DEVICE SOURCE NAME";
        if (c.count(4, 4, form.c_str()) && c.number(1, "the device") && c.number(2, "the source") &&
            s.words[3].text.size() > 255)
            c.problem = "expected a source name of at most 255 characters";
    } else if (verb == "route") {
        c.count(4, 4, "route DEVICE DESTINATION SOURCE") && c.number(1, "the device") &&
            c.number(2, "the destination") && c.number(3, "the source");
    } else if (verb == "offline" || verb == "online") {
        std::string form = verb + " DEVICE";
        c.count(2, 2, form.c_str()) && c.number(1, "the device");
    } else if (verb == "resize") {
        c.count(3, 3, "resize DEVICE SIZE") && c.number(1, "the device") && c.number(2, "the size", 0) &&
            c.routerSize(2);
    } else if (verb == "create") {
        if (c.count(1, 3, "create [PATH [nopanel]]") && s.words.size() == 3) c.word(2, "nopanel", "create [PATH [nopanel]]");
    } else if (verb == "delete" || verb == "help" || verb == "quit" || verb == "state" || verb == "reset") {
        std::string form = verb;
        c.count(1, 1, form.c_str());
    } else if (verb == "send") {
        if (!c.count(2, 2, "send TEXT | send null") && s.words.size() > 2) {
            std::string joined;
            for (size_t i = 1; i < s.words.size(); ++i) joined += (i > 1 ? " " : "") + s.words[i].text;
            *c.problem += "; a text with blanks goes in double quotes: send " + quoteText(joined);
        }
    } else if (verb == "control") {
        c.count(3, 3, "control ID COMMAND");
    } else if (verb == "report") {
        if (c.count(5, 5, "report DEVICE DESTINATION SOURCE TEXT") && c.number(1, "the device") &&
            c.number(2, "the destination") && c.number(3, "the source") && s.words[4].text.size() > 255)
            c.problem = "expected a report text of at most 255 characters";
    } else if (verb == "timer") {
        c.count(2, 2, "timer N") && c.number(1, "the timer");
    } else if (verb == "event") {
        if (c.count(3, 3, "event TYPE WORD") && c.number(1, "the type") && c.number(2, "the data word")) {
            int type = *parseInt32(s.words[1].text);
            if (type == 1 || type == 2 || type == 3)
                c.problem = "expected a type other than 1, 2 and 3 (use report, control or send)";
            else if (type == 5 && s.words[2].text != "0")
                c.problem = "expected data word 0 with type 5";
        }
    } else if (verb == "wait") {
        c.count(2, 2, "wait UNITS") && c.number(1, "the time", 0);
    } else if (verb == "show") {
        c.count(1, 2, "show [PANEL]");
    } else if (verb == "say") {
        c.count(2, 2, "say TEXT");
    } else if (verb == "expect") {
        const char* form = "expect sent|answer|text|control|timer|registered|unregistered|panel ...";
        if (!c.count(2, 1000, form)) return c.problem;
        const std::string what = s.words[1].quoted ? "" : s.words[1].text;
        const size_t n = s.words.size();
        if (n > 4 && c.bare(n - 2, "within")) {
            if (what != "text" && what != "control" && what != "registered" && what != "unregistered")
                return "expected \"within MS\" only after expect text, control, registered or unregistered";
            if (!c.number(n - 1, "the time", 0)) return c.problem;
            Statement base = s;
            base.words.resize(n - 2);
            return checkStatement(base);
        }
        if (what == "sent") {
            if (s.words.size() == 2) c.problem = "expected \"expect sent TEXT...\" or \"expect sent nothing\"";
        } else if (what == "answer") {
            c.count(3, 3, "expect answer TEXT | expect answer none");
        } else if (what == "text") {
            c.count(3, 3, "expect text TEXT");
        } else if (what == "control") {
            c.count(5, 5, "expect control NAME PARAM TEXT");
        } else if (what == "timer") {
            c.count(4, 4, "expect timer N running|stopped") && c.number(2, "the timer") &&
                c.oneOf(3, "running", "stopped", "expect timer N running|stopped");
        } else if (what == "registered" || what == "unregistered") {
            std::string f = "expect " + what + " DEVICE DESTINATION";
            c.count(4, 4, f.c_str()) && c.number(2, "the device") && c.number(3, "the destination");
        } else if (what == "panel") {
            c.count(4, 4, "expect panel NAME open|closed") &&
                c.oneOf(3, "open", "closed", "expect panel NAME open|closed");
        } else {
            c.problem = std::string("expected \"") + form + "\"";
        }
    } else {
        std::string names;
        for (const std::string& name : statementNames()) names += (names.empty() ? "" : ", ") + name;
        return "unknown statement " + quoteText(verb) + " (expected one of: " + names + ")";
    }
    return c.problem;
}

ParsedScript parseScript(const std::string& content) {
    ParsedScript script;
    int line = 0;
    size_t pos = 0;
    while (pos < content.size()) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        std::string text = content.substr(pos, end - pos);
        pos = end + 1;
        ++line;
        if (!text.empty() && text.back() == '\r') text.pop_back();
        if (text.size() > kMaxLineBytes) {
            script.errors.push_back(ScriptError{line, overlongLine()});
            continue;
        }
        Statement s;
        if (std::optional<ScriptError> e = tokenizeLine(text, line, s)) {
            script.errors.push_back(*e);
            continue;
        }
        if (s.words.empty()) continue;
        if (std::optional<std::string> problem = checkStatement(s)) {
            script.errors.push_back(ScriptError{line, *problem});
            continue;
        }
        script.statements.push_back(s);
    }
    if (script.statements.empty() && script.errors.empty()) script.errors.push_back(ScriptError{0, "no statements"});
    return script;
}

std::string overlongLine() { return "a line of more than " + std::to_string(kMaxLineBytes) + " bytes"; }

const std::vector<std::string>& statementNames() {
    static const std::vector<std::string> names = {
        "module", "panels", "site",  "config", "device", "source", "rename", "route",  "offline", "online",
        "resize", "create", "delete", "send",  "control", "report", "timer", "event", "wait",    "show",
        "say",    "expect", "state",  "reset", "help",    "quit"};
    return names;
}

static_assert(kMaxRouterPorts == 4096, "scenarioHelp() gives the simulated router's limit");

const char* scenarioHelp() {
    return "Statements (one a line; \"quoted texts\" may hold blanks and \\\" \\\\ \\n \\t \\r \\xNN):\n"
           "  module PATH                   load a component module\n"
           "  panels FOLDER                 where relative panel file paths start\n"
           "  site temp [system NAME]       fresh site the script writes (QX_SYSTEM default main)\n"
           "  site FOLDER [system NAME]     existing site, used as it stands\n"
           "  site none                     QX_ROOT and QX_SYSTEM unset\n"
           "  config D size S | text TEXT | none    write or remove dev_D.ini\n"
           "  device D size S [nofile]      router device with destinations 1..S, S <= 4096 (and its dev_D.ini)\n"
           "  device D videohub HOST[:PORT] the Videohub router there (port 9990 by default); the\n"
           "                                script then runs on the wall clock\n"
           "  source D S NAME               name source S, 1..4096 (\"rename D S NAME\" is the same)\n"
           "  route D DEST S                route source S (1..4096) to DEST\n"
           "  offline D | online D          router device stops / starts answering\n"
           "  resize D S                    new size (at most 4096) for the device and its dev_D.ini\n"
           "  create [PATH [nopanel]]       create the component with PATH (nopanel: a missing panel file is tolerated)\n"
           "  delete                        delete the component\n"
           "  send TEXT | send null         text event (type 3)\n"
           "  control ID COMMAND            control event (type 2)\n"
           "  report D DEST S TEXT          router report (type 1) as given\n"
           "  timer N                       timer event (type 4)\n"
           "  event T WORD                  any other event type with a data word\n"
           "  wait UNITS                    advance the clock (1 unit = 1 ms); with a live router,\n"
           "                                serve it and the timers that long\n"
           "  show [PANEL]                  draw the panel\n"
           "  say TEXT                      a caption\n"
           "  expect sent TEXT... | nothing       commands since the last check\n"
           "  expect answer TEXT | none           answer to the last send\n"
           "  expect text TEXT                    LevelMimic's text\n"
           "  expect control NAME PARAM TEXT      a control parameter on panel 1\n"
           "  expect timer N running|stopped\n"
           "  expect registered|unregistered D DEST\n"
           "  expect panel NAME open|closed\n"
           "  state                         clock, timers, registrations, routes, panels, site files\n"
           "  reset                         fresh emulator, site and clock (the module stays)\n"
           "  expect text|control|registered|unregistered ... within MS   wait up to MS for it\n"
           "  help | quit\n";
}

// ---- Modules ----

Module* ModuleCache::get(const std::string& path, std::string& error) {
    auto it = modules_.find(path);
    if (it != modules_.end()) return it->second.get();
    std::unique_ptr<Module> module = loadModule(path, error);
    if (!module) return nullptr;
    Module* raw = module.get();
    modules_[path] = std::move(module);
    return raw;
}

// ---- Running ----

ScenarioRunner::ScenarioRunner(Transcript& transcript, ModuleCache& modules, RunOptions options)
    : out_(transcript), modules_(modules), options_(std::move(options)) {}

static std::string folderOf(const std::string& path) {
    std::string parent = fs::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

std::string ScenarioRunner::resolve(const std::string& path) const {
    if (fs::path(path).is_absolute() || (!path.empty() && (path[0] == '/' || path[0] == '\\'))) return path;
    return (fs::path(folder_) / path).string();
}

void ScenarioRunner::begin(const std::string& name, const std::string& folder) {
    name_ = name;
    folder_ = folder;
    failures_ = 0;
    errors_ = 0;
    earlierViolations_ = 0;
    earlierPanelErrors_ = 0;
    answered_ = false;
    lastAnswer_.reset();
    freshEmulator();
    out_.file(name);
}

void ScenarioRunner::connectRouter(int device, const RouterSpec& spec) {
    if (!wallClock()) {
        wallStart_ = std::chrono::steady_clock::now();
        clockAtStart_ = emulator_->clock().now();
        emulator_->setRealTime(true);
    }
    Backends& backends = emulator_->backends();
    if (const RouterBackend* old = backends.find(device))
        if (old->live())
            out_.note("router device " + std::to_string(device) + " follows " + formatRouterSpec(spec) +
                      " now, no longer " + old->address());
    BackendContext context{loop_.io(), emulator_->backendEvents(), options_.timing};
    std::string why;
    RouterBackend* backend = backends.follow(device, spec, context, why);
    if (!backend) {
        out_.note("router device " + std::to_string(device) + ": " + why);
        return;
    }
    loop_.serve(5000, [backend] { return backend->settled(); });
}

void ScenarioRunner::settle() {
    if (!emulator_) return;
    emulator_->takeBackendEvents([this](int device, int size) { checkSize(device, size); });
    if (!wallClock()) return;
    const auto elapsed = std::chrono::steady_clock::now() - *wallStart_;
    const int64_t now = clockAtStart_ + std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
    if (now > emulator_->clock().now()) emulator_->advance(now - emulator_->clock().now());
    emulator_->takeBackendEvents([this](int device, int size) { checkSize(device, size); });
}

std::optional<std::chrono::steady_clock::time_point> ScenarioRunner::nextDue() const {
    if (!emulator_ || !wallClock()) return std::nullopt;
    std::optional<int64_t> due = emulator_->clock().nextDueTime();
    if (!due) return std::nullopt;
    return *wallStart_ + std::chrono::milliseconds(*due - clockAtStart_);
}

void ScenarioRunner::checkSize(int device, int routerSize) {
    // The size the component reads; none when it reads 0 for want of a site,
    // a file or a key.
    const DatabaseSize read = readDatabaseSize(device);
    const std::optional<int> site = read.why.empty() ? std::optional<int>(read.size) : std::nullopt;
    const int size = site.value_or(0);
    auto checked = sizesChecked_.find(device);
    if (checked != sizesChecked_.end() && checked->second == std::make_pair(routerSize, size)) return;
    sizesChecked_[device] = std::make_pair(routerSize, size);
    if (size == routerSize) return;
    out_.note("warning: router device " + std::to_string(device) + " has " + std::to_string(routerSize) +
              " outputs, but " + Site::deviceFileName(device) + " gives DatabaseSize_1=" + std::to_string(size) +
              (site ? "" : " (none given)") + ": the component will " +
              (size > routerSize ? "accept destinations the router does not have"
                                 : "refuse destinations the router has"));
}

void ScenarioRunner::checkSizes() {
    Backends& backends = emulator_->backends();
    for (int device : backends.devices()) {
        const int size = backends.find(device)->announcedSize();
        if (size >= 0) checkSize(device, size);
    }
}

void ScenarioRunner::freshEmulator() {
    emulator_.reset();
    wallStart_.reset();
    sizesChecked_.clear();
    routersConnected_ = false;
    site_.reset(new Site());
    emulator_.reset(new Emulator(out_));
    loop_.setOwner(this);
}

void ScenarioRunner::reset() {
    if (emulator_->live()) {
        out_.note("reset: the host deletes the component");
        emulator_->destroy();
    }
    Module* module = emulator_->module();
    const std::string panels = emulator_->panelFolder();
    earlierViolations_ += emulator_->violations();
    earlierPanelErrors_ += emulator_->panelErrors();
    answered_ = false;
    lastAnswer_.reset();
    // Live routers go with the emulator they feed; those of the command line
    // connect again before the next statement that needs them.
    freshEmulator();
    emulator_->setModule(module);
    emulator_->setPanelFolder(panels);
    out_.note("reset: a fresh emulator, site and clock");
}

HostState ScenarioRunner::hostState() const {
    const Emulator& emu = *emulator_;
    HostState state;
    state.clock = emu.clock().now();
    for (int id : emu.clock().runningTimers())
        state.timers.push_back(HostState::Timer{id, *emu.clock().interval(id), *emu.clock().due(id)});
    const Registrations& registrations = emu.registrations();
    for (int device : registrations.devices()) {
        state.registrations.emplace_back(device, registrations.of(device));
        const RouterBackend* backend = emulator_->backends().find(device);
        if (!backend) continue;
        // Ranges added with 'ADD' may overlap.
        std::map<int, Report> routes;
        for (const Registration& range : registrations.of(device))
            for (Report& r : backend->knownRoutes(range.first, range.last)) routes.emplace(r.index, std::move(r));
        for (auto& [index, route] : routes) state.routes.push_back(std::move(route));
    }
    for (const auto& [name, panel] : emu.panels()) state.panels.emplace_back(name, &panel);
    state.siteRoot = site_->root();
    state.siteSystem = site_->system();
    for (int device : site_->deviceFiles()) {
        DatabaseSize size = readDatabaseSize(device);
        state.files.push_back(HostState::DeviceFile{size.file, size.size, size.why});
    }
    return state;
}

bool ScenarioRunner::end() {
    if (emulator_ && emulator_->live()) {
        out_.note("end of script: the host deletes the component");
        emulator_->destroy();
    }
    int violations = earlierViolations_ + (emulator_ ? emulator_->violations() : 0);
    int errors = errors_ + earlierPanelErrors_ + (emulator_ ? emulator_->panelErrors() : 0);
    loop_.setOwner(nullptr);
    emulator_.reset();
    wallStart_.reset();
    site_.reset();
    out_.result(name_, failures_, violations, errors);
    return failures_ == 0 && violations == 0 && errors == 0;
}

bool ScenarioRunner::runScript(const std::string& name, const std::string& folder, const std::string& content) {
    begin(name, folder);
    ParsedScript script = parseScript(content);
    if (!script.errors.empty()) {
        for (const ScriptError& e : script.errors) error(e.line, e.message);
        return end();
    }
    for (const Statement& s : script.statements) {
        if (int signal = interruption()) {
            out_.note("interrupted by signal " + std::to_string(signal));
            break;
        }
        // A caption speaks for itself.
        if (s.words[0].text != "say") out_.statement(s.line, s.source);
        out_.at(name_, s.line);
        if (s.words[0].text == "quit" || !execute(s)) break;
    }
    return end();
}

void ScenarioRunner::unreadable(const std::string& name, int line, const std::string& why) {
    begin(name, ".");
    error(line, why);
    end();
}

bool ScenarioRunner::runLine(const std::string& text, int line) {
    if (text.size() > kMaxLineBytes) {
        error(line, overlongLine());
        return true;
    }
    Statement s;
    if (std::optional<ScriptError> e = tokenizeLine(text, line, s)) {
        error(line, e->message);
        return true;
    }
    if (s.words.empty()) return true;
    if (std::optional<std::string> problem = checkStatement(s)) {
        error(line, *problem);
        return true;
    }
    if (s.words[0].text == "quit") return false;
    out_.at(name_, line);
    const int failures = failures_;
    const int errors = errors_;
    if (execute(s) && s.words[0].text == "expect" && failures_ == failures && errors_ == errors) out_.ok(line);
    return true;
}

void ScenarioRunner::idle(int ms) {
    out_.at(name_, 0);
    loop_.serve(ms);
    missingPanels(0);
}

bool ScenarioRunner::error(int line, const std::string& message) {
    ++errors_;
    out_.error(name_, line, message);
    return false;
}

void ScenarioRunner::fail(int line, const std::string& message) {
    ++failures_;
    out_.failure(name_, line, message);
}

bool ScenarioRunner::needComponent(int line) {
    if (emulator_->live()) return true;
    return error(line, "no component: \"create\" one first");
}

static int num(const Token& t) { return *parseInt32(t.text); }


static std::string quotedList(const std::vector<std::string>& texts) {
    if (texts.empty()) return "nothing";
    std::string out;
    for (const std::string& t : texts) out += (out.empty() ? "" : " ") + quoteText(t);
    return out;
}

// Statements that only prepare the site or the module: routers given on the
// command line are connected before the first statement of another kind, so
// their size is checked against the site the script sets up.
static bool preparation(const std::string& verb) {
    return verb == "module" || verb == "panels" || verb == "site" || verb == "config" || verb == "say" ||
           verb == "help";
}

bool ScenarioRunner::execute(const Statement& s) {
    if (!routersConnected_ && !preparation(s.words[0].text)) {
        routersConnected_ = true;
        for (const auto& [device, address] : options_.routers) connectRouter(device, address);
    }
    loop_.pump();
    bool ok = perform(s);
    settle();
    if (wallClock()) checkSizes();
    return missingPanels(s.line) && ok;
}

bool ScenarioRunner::missingPanels(int line) {
    bool none = true;
    if (emulator_)
        for (const std::string& file : emulator_->takeMissingPanels())
            none = error(line, "no panel file " + quoteText(file) + " in the panel folder (write \"create PATH nopanel\" "
                               "when it is meant to be missing)");
    return none;
}

// route, source and rename: a simulated router changes at once, a live one
// is asked.
bool ScenarioRunner::changeRoute(const Statement& s) {
    const std::vector<Token>& w = s.words;
    const bool route = w[0].text == "route";
    RouterBackend* backend = emulator_->backends().find(num(w[1]));
    if (!backend) return error(s.line, "the router has no device " + w[1].text);
    std::string why;
    if (backend->live()) {
        bool sent = route ? backend->route(num(w[2]), num(w[3]), why) : backend->rename(num(w[2]), w[3].text, why);
        if (!sent) out_.note("router device " + w[1].text + " " + why);
        return true;
    }
    SimulatedRouter& router = *emulator_->backends().simulated(num(w[1]));
    bool changed = route ? router.route(num(w[2]), num(w[3]), why) : router.rename(num(w[2]), w[3].text, why);
    if (!changed) return error(s.line, "device " + w[1].text + " " + why);
    if (route && !router.online()) out_.note("router device " + w[1].text + " is offline: no report");
    return true;
}

bool ScenarioRunner::perform(const Statement& s) {
    const std::vector<Token>& w = s.words;
    const std::string& verb = w[0].text;
    const int line = s.line;
    Emulator& emu = *emulator_;
    std::string why;

    if (verb == "help") {
        out_.message(scenarioHelp());
        return true;
    }
    if (verb == "quit") return true;
    if (verb == "reset") {
        reset();
        return true;
    }
    if (verb == "state") {
        out_.state(hostState());
        return true;
    }
    if (verb == "module") {
        Module* module = modules_.get(resolve(w[1].text), why);
        if (!module) return error(line, why);
        if (emu.live()) return error(line, "a component is live; delete it before changing the module");
        emu.setModule(module);
        emu.setPanelFolder(folderOf(resolve(w[1].text)));
        return true;
    }
    if (verb == "panels") {
        std::error_code ec;
        if (!fs::is_directory(fs::path(resolve(w[1].text)), ec))
            return error(line, "panel folder " + quoteText(w[1].text) + " not found");
        emu.setPanelFolder(resolve(w[1].text));
        return true;
    }
    if (verb == "site") {
        std::string system = w.size() == 4 ? w[3].text : "main";
        if (w.size() == 2 && !w[1].quoted && w[1].text == "none") {
            site_->none();
            return true;
        }
        if (!w[1].quoted && w[1].text == "temp") {
            if (!site_->makeTemporary(system, why)) return error(line, why);
            return true;
        }
        if (!site_->use(resolve(w[1].text), system, why)) return error(line, why + ": " + quoteText(w[1].text));
        return true;
    }
    if (verb == "config") {
        int device = num(w[1]);
        bool ok = true;
        if (w[2].text == "none")
            ok = site_->removeDevice(device, why);
        else if (w[2].text == "size")
            ok = site_->writeDevice(device, "[Database]\nDatabaseSize_1=" + w[3].text + "\n", why);
        else
            ok = site_->writeDevice(device, w[3].text, why);
        return ok || error(line, why);
    }
    if (verb == "device" && findProtocol(w[2].text)) {
        std::string why;
        connectRouter(num(w[1]), *routerSpecOf(s, why));
        return true;
    }
    if (verb == "device") {
        int device = num(w[1]);
        int size = num(w[3]);
        emu.backends().simulate(device, size);
        if (w.size() == 4 && site_->writable() &&
            !site_->writeDevice(device, "[Database]\nDatabaseSize_1=" + std::to_string(size) + "\n", why))
            return error(line, why);
        return true;
    }
    if ((verb == "resize" || verb == "offline" || verb == "online") && isLive(num(w[1])))
        return error(line, "device " + w[1].text + " is a live router: \"" + verb + "\" is only for a simulated one");
    if (verb == "resize") {
        int device = num(w[1]);
        if (!emu.backends().has(device)) return error(line, "the router has no device " + w[1].text);
        emu.backends().simulate(device, num(w[2]));
        if (!site_->writeDevice(device, "[Database]\nDatabaseSize_1=" + w[2].text + "\n", why))
            return error(line, why);
        return true;
    }
    if (verb == "source" || verb == "rename" || verb == "route") return changeRoute(s);
    if (verb == "offline" || verb == "online") {
        SimulatedRouter* router = emu.backends().simulated(num(w[1]));
        if (!router) return error(line, "the router has no device " + w[1].text);
        router->setOnline(verb == "online");
        return true;
    }
    if (verb == "create") {
        if (emu.live()) return error(line, "a component is live already; \"delete\" it first");
        if (!emu.hasModule()) {
            if (options_.modulePath.empty()) return error(line, "no module: give --module or a \"module\" statement");
            Module* module = modules_.get(options_.modulePath, why);
            if (!module) return error(line, why);
            emu.setModule(module);
            emu.setPanelFolder(folderOf(options_.modulePath));
        }
        emu.allowMissingPanels(w.size() == 3);
        bool created = emu.create(w.size() > 1 ? w[1].text : "");
        emu.allowMissingPanels(false);
        if (!created) fail(line, "the export returned no component");
        return true;
    }
    if (verb == "delete") {
        if (!needComponent(line)) return false;
        emu.destroy();
        return true;
    }
    if (verb == "send") {
        if (!needComponent(line)) return false;
        bool null = !w[1].quoted && w[1].text == "null";
        lastAnswer_ = emu.sendText(null ? std::nullopt : std::optional<std::string>(w[1].text));
        answered_ = true;
        return true;
    }
    if (verb == "control") {
        if (!needComponent(line)) return false;
        emu.sendControl(w[1].text, w[2].text);
        return true;
    }
    if (verb == "report") {
        if (!needComponent(line)) return false;
        emu.sendReport(Report{num(w[1]), num(w[2]), num(w[3]), w[4].text});
        return true;
    }
    if (verb == "timer") {
        if (!needComponent(line)) return false;
        emu.sendTimer(num(w[1]));
        return true;
    }
    if (verb == "event") {
        if (!needComponent(line)) return false;
        emu.sendWord(num(w[1]), num(w[2]));
        return true;
    }
    if (verb == "wait") {
        if (wallClock())
            loop_.serve(num(w[1]));
        else
            emu.advance(num(w[1]));
        return true;
    }
    if (verb == "show") {
        std::string name = w.size() > 1 ? w[1].text : "1";
        out_.panel(name, emu.panel(name));
        return true;
    }
    if (verb == "say") {
        out_.caption(w[1].text);
        return true;
    }

    // expect ...
    const std::string& what = w[1].text;
    if (what == "sent") {
        std::vector<std::string> expected;
        if (!(w.size() == 3 && !w[2].quoted && w[2].text == "nothing"))
            for (size_t i = 2; i < w.size(); ++i) expected.push_back(w[i].text);
        const uint64_t dropped = emu.droppedCommands();
        std::vector<std::string> got = emu.takeCommands();
        if (got != expected || dropped)
            fail(line, "expected sent " + quotedList(expected) + ", got " +
                           (dropped ? std::to_string(dropped) + " older command(s) no longer kept, then " : "") +
                           quotedList(got));
        return true;
    }
    if (what == "answer") {
        if (!answered_) return error(line, "no answer yet: \"send\" something first");
        bool none = !w[2].quoted && w[2].text == "none";
        std::optional<std::string> expected = none ? std::nullopt : std::optional<std::string>(w[2].text);
        if (expected != lastAnswer_)
            fail(line, "expected answer " + (expected ? quoteText(*expected) : "none") + ", got " +
                           (lastAnswer_ ? quoteText(*lastAnswer_) : "none"));
        return true;
    }
    if (what == "text" || what == "control" || what == "registered" || what == "unregistered") {
        const size_t n = w.size();
        if (n > 4 && !w[n - 2].quoted && w[n - 2].text == "within") awaitExpectation(s, num(w[n - 1]));
        if (std::optional<std::string> why = unmet(s)) fail(line, *why);
        return true;
    }
    if (what == "timer") {
        bool running = emu.clock().running(num(w[2]));
        bool want = w[3].text == "running";
        if (running != want)
            fail(line, "expected timer " + w[2].text + " " + w[3].text + ", it is " + (running ? "running" : "stopped"));
        return true;
    }
    if (what == "panel") {
        bool open = emu.panel(w[2].text) != nullptr;
        bool want = w[3].text == "open";
        if (open != want)
            fail(line, "expected panel " + quoteText(w[2].text) + " " + w[3].text + ", it is " + (open ? "open" : "closed"));
        return true;
    }
    return error(line, "unknown expectation");
}

std::optional<std::string> ScenarioRunner::unmet(const Statement& s) {
    const std::vector<Token>& w = s.words;
    const std::string& what = w[1].text;
    Emulator& emu = *emulator_;
    if (what == "registered" || what == "unregistered") {
        bool registered = emu.registrations().covers(num(w[2]), num(w[3]));
        if (registered == (what == "registered")) return std::nullopt;
        return "expected device " + w[2].text + " destination " + w[3].text + " " + what + ", it is " +
               (registered ? "registered" : "unregistered");
    }
    std::string control = what == "text" ? "LevelMimic" : w[2].text;
    std::string param = what == "text" ? "text" : w[3].text;
    const std::string& expected = what == "text" ? w[2].text : w[4].text;
    const Panel* p = emu.panel("1");
    const Control* c = p ? p->control(control) : nullptr;
    const std::string* value = c ? c->param(param) : nullptr;
    std::string subject = quoteText(control) + " " + param;
    if (!p) return "expected " + subject + " " + quoteText(expected) + ", but panel \"1\" is not open";
    if (!c) return "expected " + subject + " " + quoteText(expected) + ", but panel \"1\" has no such control";
    if (!value || *value != expected)
        return "expected " + subject + " " + quoteText(expected) + ", got " + (value ? quoteText(*value) : "unset");
    return std::nullopt;
}

void ScenarioRunner::awaitExpectation(const Statement& s, int ms) {
    if (wallClock()) {
        loop_.serve(ms, [&] { return !unmet(s); });
        return;
    }
    Emulator& emu = *emulator_;
    const int64_t end = emu.clock().now() + ms;
    std::optional<int64_t> due;
    while (unmet(s) && (due = emu.clock().nextDueTime()) && *due <= end && emu.live())
        emu.advance(*due - emu.clock().now());
    if (unmet(s)) emu.advance(end - emu.clock().now());
}
