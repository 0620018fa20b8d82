#ifndef TIRREL_TIRREL_H
#define TIRREL_TIRREL_H

#include "windowsApi.h"

// The platform's maximum path length; the install path never exceeds it.
constexpr DWORD installPathSize = 260;

extern HKEY environmentKey;

LONG readInstallPath(char* path);
int openEnvironmentKey();
LONG writeEnvironmentValue(LPCSTR name, LPCSTR text);
DWORD broadcastEnvironmentChange();

#endif
