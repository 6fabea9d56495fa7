#include "stdio_setup.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>

#include <cstdio>

void prepareStdio() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool stdinInForeground() { return true; }

#else
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

void prepareStdio() {
    signal(SIGPIPE, SIG_IGN);
    signal(SIGTTIN, SIG_IGN);
    signal(SIGTTOU, SIG_IGN);
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
        // open() takes the lowest free descriptor: this one.
        const int opened = open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
        if (opened != fd && opened >= 0) close(opened);
    }
}

bool stdinInForeground() {
    if (!isatty(0)) return true;
    const pid_t foreground = tcgetpgrp(0);
    // -1: not this process's controlling terminal, so no job control applies.
    return foreground == -1 || foreground == getpgrp();
}
#endif
