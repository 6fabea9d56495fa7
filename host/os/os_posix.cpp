#include "os.h"

#include <sys/stat.h>
#include <unistd.h>

bool stdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }
bool stdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

bool stdoutIsStderr() {
    struct stat out, err;
    return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 && out.st_dev == err.st_dev &&
           out.st_ino == err.st_ino;
}

void useBinaryStdio() {}
