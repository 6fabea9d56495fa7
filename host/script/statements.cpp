#include "script/statements.h"

#include "base/text.h"

const std::vector<StatementKind>& statementTable() {
    static const std::vector<StatementKind> table = [] {
        std::vector<StatementKind> all;
        for (auto part : {siteStatements, routerStatements, componentStatements, expectStatements, sessionStatements})
            for (const StatementKind& kind : part()) all.push_back(kind);
        return all;
    }();
    return table;
}

const StatementKind* findStatement(const std::string& name) {
    for (const StatementKind& kind : statementTable())
        if (name == kind.name) return &kind;
    return nullptr;
}

const std::vector<std::string>& statementNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const StatementKind& kind : statementTable()) all.push_back(kind.name);
        return all;
    }();
    return names;
}

const std::string& scenarioHelp() {
    static const std::string text = [] {
        std::string all = "Statements (one a line; \"quoted texts\" may hold blanks and \\\" \\\\ \\n \\t \\r \\xNN):\n";
        for (const StatementKind& kind : statementTable()) all += kind.help;
        return all;
    }();
    return text;
}

std::optional<std::string> checkStatement(const Statement& s) {
    if (s.words.empty()) return std::nullopt;
    const Token& verb = s.words[0];
    if (verb.quoted) return "expected a statement, got a quoted text";
    const StatementKind* kind = findStatement(verb.text);
    for (size_t i = 0; i < s.words.size(); ++i) {
        const bool allowed = kind && kind->zeroAllowed && kind->zeroAllowed(s, i);
        if (!allowed && s.words[i].text.find('\0') != std::string::npos)
            return "expected \\x00 only in the text of \"config D text TEXT\"";
    }
    if (!kind) {
        std::string names;
        for (const std::string& name : statementNames()) names += (names.empty() ? "" : ", ") + name;
        return "unknown statement " + quoteText(verb.text) + " (expected one of: " + names + ")";
    }
    return kind->check(s);
}
