#include <gtest/gtest.h>

#include <windows.h>

#include <vector>

#include "platform/wide_string_win.h"

using velloran::toUtf8;

namespace {

// This test program links the program's resource script, so it carries the
// same version block and icon as velloran.exe.
TEST(WindowsResources, VersionBlockReadsBack) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::vector<char> block(GetFileVersionInfoSizeW(self, nullptr));
    ASSERT_TRUE(GetFileVersionInfoW(self, 0, static_cast<DWORD>(block.size()), block.data()));
    UINT length = 0;
    VS_FIXEDFILEINFO *fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00070000u);
    // The strings of U.S. English in Unicode.
    for (const auto &[key, expected] :
         {std::pair{L"CompanyName", "Corvane"}, std::pair{L"ProductName", "Velloran"},
          std::pair{L"FileVersion", "7.00"}, std::pair{L"ProductVersion", "7.00"}}) {
        wchar_t *value = nullptr;
        const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
        ASSERT_TRUE(
            VerQueryValueW(block.data(), path.c_str(), reinterpret_cast<void **>(&value), &length))
            << toUtf8(key);
        EXPECT_EQ(toUtf8(value), expected);
    }
}

TEST(WindowsResources, IconHasTheFourSizes) {
    const HRSRC found = FindResourceW(nullptr, L"IDI_ICON1", MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    ASSERT_NE(found, nullptr);
    // The group: a 6-byte header whose third word counts the 14-byte entries
    // that follow, each starting with its width (0 for 256).
    const auto *group = static_cast<const BYTE *>(LockResource(LoadResource(nullptr, found)));
    std::vector<int> sizes;
    for (int i = 0; i < group[4]; ++i)
        sizes.push_back(group[6 + 14 * i] ? group[6 + 14 * i] : 256);
    EXPECT_EQ(sizes, (std::vector<int>{32, 48, 128, 256}));
}

} // namespace
