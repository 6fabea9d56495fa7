// device, source, rename, route, offline, online, resize: the router
// devices of a script. A simulated device changes at once; a live router is
// asked, and only what it then reports changes anything.
#include "host_port.h"
#include "script/session.h"
#include "script/shape.h"
#include "script/statements.h"

static int num(const Token& t) { return *parseInt32(t.text); }

// The live router of "device D PROTOCOL HOST[:PORT] [NAME VALUE]..."; null
// with `error` set when the words name none.
static std::optional<RouterTarget> routerTargetOf(const Statement& s, std::string& error) {
    const std::vector<Token>& w = s.words;
    std::string query;
    for (size_t i = 4; i < w.size(); i += 2) {
        if (i + 1 == w.size()) {
            error = "expected a value after " + quoteText(w[i].text);
            return std::nullopt;
        }
        query += (query.empty() ? "?" : "&") + w[i].text + "=" + w[i + 1].text;
    }
    std::optional<HostPort> address = parseHostPort(w[3].text, 1);
    if (!address || w[3].text.find_first_of("?/") != std::string::npos) {
        error = "expected HOST or HOST:PORT (port 1..65535), got " + quoteText(w[3].text);
        return std::nullopt;
    }
    return parseRouterTarget(w[2].text + "://" + w[3].text + query, error);
}

static bool namesProtocol(const Statement& s) { return s.words.size() > 2 && findProtocol(s.words[2].text); }

static std::optional<std::string> checkDevice(const Statement& s) {
    Shape c(s);
    if (namesProtocol(s)) {
        const RouterProtocol& protocol = *findProtocol(s.words[2].text);
        const std::string form = deviceUsage(protocol, "DEVICE");
        std::string error;
        if (c.count(4, protocol.options.empty() ? 4 : 1000, form.c_str()) && c.number(1, "the device") &&
            !routerTargetOf(s, error))
            c.problem = error;
        return c.problem;
    }
    const char* form = "device DEVICE size N [nofile]";
    if (c.count(4, 5, form) && c.number(1, "the device") && c.word(2, "size", form) && c.number(3, "the size", 0) &&
        c.routerSize(3) && s.words.size() == 5)
        c.word(4, "nofile", form);
    return c.problem;
}

static bool writeSize(ScriptSession& session, int line, int device, const std::string& size) {
    std::string why;
    return session.site->writeDevice(device, "[Database]\nDatabaseSize_1=" + size + "\n", why) ||
           session.error(line, why);
}

static bool runDevice(ScriptSession& session, const Statement& s) {
    const std::vector<Token>& w = s.words;
    if (namesProtocol(s)) {
        std::string why;
        session.connectRouter(num(w[1]), *routerTargetOf(s, why));
        return true;
    }
    session.components->backends().simulate(num(w[1]), num(w[3]));
    if (w.size() == 4 && session.site->writable()) return writeSize(session, s.line, num(w[1]), std::to_string(num(w[3])));
    return true;
}

static std::optional<std::string> checkSource(const Statement& s) {
    Shape c(s);
    const std::string form = s.words[0].text + " DEVICE SOURCE NAME";
    if (c.count(4, 4, form.c_str()) && c.number(1, "the device") && c.number(2, "the source") &&
        s.words[3].text.size() > 255)
        c.problem = "expected a source name of at most 255 characters";
    return c.problem;
}

static std::optional<std::string> checkRoute(const Statement& s) {
    Shape c(s);
    c.count(4, 4, "route DEVICE DESTINATION SOURCE") && c.number(1, "the device") && c.number(2, "the destination") &&
        c.number(3, "the source");
    return c.problem;
}

// route, source and rename alike.
static bool runChange(ScriptSession& session, const Statement& s) {
    const std::vector<Token>& w = s.words;
    const bool route = w[0].text == "route";
    RouterBackend* backend = session.components->backends().find(num(w[1]));
    if (!backend) return session.error(s.line, "the router has no device " + w[1].text);
    std::string why;
    if (backend->live()) {
        bool sent = route ? backend->route(num(w[2]), num(w[3]), why) : backend->rename(num(w[2]), w[3].text, why);
        if (!sent) session.out.note("router device " + w[1].text + " " + why);
        return true;
    }
    SimulatedRouter& router = *session.components->backends().simulated(num(w[1]));
    bool changed = route ? router.route(num(w[2]), num(w[3]), why) : router.rename(num(w[2]), w[3].text, why);
    if (!changed) return session.error(s.line, "device " + w[1].text + " " + why);
    if (route && !router.online()) session.out.note("router device " + w[1].text + " is offline: no report");
    return true;
}

static std::optional<std::string> checkOnline(const Statement& s) {
    Shape c(s);
    const std::string form = s.words[0].text + " DEVICE";
    c.count(2, 2, form.c_str()) && c.number(1, "the device");
    return c.problem;
}

// The simulated router of the statement's device, or null after an error.
static SimulatedRouter* simulatedOf(ScriptSession& session, const Statement& s) {
    const Token& device = s.words[1];
    if (session.components->backends().isLive(num(device))) {
        session.error(s.line, "device " + device.text + " is a live router: \"" + s.words[0].text +
                                  "\" is only for a simulated one");
        return nullptr;
    }
    SimulatedRouter* router = session.components->backends().simulated(num(device));
    if (!router) session.error(s.line, "the router has no device " + device.text);
    return router;
}

static bool runOnline(ScriptSession& session, const Statement& s) {
    SimulatedRouter* router = simulatedOf(session, s);
    if (router) router->setOnline(s.words[0].text == "online");
    return router != nullptr;
}

static std::optional<std::string> checkResize(const Statement& s) {
    Shape c(s);
    c.count(3, 3, "resize DEVICE SIZE") && c.number(1, "the device") && c.number(2, "the size", 0) && c.routerSize(2);
    return c.problem;
}

static bool runResize(ScriptSession& session, const Statement& s) {
    SimulatedRouter* router = simulatedOf(session, s);
    if (!router) return false;
    router->resize(num(s.words[2]));
    return writeSize(session, s.line, num(s.words[1]), s.words[2].text);
}

static_assert(kMaxRouterPorts == 4096, "the help gives the simulated router's limit");

std::vector<StatementKind> routerStatements() {
    return {
        {"device",
         "  device D size S [nofile]      router device with destinations 1..S, S <= 4096 (and its dev_D.ini)\n" +
             deviceHelp(),
         checkDevice, runDevice},
        {"source", "  source D S NAME               name source S, 1..4096 (\"rename D S NAME\" is the same)\n",
         checkSource, runChange},
        {"rename", "", checkSource, runChange},
        {"route", "  route D DEST S                route source S (1..4096) to DEST\n", checkRoute, runChange},
        {"offline", "  offline D | online D          router device stops / starts answering\n", checkOnline,
         runOnline},
        {"online", "", checkOnline, runOnline},
        {"resize", "  resize D S                    new size (at most 4096) for the device and its dev_D.ini\n",
         checkResize, runResize},
    };
}
