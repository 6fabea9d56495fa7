// Reading a script's text, refusing what would never end or is no script:
// only a regular file by path, or standard input when it is a terminal, a
// pipe or a regular file; no line longer than kMaxLineBytes (read stops
// there).
#ifndef VESK_HOST_SCRIPT_SCRIPT_FILE_H
#define VESK_HOST_SCRIPT_SCRIPT_FILE_H

#include <string>

struct ScriptRead {
    bool ok = false;
    std::string content;
    // When not ok: why (the system's message where there is one), and the
    // line it concerns (0: the script as a whole).
    std::string error;
    int line = 0;
};

// The script at `path` as given.
ScriptRead readScriptFile(const std::string& path);

// Standard input to its end.
ScriptRead readScriptInput();

#endif  // VESK_HOST_SCRIPT_SCRIPT_FILE_H
