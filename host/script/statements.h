// The scenario language's statements: ONE table, from which checking,
// running, "help" and Tab completion all come. Adding a statement is one row
// (in the file of its kind) and its check and run functions.
//
// A row's `check` looks at the words alone (count, numbers, keywords) before
// anything runs; `run` does the statement on a session and returns false when
// it failed as a script error (the script stops). `help` is the row's lines
// of the reference "help" prints, each ending in '\n'.
#ifndef VESK_HOST_SCRIPT_STATEMENTS_H
#define VESK_HOST_SCRIPT_STATEMENTS_H

#include <optional>
#include <string>
#include <vector>

#include "script/tokens.h"

class ScriptSession;

struct StatementKind {
    const char* name;
    std::string help;
    std::optional<std::string> (*check)(const Statement& statement);
    bool (*run)(ScriptSession& session, const Statement& statement);
    // Only prepares the site or the module: the routers of the command line
    // are connected before the first statement that is not one of these, so
    // their sizes are checked against the site the script set up.
    bool prepares = false;
    // Ends the script or the session (quit); it runs nothing.
    bool ends = false;
    // Not echoed as a statement line: it shows itself (say's caption).
    bool unechoed = false;
    // At the prompt, "ok" follows it when it held (expect).
    bool confirms = false;
    // Whether word `word` may hold a zero byte (a file's content); null: no
    // word may, since every other text crosses to the component or the host
    // as a zero-terminated string.
    bool (*zeroAllowed)(const Statement& statement, size_t word) = nullptr;
};

// Every statement, in the order "help" lists them.
const std::vector<StatementKind>& statementTable();
// The row named `name`; null for none.
const StatementKind* findStatement(const std::string& name);

// Checks a statement's shape (verb, argument count, numbers). Null when good.
std::optional<std::string> checkStatement(const Statement& statement);

// Every statement's first word, in the order "help" lists them.
const std::vector<std::string>& statementNames();
// The statement reference shown by "help".
const std::string& scenarioHelp();

// The rows of each kind of statement (in the files that run them).
std::vector<StatementKind> siteStatements();       // module panels site config
std::vector<StatementKind> routerStatements();     // device source rename route offline online resize
std::vector<StatementKind> componentStatements();  // create delete send control report timer event wait
std::vector<StatementKind> expectStatements();     // expect
std::vector<StatementKind> sessionStatements();    // show say state reset help quit

#endif  // VESK_HOST_SCRIPT_STATEMENTS_H
