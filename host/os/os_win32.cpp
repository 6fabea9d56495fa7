#include "os/os.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <windows.h>

#include <optional>
#include <string>

// A console, not any character device: _isatty also holds for NUL.
static bool isConsole(DWORD which) {
    DWORD mode;
    return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

bool stdinIsTerminal() { return isConsole(STD_INPUT_HANDLE); }
bool stdoutIsTerminal() { return isConsole(STD_OUTPUT_HANDLE); }

bool stdinIsPipe() { return GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_PIPE; }

bool stdinHasInput() { return WaitForSingleObject(GetStdHandle(STD_INPUT_HANDLE), 0) == WAIT_OBJECT_0; }

// CompareObjectHandles (Windows 10, Wine) tells whether two handles are one
// object, pipes included; it is looked up, so older systems still start.
typedef BOOL(WINAPI* CompareObjects)(HANDLE, HANDLE);

// NtQueryInformationFile's FileInternalInformation: the file's index on its
// volume, which Wine takes from the Unix inode, so two descriptors of one pipe
// read alike even where the two handles are separate objects.
typedef LONG(WINAPI* QueryFile)(HANDLE, void* status, void* into, ULONG size, ULONG what);

static bool sameIndex(HANDLE a, HANDLE b) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    FARPROC found = ntdll ? GetProcAddress(ntdll, "NtQueryInformationFile") : nullptr;
    if (!found || GetFileType(a) != GetFileType(b)) return false;
    QueryFile query = reinterpret_cast<QueryFile>(reinterpret_cast<void*>(found));
    const ULONG kFileInternalInformation = 6;
    ULONG_PTR status[2];
    LARGE_INTEGER x = {}, y = {};
    if (query(a, status, &x, sizeof x, kFileInternalInformation) != 0) return false;
    if (query(b, status, &y, sizeof y, kFileInternalInformation) != 0) return false;
    return x.QuadPart != 0 && x.QuadPart == y.QuadPart;
}

static bool sameFile(HANDLE a, HANDLE b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    if (!GetFileInformationByHandle(a, &x) || !GetFileInformationByHandle(b, &y)) return sameIndex(a, b);
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
    // Two handles to one pipe or file (Wine gives each descriptor its own
    // object).
    return sameFile(out, err);
}

void useBinaryStdio() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

const char* unreadableStdinReason() { return nullptr; }

void setEnvironment(const char* name, const std::optional<std::string>& value) {
    // _putenv changes both the process environment, which the module reads,
    // and the C runtime's copy; "NAME=" removes the variable, so an empty
    // value cannot be set here.
    std::string assignment = std::string(name) + "=" + (value ? *value : "");
    _putenv(assignment.c_str());
}

std::string nativeAbsolutePath(const std::string& path) {
    std::string p = path;
    for (char& c : p)
        if (c == '/') c = '\\';
    if (!p.empty() && p[0] == '\\' && (p.size() < 2 || p[1] != '\\')) p = "Z:" + p;
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(p.c_str(), sizeof full, full, nullptr);
    if (n > 0 && n < sizeof full) p.assign(full, n);
    while (p.size() > 3 && p.back() == '\\') p.pop_back();
    return p;
}

std::string openablePath(const std::string& componentPath) { return componentPath; }

unsigned long processId() { return GetCurrentProcessId(); }

unsigned long readProfileString(const char* section, const char* key, char* out, unsigned long size,
                                const std::string& path) {
    return GetPrivateProfileStringA(section, key, "", out, size, path.c_str());
}

bool reuseListeningAddress() { return false; }
