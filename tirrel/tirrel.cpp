// tirrel: stores the ZEL install directory in the system environment
// variable ZELDIR and tells all top-level windows that the environment has
// changed. It has no window; failures are shown in a message box and the exit
// code tells the outcome (0 done, 1 not installed, 2 broadcast failed, 3
// write failed).

#include "tirrel.h"

#include <cwchar>

namespace {

// The registry is read and written through the wide calls, which take any
// path as it is; the ANSI ones lose what the ANSI code page cannot spell.
const wchar_t installKeyPath[] = L"SOFTWARE\\Quenmark\\ZEL";
const wchar_t environmentKeyPath[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment";

HKEY environmentKey = nullptr;

void showError(LPCSTR text)
{
    MessageBoxA(nullptr, text, "tirrel", MB_ICONERROR);
}

LONG readInstallPathFrom(REGSAM view, wchar_t* path, DWORD* type)
{
    HKEY installKey = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, installKeyPath, 0, KEY_QUERY_VALUE | view, &installKey);
    if (status != ERROR_SUCCESS)
        return status;

    DWORD size = installPathSize * sizeof(wchar_t);
    status =
        RegQueryValueExW(installKey, L"InstallPath", nullptr, type, reinterpret_cast<BYTE*>(path), &size);
    RegCloseKey(installKey);
    if (status != ERROR_SUCCESS)
        return status;
    // Only text names a directory.
    if (*type != REG_SZ && *type != REG_EXPAND_SZ)
        return ERROR_UNSUPPORTED_TYPE;

    // Registry data need not end in NUL: a value that fills the buffer loses
    // its last character to the terminator, and one without bytes is empty.
    const DWORD length = size / sizeof(wchar_t);
    path[length < installPathSize ? length : installPathSize - 1] = L'\0';
    return ERROR_SUCCESS;
}

}  // namespace

LONG readInstallPath(wchar_t* path, DWORD* type)
{
    // A 32-bit installer writes the 32-bit view, which is read first; a
    // 64-bit one writes the 64-bit view, read when the first lacks the path.
    const LONG status = readInstallPathFrom(KEY_WOW64_32KEY, path, type);
    return status == ERROR_FILE_NOT_FOUND ? readInstallPathFrom(KEY_WOW64_64KEY, path, type) : status;
}

LONG openEnvironmentKey()
{
    // Both views share this key, so it is opened as it is.
    return RegOpenKeyExW(HKEY_LOCAL_MACHINE, environmentKeyPath, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                         &environmentKey);
}

LONG writeEnvironmentValue(LPCWSTR name, LPCWSTR text, DWORD type)
{
    const LONG opened = openEnvironmentKey();
    if (opened != ERROR_SUCCESS)
        return opened;

    // An existing string keeps its type (REG_EXPAND_SZ stays expandable);
    // one of another type held no path and becomes plain text. A new value
    // takes the type that InstallPath has.
    DWORD existing = 0;
    if (RegQueryValueExW(environmentKey, name, nullptr, &existing, nullptr, nullptr) == ERROR_SUCCESS)
        type = existing == REG_EXPAND_SZ ? REG_EXPAND_SZ : REG_SZ;

    // String data is stored with its NUL, else readers may run past its end.
    const LONG status = RegSetValueExW(environmentKey, name, 0, type, reinterpret_cast<const BYTE*>(text),
                                       static_cast<DWORD>((std::wcslen(text) + 1) * sizeof(wchar_t)));
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
    wchar_t installPath[installPathSize];
    DWORD type = 0;
    if (readInstallPath(installPath, &type) != ERROR_SUCCESS) {
        showError("ZEL is not installed!");
        return 1;
    }

    // The variable names the directory itself, without a trailing separator.
    const std::size_t length = std::wcslen(installPath);
    if (length > 0 && installPath[length - 1] == L'\\')
        installPath[length - 1] = L'\0';

    // A write that failed is reported, and nothing is announced.
    if (writeEnvironmentValue(L"ZELDIR", installPath, type) != ERROR_SUCCESS) {
        showError("Cannot write ZELDIR to the system environment!");
        return 3;
    }

    if (broadcastEnvironmentChange() != 0) {
        showError("Refresh environment variables failed!");
        return 2;
    }
    return 0;
}
