#ifndef TIRREL_WINDOWS_API_H
#define TIRREL_WINDOWS_API_H

#ifdef _WIN32

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#else

// The few Windows types, constants and calls that tirrel uses, with their
// real names and values, so that its code also compiles natively and can be
// linked with the test stand-in in tests/tirrel.
#include <cstdint>

typedef std::int32_t LONG;
typedef std::uint32_t DWORD;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef std::intptr_t LRESULT;
typedef std::uintptr_t DWORD_PTR;
typedef DWORD_PTR* PDWORD_PTR;

typedef struct HKEY__* HKEY;
typedef struct HWND__* HWND;
typedef struct HINSTANCE__* HINSTANCE;

#define WINAPI

#define HKEY_LOCAL_MACHINE ((HKEY)(std::uintptr_t)(LONG)0x80000002)
#define HWND_BROADCAST ((HWND)0xffff)

#define ERROR_SUCCESS 0L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_MORE_DATA 234L

#define REG_SZ 1
#define REG_EXPAND_SZ 2

#define WM_SETTINGCHANGE 0x001A
#define SMTO_NORMAL 0x0000
#define MB_ICONERROR 0x00000010L

extern "C" {
LONG WINAPI RegOpenKeyA(HKEY key, LPCSTR subKey, HKEY* result);
LONG WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                             DWORD* dataSize);
LONG WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD dataSize);
LONG WINAPI RegCloseKey(HKEY key);
LRESULT WINAPI SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                   UINT timeout, PDWORD_PTR result);
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int WINAPI lstrlenA(LPCSTR text);
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
}

#endif

#endif
