// The scenario language read before anything runs: each line's words, the
// statement table's checks and their messages, a whole script's errors.
#include "script/script_parse.h"
#include "script/statements.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"

namespace {

struct LineError {
    const char* line;
    const char* message;
};

// Malformed statements and the error each gives: words, numbers and quotes.
std::vector<LineError> shapeErrors() {
    return {
        {"jump 5", "unknown statement \"jump\""},
        {"\"route\" 5 12 3", "expected a statement, got a quoted text"},
        {"route 5 x 3", "expected a number from -2147483648 to 2147483647 for the destination, got \"x\""},
        {"route 5 12", "expected \"route DEVICE DESTINATION SOURCE\""},
        {"route 5 12 3 4", "expected \"route DEVICE DESTINATION SOURCE\""},
        {"route 5 12 2147483648", "expected a number from -2147483648 to 2147483647 for the source, got \"2147483648\""},
        {"wait -1", "expected a number from 0 to 2147483647 for the time, got \"-1\""},
        {"wait 1.5", "expected a number from 0 to 2147483647 for the time"},
        {"device 5 size", "expected \"device DEVICE size N [nofile]\""},
        {"device 5 width 8", "expected \"device DEVICE size N [nofile]\""},
        {"device 5 size 8 file", "expected \"device DEVICE size N [nofile]\""},
        {"device 5 size -8", "expected a number from 0 to 2147483647 for the size"},
        {"config 5 size", "expected \"config DEVICE size N | text TEXT | none\""},
        {"config 5 blob x", "expected \"config DEVICE size N | text TEXT | none\""},
        {"config 5 none x", "expected \"config DEVICE size N | text TEXT | none\""},
        {"site", "expected \"site temp|none|FOLDER [system NAME]\""},
        {"site temp system", "expected \"site temp|none|FOLDER [system NAME]\""},
        {"site temp sys main", "expected \"site temp|none|FOLDER [system NAME]\""},
        {"site none system main", "expected \"site temp|none|FOLDER [system NAME]\""},
        {"site temp system \"\"", "expected a system name that is not empty"},
        {"site temp system ../../escaped", "expected one folder name for the system of a temporary site, not \"../../escaped\""},
        {"site temp system /tmp/x", "expected one folder name"},
        {"site temp system a\\b", "expected one folder name"},
        {"site temp system C:x", "expected one folder name"},
        {"site temp system ..", "expected one folder name"},
        {"site temp system .", "expected one folder name"},
        {"send", "expected \"send TEXT | send null\""},
        {"send a b", "expected \"send TEXT | send null\"; a text with blanks goes in double quotes: send \"a b\""},
        {"send \"abc", "expected a closing \" before the end of the line"},
        {"send \"a\"b", "expected a blank after the closing \""},
        {"send a\"b", "expected a quote only at the start of a word"},
        {"send \"\\q\"", "unknown escape \\q"},
        {"send \"\\x4\"", "expected two hex digits"},
        {"send \"\\x00\"", "expected \\x00 only in the text of \"config D text TEXT\""},
        {"say \"a\\x00b\"", "expected \\x00 only in the text of \"config D text TEXT\""},
    };
}

// Malformed statements and the error each gives: statements' own forms.
std::vector<LineError> formErrors() {
    return {
        {"event 1 0", "expected a type other than 1, 2 and 3"},
        {"event 5 7", "expected data word 0 with type 5"},
        {"timer", "expected \"timer N\""},
        {"expect", "expected \"expect sent|answer|"},
        {"expect sent", "expected \"expect sent TEXT...\" or \"expect sent nothing\""},
        {"expect colour red", "expected \"expect sent|answer|"},
        {"expect timer 1 going", "expected \"expect timer N running|stopped\""},
        {"expect timer one running", "expected a number from -2147483648 to 2147483647 for the timer"},
        {"expect panel 1 ajar", "expected \"expect panel NAME open|closed\""},
        {"expect registered 5", "expected \"expect registered DEVICE DESTINATION\""},
        {"delete now", "expected \"delete\""},
        {"create a b", "expected \"create [PATH [nopanel]]\""},
        {"create a nopanel b", "expected \"create [PATH [nopanel]]\""},
        {"report 5 12 3", "expected \"report DEVICE DESTINATION SOURCE TEXT\""},
        {"device 5 videohub", "expected \"device DEVICE videohub HOST[:PORT]\""},
        {"device 5 videohub router 9990", "expected \"device DEVICE videohub HOST[:PORT]\""},
        {"device 5 videohub router:0", "expected HOST or HOST:PORT (port 1..65535), got \"router:0\""},
        {"device 5 videohub router:65536", "expected HOST or HOST:PORT (port 1..65535)"},
        {"device 5 videohub router:", "expected HOST or HOST:PORT (port 1..65535)"},
        {"device 5 videohub [::1", "expected HOST or HOST:PORT (port 1..65535)"},
        {"device 5 videohub :9990", "expected HOST or HOST:PORT (port 1..65535)"},
        {"expect timer 1 running within 5", "expected \"within MS\" only after expect text, control"},
        {"expect sent \"RU 5\" within 5", "expected \"within MS\" only after"},
        {"expect text a within x", "expected a number from 0 to 2147483647 for the time, got \"x\""},
        {"expect text a within -1", "expected a number from 0 to 2147483647 for the time, got \"-1\""},
        {"expect text a b within 5", "expected \"expect text TEXT\""},
    };
}

TEST(ScenarioParser, ErrorsNameTheLineAndWhatWasExpected) {
    std::vector<LineError> cases = shapeErrors();
    for (const LineError& c : formErrors()) cases.push_back(c);
    for (const LineError& c : cases) {
        const std::string script = "# first line\n\ncreate\n" + std::string(c.line) + "\nshow\n";
        ParsedScript parsed = parseScript(script);
        ASSERT_EQ(parsed.errors.size(), 1u) << "input: " << quoteText(c.line);
        EXPECT_EQ(parsed.errors[0].line, 4) << "input: " << quoteText(c.line);
        EXPECT_NE(parsed.errors[0].message.find(c.message), std::string::npos)
            << "input: " << quoteText(c.line) << " message: " << parsed.errors[0].message;
    }
}

// True when `name` stands in `text` as a word of its own.
bool namedIn(const std::string& text, const std::string& name) {
    auto letter = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    for (size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
        const size_t end = at + name.size();
        if ((at == 0 || !letter(text[at - 1])) && (end == text.size() || !letter(text[end]))) return true;
    }
    return false;
}

// Every statement is one complete row: a check and a run, and its name in the
// help (a row with no help lines of its own, like "rename", is named in
// another row's).
TEST(StatementTable, EveryRowIsComplete) {
    const std::string& help = scenarioHelp();
    for (const StatementKind& kind : statementTable()) {
        EXPECT_NE(kind.check, nullptr) << kind.name;
        EXPECT_NE(kind.run, nullptr) << kind.name;
        EXPECT_TRUE(namedIn(help, kind.name)) << kind.name << " is not in the help:\n" << help;
        EXPECT_EQ(findStatement(kind.name), &kind) << kind.name << " is in the table twice";
    }
    EXPECT_EQ(statementNames().size(), statementTable().size());
}

TEST(ScenarioParser, GoodStatementsPass) {
    const char* lines[] = {
        "module ../Parvex.so", "panels .", "site temp", "site temp system other", "site none", "site demo/site",
        "site \"my site\" system main", "config 5 size 64", "config 5 text \"[Database]\\nDatabaseSize_1=8\\n\"",
        "config 5 text \"\\xFF\\xFE[\\x00\"",
        "config 5 none", "device 5 size 64", "device 5 size 0 nofile", "source 5 3 \"CAM 3\"", "rename 5 3 X",
        "route 5 12 3", "offline 5", "online 5", "resize 5 8", "create", "create \"\"", "create panels/x", "create \"\" nopanel", "delete",
        "send destid=12", "send null", "send \"null\"", "control AckAll \"alarm=ack\"", "report 5 12 3 \"CAM 3\"",
        "timer 2", "event 7 42", "event 5 0", "event -1 0", "wait 0", "wait 10000", "show", "show 2", "say hello",
        "expect sent nothing", "expect sent \"RU 5\" \"RR 5 12 12\"", "expect answer none", "expect answer \"\"",
        "expect text \"CAM 3\"", "expect control LevelMimic statesheet red", "expect timer 1 running",
        "expect timer 1 stopped", "expect registered 5 12", "expect unregistered 5 12", "expect panel 1 open",
        "expect panel 2 closed", "route 5 12 3 # with a comment", "help", "quit",
        "device 5 videohub 127.0.0.1", "device 5 videohub 127.0.0.1:9990", "device 5 videohub router.local:1",
        "device 5 videohub [::1]:9990", "device 5 videohub ::1", "expect text \"CAM 3\" within 500",
        "expect text within within 5", "expect control LevelMimic statesheet red within 10",
        "expect registered 5 12 within 0", "expect unregistered 5 12 within 100"};
    for (const char* line : lines) {
        ParsedScript parsed = parseScript(line);
        EXPECT_TRUE(parsed.errors.empty()) << "input: " << quoteText(line) << " message: "
                                           << (parsed.errors.empty() ? "" : parsed.errors[0].message);
        EXPECT_EQ(parsed.statements.size(), 1u) << "input: " << quoteText(line);
    }
}

TEST(ScenarioParser, TextsLongerThanTheReportRecordHoldsAreRefused) {
    for (const char* form : {"source 5 1 \"%s\"", "report 5 1 1 \"%s\""}) {
        for (size_t length : {255u, 256u}) {
            std::string line = form;
            line.replace(line.find("%s"), 2, std::string(length, 'x'));
            ParsedScript parsed = parseScript(line);
            EXPECT_EQ(parsed.errors.size(), length > 255 ? 1u : 0u) << "input: " << form << " with " << length;
        }
    }
}

TEST(ScenarioParser, EveryErrorOfAScriptIsListed) {
    ParsedScript parsed = parseScript("create\nroute x\n# fine\nwait y\r\nshow\n");
    ASSERT_EQ(parsed.errors.size(), 2u);
    EXPECT_EQ(parsed.errors[0].line, 2);
    EXPECT_EQ(parsed.errors[1].line, 4);
    EXPECT_EQ(parsed.statements.size(), 2u);
}

TEST(ScenarioTokens, QuotedTextsAndComments) {
    Statement s;
    ASSERT_EQ(tokenizeLine("  send \"a\\\"b\\\\c\\n\\x41\\t\"  # note \"x\"\r", 7, s), std::nullopt);
    ASSERT_EQ(s.words.size(), 2u);
    EXPECT_EQ(s.words[1].text, "a\"b\\c\nA\t");
    EXPECT_TRUE(s.words[1].quoted);
    EXPECT_EQ(s.source, "send \"a\\\"b\\\\c\\n\\x41\\t\"");
    EXPECT_EQ(s.line, 7);

    ASSERT_EQ(tokenizeLine("send \"# not a comment\"", 1, s), std::nullopt);
    ASSERT_EQ(s.words.size(), 2u);
    EXPECT_EQ(s.words[1].text, "# not a comment");

    ASSERT_EQ(tokenizeLine("   # only a comment", 1, s), std::nullopt);
    EXPECT_TRUE(s.words.empty());
}

}  // namespace
