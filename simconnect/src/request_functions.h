// Internal entry to the open sequence with settings given directly instead of read from
// the configuration files; SimConnect_Open runs the same sequence.
#pragma once

#include "simconnect/SimConnect.h"
#include "connection_settings.h"

HRESULT OpenWithSettings(HANDLE* phSimConnect, const char* szName,
                         const ConnectionSettings& settings, HWND hWnd = nullptr,
                         DWORD UserEventWin32 = 0, HANDLE hEventHandle = nullptr);
