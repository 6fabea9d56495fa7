// A script's lines, whole or one by one: each line split into words
// (tokens.h), then each statement checked against the statement table
// (statements.h).
#ifndef VESK_HOST_SCRIPT_SCRIPT_PARSE_H
#define VESK_HOST_SCRIPT_SCRIPT_PARSE_H

#include <optional>
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

// Parses the line `text` (no line end; a "\r" at its end is dropped) as line
// `line` into `s`: null when good (a line without a statement leaves
// s.words empty), else what is wrong.
std::optional<ScriptError> parseLine(std::string text, int line, Statement& s);

#endif  // VESK_HOST_SCRIPT_SCRIPT_PARSE_H
