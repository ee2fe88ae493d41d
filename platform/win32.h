// The one header through which the rest of quantview gets Win32.
//
// On Windows it is <windows.h> itself. Elsewhere it is the project's own
// portable subset in platform/portable/, whose names, types, constants and
// struct layouts match <windows.h>, so that callers compile unchanged on both.
#pragma once

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include "platform/portable/types.h"
#include "platform/portable/gdi.h"
#include "platform/portable/kernel.h"
#include "platform/portable/global_memory.h"
#include "platform/portable/virtual_memory.h"
#include "platform/portable/clipboard.h"
#include "platform/portable/user.h"
#endif
