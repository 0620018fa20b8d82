#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>

#include "boxWatcher.h"

namespace {

// The dialog class and the text control of a message box.
const char boxClass[] = "#32770";
const int textControl = 0xFFFF;

std::string watchedCaption;
std::vector<std::string> texts;
std::atomic<std::size_t> dismissed{0};
std::atomic<bool> stopRequested{false};
HANDLE watcher;

// The box shows the system's error icon in its one icon control. Icon
// handles can be compared within one process only: another program's box
// passes.
bool showsErrorIcon(HWND box)
{
    DWORD process = 0;
    GetWindowThreadProcessId(box, &process);
    if (process != GetCurrentProcessId())
        return true;
    HICON errorIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32513));  // IDI_HAND
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0)) == errorIcon)
            return true;
    return false;
}

std::string describe(HWND box)
{
    // Read as Unicode, passed on as UTF-8: names outside the code page too.
    wchar_t wide[1024] = L"";
    GetDlgItemTextW(box, textControl, wide, 1024);
    char text[3 * 1024] = "";
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    std::string description;
    if (GetWindow(box, GW_OWNER))
        description += "(owned) ";
    if (!showsErrorIcon(box))
        description += "(no error icon) ";
    return description + text;
}

DWORD WINAPI watch(LPVOID)
{
    while (!stopRequested) {
        HWND box = FindWindowA(boxClass, watchedCaption.c_str());
        if (!box || !IsWindowVisible(box)) {
            Sleep(10);
            continue;
        }
        texts.push_back(describe(box));
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        // The same box is read once: wait until it has gone.
        while (IsWindow(box) && !stopRequested)
            Sleep(10);
        ++dismissed;
    }
    return 0;
}

}  // namespace

void startWatching(const char* caption)
{
    watchedCaption = caption;
    watcher = CreateThread(nullptr, 0, watch, nullptr, 0, nullptr);
}

bool awaitBoxes(std::size_t count, unsigned long milliseconds)
{
    DWORD started = GetTickCount();
    while (dismissed < count) {
        if (GetTickCount() - started >= milliseconds)
            return false;
        Sleep(10);
    }
    return true;
}

std::vector<std::string> stopWatching()
{
    stopRequested = true;
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    return texts;
}
