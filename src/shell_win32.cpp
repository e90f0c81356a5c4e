// The program's presence in the Windows shell: its console window hidden and
// an icon in the notification area whose tooltip names the interval.

#include "shell_win32.hpp"

#include <cstring>

#include "platform.hpp"
#include "tooltip.hpp"

namespace memsweep {

#ifdef _WIN64
static_assert(sizeof(NOTIFYICONDATAA) == 528, "the full record, as the shell expects it");
#endif

NOTIFYICONDATAA fill_notify_record(HWND hw, HICON hIcon, const char* msg) {
    NOTIFYICONDATAA nid{};
    nid.cbSize = sizeof nid;
    nid.hWnd = hw;
    nid.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    strcpy_s(nid.szTip, sizeof nid.szTip, msg);
    nid.hIcon = hIcon;
    return nid;
}

namespace platform {

void establish_presence(std::int32_t num) {
    const std::array<char, 256> msg = format_tooltip(num);

    // The program's own console: a search by class would take whichever
    // console window comes first, perhaps the user's own prompt, and hide it.
    HWND hw = GetConsoleWindow();
    ShowWindow(hw, SW_HIDE);

    // Width and height 0 take the size the file gives. Null if it's missing.
    auto hIcon = static_cast<HICON>(
        LoadImageA(nullptr, "icon.ico", IMAGE_ICON, 0, 0, LR_LOADFROMFILE));

    NOTIFYICONDATAA nid = fill_notify_record(hw, hIcon, msg.data());
    Shell_NotifyIconA(NIM_ADD, &nid);
}

}  // namespace platform
}  // namespace memsweep
