#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "desktop/tray.h"

namespace {

std::wstring item_text(HMENU menu, int position) {
    wchar_t text[128] = {};
    GetMenuStringW(menu, position, text, 128, MF_BYPOSITION);
    return text;
}

}  // namespace

TEST(TrayMenu, ThreeEntriesWithOpenPatientAsDefault) {
    HMENU menu = build_tray_menu();
    ASSERT_NE(menu, nullptr);
    ASSERT_EQ(GetMenuItemCount(menu), 3);
    EXPECT_EQ(GetMenuItemID(menu, 0), ID_OPEN_PATIENT);
    EXPECT_EQ(item_text(menu, 0), L"Orvanta DEV \u2013 Aktuellen Patienten \u00f6ffnen");
    EXPECT_TRUE(GetMenuState(menu, 1, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(menu, 2), ID_STATUS);
    EXPECT_EQ(item_text(menu, 2), L"Status");
    EXPECT_EQ(GetMenuDefaultItem(menu, FALSE, 0), ID_OPEN_PATIENT);
    DestroyMenu(menu);
}

TEST(TrayMenu, StatusTextHasFiveLinesWithoutTrailingNewline) {
    EXPECT_EQ(compose_status_text(L"Noch keine \u00dcbertragung.", 3, L"https://orvanta.example", L"C:\\GDT\\data.gdt"),
              L"Noch keine \u00dcbertragung.\n\nWartend: 3\nServer: https://orvanta.example\nGDT: C:\\GDT\\data.gdt");
}
