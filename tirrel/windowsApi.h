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
// Wide text is wchar_t as on Windows, though four bytes wide here: the code
// counts it in sizeof(wchar_t), so the same code runs against the stand-in.
typedef const wchar_t* LPCWSTR;
typedef DWORD REGSAM;
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
#define ERROR_UNSUPPORTED_TYPE 1630L

#define REG_SZ 1
#define REG_EXPAND_SZ 2

#define KEY_QUERY_VALUE 0x0001
#define KEY_SET_VALUE 0x0002
#define KEY_WOW64_64KEY 0x0100
#define KEY_WOW64_32KEY 0x0200

#define WM_SETTINGCHANGE 0x001A
#define SMTO_NORMAL 0x0000
#define MB_ICONERROR 0x00000010L

extern "C" {
LONG WINAPI RegOpenKeyExW(HKEY key, LPCWSTR subKey, DWORD options, REGSAM access, HKEY* result);
LONG WINAPI RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                             DWORD* dataSize);
LONG WINAPI RegSetValueExW(HKEY key, LPCWSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                           DWORD dataSize);
LONG WINAPI RegCloseKey(HKEY key);
LRESULT WINAPI SendMessageTimeoutA(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT flags,
                                   UINT timeout, PDWORD_PTR result);
int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
}

#endif

#endif
