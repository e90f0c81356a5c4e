#pragma once

#include <windows.h>
#include <shellapi.h>

namespace memsweep {

// The notification-icon record as it is handed to the shell: zeroed, then
// the window, the three flags, the tooltip and the icon. The tooltip must
// fit the 128-byte field with its NUL; the formatted one takes at most 47.
NOTIFYICONDATAA fill_notify_record(HWND hw, HICON hIcon, const char* msg);

}  // namespace memsweep
