#ifndef TIRREL_TIRREL_H
#define TIRREL_TIRREL_H

#include "windowsApi.h"

// Room for the install path in wide characters: the platform's maximum path
// length.
constexpr DWORD installPathSize = 260;

LONG readInstallPath(wchar_t* path, DWORD* type);
LONG openEnvironmentKey();
LONG writeEnvironmentValue(LPCWSTR name, LPCWSTR text, DWORD type);
DWORD broadcastEnvironmentChange();

#endif
