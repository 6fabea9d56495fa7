// The scenario language's words: plain text, one statement a line, '#'
// starts a comment. Words are separated by blanks; a text with blanks or
// quotes is written in double quotes, with \" \\ \n \t \r and \xNN escapes.
#ifndef VESK_HOST_SCRIPT_TOKENS_H
#define VESK_HOST_SCRIPT_TOKENS_H

#include <optional>
#include <string>
#include <vector>

struct Token {
    std::string text;
    bool quoted;
};

struct Statement {
    int line = 0;
    std::string source;  // as written, comment and outer blanks removed
    std::vector<Token> words;
};

struct ScriptError {
    int line;
    std::string message;
};

// The longest script line read; a longer one is an error at that line, with
// the message overlongLine() gives.
const size_t kMaxLineBytes = 65536;
std::string overlongLine();

// Splits one line into words. Null statement words for a blank or comment
// line. Returns an error for a malformed line (bad quoting).
std::optional<ScriptError> tokenizeLine(const std::string& text, int line, Statement& out);


#endif  // VESK_HOST_SCRIPT_TOKENS_H
