#include "shell_win32.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tooltip.hpp"

namespace {

TEST(NotifyRecord, CarriesWindowFlagsTooltipAndIconOnly) {
    const auto msg = memsweep::format_tooltip(10);
    const auto hw = reinterpret_cast<HWND>(std::uintptr_t{0x1234});
    const auto hIcon = reinterpret_cast<HICON>(std::uintptr_t{0x5678});

    const NOTIFYICONDATAA nid = memsweep::fill_notify_record(hw, hIcon, msg.data());

    EXPECT_EQ(nid.cbSize, 528u);
    EXPECT_EQ(nid.hWnd, hw);
    EXPECT_EQ(nid.uFlags, 7u);
    EXPECT_EQ(nid.hIcon, hIcon);
    // The tooltip's bytes, then zeros to the end of the field.
    EXPECT_EQ(std::string(nid.szTip), std::string(msg.data()));
    for (std::size_t i = std::strlen(msg.data()); i < sizeof nid.szTip; ++i) {
        EXPECT_EQ(nid.szTip[i], '\0') << i;
    }
    // Nothing else is filled in.
    EXPECT_EQ(nid.uID, 0u);
    EXPECT_EQ(nid.uCallbackMessage, 0u);
    EXPECT_EQ(nid.dwState, 0u);
    EXPECT_EQ(nid.szInfo[0], '\0');
    EXPECT_EQ(nid.hBalloonIcon, nullptr);
}

}  // namespace
