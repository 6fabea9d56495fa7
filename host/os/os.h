// The host's calls to the operating system that differ between the builds:
// one POSIX file and one Windows file behind this header, as platform/ does
// for the module; every difference between the builds in host/ is here
// (signals in interrupt.h, reading standard input on a thread of its own in
// input_reader.h).
#ifndef VESK_HOST_OS_OS_H
#define VESK_HOST_OS_OS_H

#include <optional>
#include <string>

// True when standard input / output is a terminal (a console on Windows).
bool stdinIsTerminal();
bool stdoutIsTerminal();
// True when standard input is a pipe (or a socket, as some programs give
// their children): it may stay open long between lines.
bool stdinIsPipe();
// True when standard input has something to read, or has ended or failed,
// so a read now does not block (the terminal while libedit edits a line).
bool stdinHasInput();
// True when standard output and standard error are the same file, pipe or
// terminal (2>&1): then each alert is written once, in the transcript.
bool stdoutIsStderr();
// Standard output and error write the bytes given: no "\r\n" translation on
// Windows, so both builds write the same transcript.
void useBinaryStdio();
// Null when standard input can be read as a script (a terminal, a pipe or a
// regular file); else why not ("standard input is neither ...").
const char* unreadableStdinReason();

// Sets or (nullopt) removes an environment variable of this process, as the
// module will read it. On Windows an empty value removes it too.
void setEnvironment(const char* name, const std::optional<std::string>& value);
// `path` made absolute and normal, as the component would be given it: on
// Windows with backslashes and a drive ("Z:" for a Unix path under Wine), on
// POSIX with slashes; no separator at its end but a root's.
std::string nativeAbsolutePath(const std::string& path);
// A path the component builds with backslashes, as this system opens it.
std::string openablePath(const std::string& componentPath);
unsigned long processId();
// GetPrivateProfileStringA's contract on both builds (the POSIX stand-in is
// the module's own ini reader): `key` of `section` of the file `path` into
// `out`, at most `size` bytes with the ending zero; the length copied.
unsigned long readProfileString(const char* section, const char* key, char* out, unsigned long size,
                                const std::string& path);
// Whether a listening socket should take a port another program just left:
// on POSIX yes (a restarted vesk-host gets its port back at once); on Windows
// the option would let two programs share a port, so no.
bool reuseListeningAddress();

#endif  // VESK_HOST_OS_OS_H
