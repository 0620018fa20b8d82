// Windows test host: loads vesk.dll at run time as the package's development
// environment does, extracts one archive and reports like the Linux host:
// each message box as "<caption>: <text>" on standard error, unzip's result
// as exit code. Exit code 3 means the host itself found a fault.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstdio>
#include <string>

#include "boxWatcher.h"

namespace {

using UnzipFunction = int(__cdecl*)(const char*, const char*);

const char caption[] = "ZEL Development Environment";

int fail(const char* what)
{
    std::fprintf(stderr, "vesk-host: %s\n", what);
    return 3;
}

// Both exports must be reachable by name and by their fixed ordinals.
UnzipFunction resolveUnzip(HMODULE library)
{
    FARPROC byName = GetProcAddress(library, "unzip");
    FARPROC oneFileByName = GetProcAddress(library, "unzipOneFile");
    if (!byName || byName != GetProcAddress(library, MAKEINTRESOURCEA(1)) || !oneFileByName
        || oneFileByName != GetProcAddress(library, MAKEINTRESOURCEA(2)))
        return nullptr;
    return reinterpret_cast<UnzipFunction>(reinterpret_cast<void*>(byName));
}

// A window with a focused edit control, standing for the host's own window:
// the library must give the focus back after each box.
HWND createFocusedEdit()
{
    HWND frame = CreateWindowA("STATIC", "vesk-host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                               nullptr, nullptr, nullptr, nullptr);
    HWND edit =
        CreateWindowA("EDIT", "", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, frame, nullptr, nullptr, nullptr);
    SetForegroundWindow(frame);
    SetFocus(edit);
    return edit;
}

// The library takes Windows paths.
std::string toLibraryPath(std::string path)
{
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: vesk-host ARCHIVE [DEST]\n");
        return 2;
    }
    HMODULE library = LoadLibraryA("vesk.dll");
    if (!library)
        return fail("cannot load vesk.dll");
    UnzipFunction unzip = resolveUnzip(library);
    if (!unzip)
        return fail("exports differ by name and by ordinal");
    HWND edit = createFocusedEdit();
    if (GetFocus() != edit)
        return fail("cannot focus the host's window");

    startWatching(caption);
    int result = unzip(argv[1], argc == 3 ? toLibraryPath(argv[2]).c_str() : "");
    for (const std::string& text : stopWatching())
        std::fprintf(stderr, "%s: %s\n", caption, text.c_str());
    if (GetFocus() != edit)
        return fail("the focus was not given back");
    return result;
}
