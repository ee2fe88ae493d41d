// KERNEL32 virtual memory of the Win32 subset: whole pages for large working
// buffers, zero-filled by the system. Only what the quantizer asks for: a new
// committed read-write region (no address given), released as a whole.
#pragma once

#include "platform/portable/types.h"

#define MEM_COMMIT 0x00001000
#define MEM_RESERVE 0x00002000
#define MEM_RELEASE 0x00008000
#define PAGE_READWRITE 0x04

// A new region of at least dwSize bytes, all zero, for lpAddress null,
// flAllocationType MEM_COMMIT | MEM_RESERVE and flProtect PAGE_READWRITE;
// null otherwise or when the memory cannot be had. Regions of 1 MiB and more
// take whole 2 MiB pages, offered to the kernel's transparent huge pages, so
// that touching them costs one page fault per 2 MiB instead of one per
// 4 KiB.
// C linkage, as the system's own: a tool can wrap them by their plain names
// (the benchmark counts the regions with the heap).
extern "C" LPVOID WINAPI VirtualAlloc(LPVOID lpAddress, SIZE_T dwSize, DWORD flAllocationType,
                                      DWORD flProtect);
// Releases a region that VirtualAlloc returned (dwSize 0, MEM_RELEASE).
extern "C" BOOL WINAPI VirtualFree(LPVOID lpAddress, SIZE_T dwSize, DWORD dwFreeType);
