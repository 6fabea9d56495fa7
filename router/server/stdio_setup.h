// The process's standard streams made safe for a server that must keep
// serving whoever reads (or does not read) its log and whatever its standard
// input is.
#ifndef VESK_ROUTER_SERVER_STDIO_SETUP_H
#define VESK_ROUTER_SERVER_STDIO_SETUP_H

// Call first thing in main. POSIX: SIGPIPE is ignored (a write to a closed
// pipe fails instead of ending the process; the failing std::ostream just
// goes bad), SIGTTIN and SIGTTOU too (a read or write on the terminal from the
// background fails or goes through instead of stopping the process), and
// each of descriptors 0, 1 and 2 that is closed is opened on /dev/null, so no
// socket ever takes its number. Windows: standard output and error are put in
// binary mode, so lines end in LF as on Linux.
void prepareStdio();

// Whether standard input should be read for commands: a pipe, a file, or a
// terminal whose foreground process group is this process's. False for a
// terminal of which it is in the background (reading would stop it, or fail).
// Windows: always true.
bool stdinInForeground();

#endif  // VESK_ROUTER_SERVER_STDIO_SETUP_H
