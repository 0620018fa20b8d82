#ifndef TIRREL_TIRREL_H
#define TIRREL_TIRREL_H

#include "windowsApi.h"

// Room for the install path: the platform's maximum path length.
constexpr DWORD installPathSize = 260;

LONG readInstallPath(char* path);
int openEnvironmentKey();
LONG writeEnvironmentValue(LPCSTR name, LPCSTR text);
DWORD broadcastEnvironmentChange();

#endif
