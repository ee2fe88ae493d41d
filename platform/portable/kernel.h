// KERNEL32 part of the Win32 subset: the module, its file path and the tick count.
#pragma once

#include "platform/portable/types.h"

#define MAX_PATH 260

// The module handle of the running program for a null name; null for any
// other name (the program loads no modules of its own).
HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName);

// The full path of the running executable, truncated and NUL-terminated to
// nSize characters; returns the characters copied without the NUL (nSize when
// truncated), 0 on failure.
DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize);

// Milliseconds since an arbitrary start, wrapping at 2^32.
DWORD WINAPI GetTickCount(void);

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);

#define ERROR_SUCCESS 0L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_MOD_NOT_FOUND 126L
