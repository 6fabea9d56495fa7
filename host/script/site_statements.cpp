// module, panels, site, config: the statements that prepare the module and
// the site before anything runs. "module" and "panels" choose what later
// "create"s use ("panels" also moves the live components' panel folder).
#include <filesystem>

#include "script/session.h"
#include "script/shape.h"
#include "script/statements.h"

namespace fs = std::filesystem;

static int num(const Token& t) { return *parseInt32(t.text); }

static std::optional<std::string> checkModule(const Statement& s) {
    Shape c(s);
    c.count(2, 2, "module PATH");
    return c.problem;
}

static bool runModule(ScriptSession& session, const Statement& s) {
    std::string why;
    const std::string path = session.resolve(s.words[1].text);
    Module* module = session.modules.get(path, why);
    if (!module) return session.error(s.line, why);
    // Named components keep the module they were created with.
    if (session.components->find("")->live())
        return session.error(s.line, "a component is live; delete it before changing the module");
    session.defaults = ModuleChoice{module, path, folderOf(path), false};
    return true;
}

static std::optional<std::string> checkPanels(const Statement& s) {
    Shape c(s);
    c.count(2, 2, "panels FOLDER");
    return c.problem;
}

static bool runPanels(ScriptSession& session, const Statement& s) {
    std::error_code ec;
    const std::string path = session.resolve(s.words[1].text);
    if (!fs::is_directory(fs::path(path), ec))
        return session.error(s.line, "panel folder " + quoteText(s.words[1].text) + " not found");
    session.defaults.panelFolder = path;
    session.defaults.panelsChosen = true;
    for (Emulator* emu : session.components->live()) emu->setPanelFolder(path);
    return true;
}

static std::optional<std::string> checkSite(const Statement& s) {
    Shape c(s);
    const char* form = "site temp|none|FOLDER [system NAME]";
    if (c.count(2, 4, form) && s.words.size() > 2) {
        if (s.words.size() != 4 || c.bare(1, "none")) {
            c.problem = std::string("expected \"") + form + "\"";
        } else if (c.word(2, "system", form) && s.words[3].text.empty()) {
            c.problem = "expected a system name that is not empty";
        } else if (c.bare(1, "temp") && !Site::plainFolderName(s.words[3].text)) {
            c.problem = "expected one folder name for the system of a temporary site, not " + quoteText(s.words[3].text);
        }
    }
    return c.problem;
}

static bool runSite(ScriptSession& session, const Statement& s) {
    const std::vector<Token>& w = s.words;
    const std::string system = w.size() == 4 ? w[3].text : "main";
    std::string why;
    if (w.size() == 2 && !w[1].quoted && w[1].text == "none") {
        session.site->none();
        return true;
    }
    if (!w[1].quoted && w[1].text == "temp")
        return session.site->makeTemporary(system, why) || session.error(s.line, why);
    if (!session.site->use(session.resolve(w[1].text), system, why))
        return session.error(s.line, why + ": " + quoteText(w[1].text));
    return true;
}

static std::optional<std::string> checkConfig(const Statement& s) {
    Shape c(s);
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
    return c.problem;
}

static bool runConfig(ScriptSession& session, const Statement& s) {
    const std::vector<Token>& w = s.words;
    const int device = num(w[1]);
    std::string why;
    bool ok = true;
    if (w[2].text == "none")
        ok = session.site->removeDevice(device, why);
    else if (w[2].text == "size")
        ok = session.site->writeDevice(device, "[Database]\nDatabaseSize_1=" + w[3].text + "\n", why);
    else
        ok = session.site->writeDevice(device, w[3].text, why);
    return ok || session.error(s.line, why);
}

// "config D text TEXT": TEXT is the file's content, zero bytes included.
static bool fileContent(const Statement& s, size_t word) {
    return word == 3 && s.words.size() > 2 && !s.words[2].quoted && s.words[2].text == "text";
}

std::vector<StatementKind> siteStatements() {
    return {
        {"module", "  module PATH                   load a component module\n", checkModule, runModule, true},
        {"panels", "  panels FOLDER                 where relative panel file paths start\n", checkPanels, runPanels,
         true},
        {"site",
         "  site temp [system NAME]       fresh site the script writes (QX_SYSTEM default main)\n"
         "  site FOLDER [system NAME]     existing site, used as it stands\n"
         "  site none                     QX_ROOT and QX_SYSTEM unset\n",
         checkSite, runSite, true},
        {"config", "  config D size S | text TEXT | none    write or remove dev_D.ini\n", checkConfig, runConfig,
         true, false, false, false, fileContent},
    };
}
