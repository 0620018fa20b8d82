// tirrel: stores the ZEL install directory in the system environment
// variable ZELDIR and tells all top-level windows that the environment has
// changed. It has no window; failures are shown in a message box and the exit
// code tells the outcome (0 done, 1 not installed, 2 broadcast failed).

#include "tirrel.h"

#include <cstring>

namespace {

const char installKeyPath[] = "SOFTWARE\\Quenmark\\ZEL";
const char environmentKeyPath[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

HKEY environmentKey = nullptr;

void showError(LPCSTR text)
{
    MessageBoxA(nullptr, text, "tirrel", MB_ICONERROR);
}

}  // namespace

LONG readInstallPath(char* path)
{
    HKEY installKey = nullptr;
    if (RegOpenKeyA(HKEY_LOCAL_MACHINE, installKeyPath, &installKey) != ERROR_SUCCESS)
        return 1;

    char value[installPathSize];
    DWORD type = 0;
    DWORD size = installPathSize;
    const LONG status =
        RegQueryValueExA(installKey, "InstallPath", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(installKey);
    if (status != ERROR_SUCCESS)
        return status;

    // Registry data need not end in NUL: a value that fills the buffer loses
    // its last byte to the terminator, and one without bytes is empty.
    value[size < installPathSize ? size : installPathSize - 1] = '\0';
    std::strcpy(path, value);
    return ERROR_SUCCESS;
}

int openEnvironmentKey()
{
    return RegOpenKeyA(HKEY_LOCAL_MACHINE, environmentKeyPath, &environmentKey) == ERROR_SUCCESS ? 0 : 1;
}

LONG writeEnvironmentValue(LPCSTR name, LPCSTR text)
{
    // A failed open leaves the key null, so the query and the write below
    // fail quietly; the change is still broadcast.
    openEnvironmentKey();

    // An existing value keeps its type (REG_EXPAND_SZ stays expandable).
    DWORD type = 0;
    if (RegQueryValueExA(environmentKey, name, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
        type = REG_SZ;

    // String data is stored with its NUL, else readers may run past its end.
    const LONG status = RegSetValueExA(environmentKey, name, 0, type, reinterpret_cast<const BYTE*>(text),
                                       static_cast<DWORD>(lstrlenA(text) + 1));
    RegCloseKey(environmentKey);
    environmentKey = nullptr;
    return status;
}

DWORD broadcastEnvironmentChange()
{
    // Only the message result counts, not whether every window answered in
    // time.
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"),
                        SMTO_NORMAL, 5000, &result);
    return static_cast<DWORD>(result);
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char installPath[installPathSize];
    if (readInstallPath(installPath) != ERROR_SUCCESS) {
        showError("ZEL is not installed!");
        return 1;
    }

    // The variable names the directory itself, without a trailing separator.
    const int length = lstrlenA(installPath);
    if (length > 0 && installPath[length - 1] == '\\')
        installPath[length - 1] = '\0';

    writeEnvironmentValue("ZELDIR", installPath);

    if (broadcastEnvironmentChange() != 0) {
        showError("Refresh environment variables failed!");
        return 2;
    }
    return 0;
}
