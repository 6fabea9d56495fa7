#include "os.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

// A console, not any character device: _isatty also holds for NUL.
static bool isConsole(DWORD which) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

bool stdinIsTerminal() { return isConsole(STD_INPUT_HANDLE); }
bool stdoutIsTerminal() { return isConsole(STD_OUTPUT_HANDLE); }

// CompareObjectHandles (Windows 10, Wine) tells whether two handles are one
// object, pipes included; it is looked up, so older systems still start.
typedef BOOL(WINAPI* CompareObjects)(HANDLE, HANDLE);

static bool sameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    if (!GetFileInformationByHandle(a, &x) || !GetFileInformationByHandle(b, &y)) return false;
    return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}

bool stdoutIsStderr() {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE || !out || !err) return false;
    if (out == err) return true;
    static const char* const kLibraries[] = {"kernelbase.dll", "kernel32.dll"};
    for (const char* dll : kLibraries) {
        HMODULE module = GetModuleHandleA(dll);
        FARPROC found = module ? GetProcAddress(module, "CompareObjectHandles") : nullptr;
        if (found && reinterpret_cast<CompareObjects>(reinterpret_cast<void*>(found))(out, err)) return true;
    }
    // Two handles to one pipe or file (Wine gives each descriptor its own).
    return sameFile(out, err);
}

void useBinaryStdio() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}
