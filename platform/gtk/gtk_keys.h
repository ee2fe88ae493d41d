// GDK key values to Win32 virtual-key codes.
#pragma once

#include "platform/portable/types.h"

namespace portable::gtk {

// The virtual-key code of a GDK key value (letters in either case give the
// upper-case code, as Win32 does), or 0 for a key that has none here.
UINT virtual_key_from_keyval(unsigned keyval);

}  // namespace portable::gtk
