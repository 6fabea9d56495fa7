// A whole script read at once: each line split into words (tokens.h), then
// each statement checked against the statement table (statements.h).
#ifndef VESK_HOST_SCRIPT_SCRIPT_PARSE_H
#define VESK_HOST_SCRIPT_SCRIPT_PARSE_H

#include <string>
#include <vector>

#include "script/tokens.h"

// Parses a whole script: every statement, or every error (line order). A
// script without statements is an error too.
struct ParsedScript {
    std::vector<Statement> statements;
    std::vector<ScriptError> errors;
};
ParsedScript parseScript(const std::string& content);

#endif  // VESK_HOST_SCRIPT_SCRIPT_PARSE_H
