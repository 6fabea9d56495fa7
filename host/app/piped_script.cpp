#include "app/piped_script.h"

#include <chrono>
#include <string>

#include "app/input_lines.h"
#include "os/interrupt.h"
#include "script/script_parse.h"

using Clock = std::chrono::steady_clock;

// How long the loop serves before the pipe is looked at again; an arriving
// line ends a slice at once.
static const int kSliceMs = 50;

namespace {
// The lines checked together: what came before the pipe ended or paused.
struct FirstLines {
    std::string content;
    int lines = 0;
    bool statement = false;  // a line holds a statement, or is wrong
    // Set when the script is refused as unreadable: the line (0: the whole
    // input) and why.
    bool unreadable = false;
    int badLine = 0;
    std::string why;
};
}  // namespace

// A line without a statement (blank, a comment) is kept as an empty one: it
// only counts.
static void addLine(FirstLines& first, const std::string& line) {
    ++first.lines;
    Statement s;
    const bool counts = parseLine(line, first.lines, s) || !s.words.empty();
    first.statement = first.statement || counts;
    if (counts) first.content += line;
    first.content += '\n';
}

static void refuse(FirstLines& first, int line, const std::string& why) {
    first.unreadable = true;
    first.badLine = line;
    first.why = why;
}

// Gathers the first lines, serving the loop meanwhile. False when a signal
// came first.
static bool gather(InputLines& input, EventLoop& loop, FirstLines& first) {
    Clock::time_point last = Clock::now();
    std::string line;
    while (!interruption()) {
        switch (input.next(line)) {
            case InputLines::Next::line:
                addLine(first, line);
                last = Clock::now();
                if (first.statement && first.content.size() >= kCheckedTogetherBytes) return true;
                continue;
            case InputLines::Next::overlong:
                refuse(first, first.lines + 1, overlongLine());
                return true;
            case InputLines::Next::failed:
                refuse(first, 0, input.error());
                return true;
            case InputLines::Next::ended:
                return true;
            case InputLines::Next::none:
                break;
        }
        if (first.statement && Clock::now() - last >= std::chrono::milliseconds(kQuietMs)) return true;
        loop.serve(kSliceMs);
    }
    return false;
}

// Runs the lines that come after the first ones, each as it comes.
static void follow(InputLines& input, ScenarioRunner& runner, int lines) {
    std::string line;
    while (true) {
        switch (input.next(line)) {
            case InputLines::Next::line:
                if (!runner.continueScript(line, ++lines)) return;
                continue;
            case InputLines::Next::overlong:
                runner.stopScript(lines + 1, overlongLine());
                return;
            case InputLines::Next::failed:
                runner.stopScript(0, input.error());
                return;
            case InputLines::Next::ended:
                return;
            case InputLines::Next::none:
                break;
        }
        if (runner.stopsForSignal()) return;
        runner.idle(kSliceMs);
    }
}

bool runPipedScript(ScenarioRunner& runner) {
    static bool read = false;
    if (read) return runner.runScript("stdin", ".", "");
    read = true;
    InputLines input([&runner] { runner.loop().wake(); }, kMaxLineBytes);
    FirstLines first;
    if (!gather(input, runner.loop(), first)) return false;
    if (first.unreadable) {
        runner.unreadable("stdin", first.badLine, first.why);
        return false;
    }
    if (runner.startScript("stdin", ".", first.content)) follow(input, runner, first.lines);
    return runner.end();
}
