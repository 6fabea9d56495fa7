// The host's calls to the operating system that differ between the builds:
// one POSIX file and one Windows file behind this header, as platform/ does
// for the module. (Signals are in interrupt.h, the site's folders and
// environment in site.h.)
#ifndef VESK_HOST_OS_OS_H
#define VESK_HOST_OS_OS_H

// True when standard input / output is a terminal (a console on Windows).
bool stdinIsTerminal();
bool stdoutIsTerminal();
// True when standard output and standard error are the same file, pipe or
// terminal (2>&1): then each alert is written once, in the transcript.
bool stdoutIsStderr();
// Standard output and error write the bytes given: no "\r\n" translation on
// Windows, so both builds write the same transcript.
void useBinaryStdio();

#endif  // VESK_HOST_OS_OS_H
