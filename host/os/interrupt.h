// Ctrl-C (SIGINT) and termination requests (SIGTERM): noted, never acted on
// inside the signal handler, so the session ends between two statements with
// its temporary site removed, and the process then ends as the signal would
// have ended it (status 130 or 143 in a shell).
#ifndef VESK_HOST_OS_INTERRUPT_H
#define VESK_HOST_OS_INTERRUPT_H

#include <functional>

// Installs the handlers. Blocking reads are not restarted after a signal, so
// a prompt waiting for a line sees it.
void watchInterrupts();

// The signal received since watchInterrupts, or 0.
int interruption();

// Forgets `signal` when it is the one received, and says so: the prompt takes
// a Ctrl-C over a half-typed line as clearing the line, as a shell does.
bool takeInterruption(int signal);

// Ends the process by `signal` with its default action, after running what
// atEndByInterruption gave (once).
[[noreturn]] void endByInterruption(int signal);

// `last` runs in endByInterruption before the process ends, where no
// destructor will: for what must be said on the way out (the web view's
// goodbye to its pages). It replaces the one given before; empty: none.
void atEndByInterruption(std::function<void()> last);

#endif  // VESK_HOST_OS_INTERRUPT_H
