// A script on a pipe ("-", or no script named, with standard input a pipe),
// read as the prompt reads the terminal: lines come from a thread of their own
// (app/input_lines.h) while the event loop serves, and each statement runs as
// its line arrives, so a take on a live router reaches the panel, and the web
// view answers, while the writer has not sent the next line yet.
//
// A script is refused whole before it runs when a line is wrong, as from a
// file: the lines that come together are checked together. What came is
// gathered until the pipe ends, or until it has been quiet for kQuietMs with
// a statement among what came, or until kCheckedTogetherBytes came with one
// (so a pipe that never pauses costs bounded memory); that much is checked
// whole (the script is refused, nothing run, when a line of it is wrong) and
// run. Each later line is checked when it comes; a wrong one stops the script
// there, as a failed statement does. So `cat FILE | vesk-host` and
// `vesk-host - < FILE` give the transcript a file gives.
#ifndef VESK_HOST_APP_PIPED_SCRIPT_H
#define VESK_HOST_APP_PIPED_SCRIPT_H

#include <cstddef>

#include "script/scenario.h"

// How long a pipe may pause within the lines that are checked together.
const int kQuietMs = 200;
// The most that is checked together.
const size_t kCheckedTogetherBytes = 256 * 1024;

// Runs standard input as the script "stdin" whose relative paths start in
// the working folder. True when it passed; false too when a signal came
// before it began (nothing is shown then). Standard input is read once: a
// second call runs it as empty, as a second "-" of a file reads nothing.
bool runPipedScript(ScenarioRunner& runner);

#endif  // VESK_HOST_APP_PIPED_SCRIPT_H
