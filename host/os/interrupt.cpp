#include "os/interrupt.h"

#include <csignal>
#include <cstdlib>

static volatile std::sig_atomic_t received = 0;

static void onSignal(int signal) { received = signal; }

static std::function<void()>& lastWork() {
    static std::function<void()> work;
    return work;
}

void atEndByInterruption(std::function<void()> last) { lastWork() = std::move(last); }

void watchInterrupts() {
#if defined(_WIN32)
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
#else
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: a waiting read returns
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A closed pipe on standard output ends the session like a termination
    // request: between statements, with the temporary site removed.
    sigaction(SIGPIPE, &action, nullptr);
#endif
}

int interruption() { return received; }

bool takeInterruption(int signal) {
    if (received != signal) return false;
    received = 0;
    return true;
}

void endByInterruption(int signal) {
    std::function<void()> last;
    last.swap(lastWork());
    if (last) last();
#if defined(_WIN32)
    // Windows ends a raised SIGINT with status 3; a shell expects 128 + signal.
    std::_Exit(128 + signal);
#endif
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);  // where raising does not end the process
}
