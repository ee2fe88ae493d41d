#include "platform/portable/kernel.h"

#include <time.h>
#include <unistd.h>

#include <cstring>

namespace {

// The handle's value only has to be unique and non-null.
HINSTANCE__ program_module{};
thread_local DWORD last_error = ERROR_SUCCESS;

}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName == nullptr)
        return &program_module;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD WINAPI GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (hModule != nullptr && hModule != &program_module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return 0;
    }
    if (lpFilename == nullptr || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    char path[4096];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || n >= static_cast<ssize_t>(sizeof path))
        return 0;
    size_t length = static_cast<size_t>(n);
    if (length >= nSize) {
        // Truncated as Win32 does: nSize - 1 characters and the NUL.
        std::memcpy(lpFilename, path, nSize - 1);
        lpFilename[nSize - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(lpFilename, path, length);
    lpFilename[length] = '\0';
    return static_cast<DWORD>(length);
}

DWORD WINAPI GetTickCount(void) {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    unsigned long long ms = static_cast<unsigned long long>(ts.tv_sec) * 1000ull +
                            static_cast<unsigned long long>(ts.tv_nsec) / 1000000ull;
    return static_cast<DWORD>(ms);
}

DWORD WINAPI GetLastError(void) {
    return last_error;
}
void WINAPI SetLastError(DWORD dwErrCode) {
    last_error = dwErrCode;
}
