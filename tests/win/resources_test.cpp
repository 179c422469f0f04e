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
    const DWORD size = GetFileVersionInfoSizeW(self, nullptr);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoW(self, 0, size, block.data()));

    WORD *translation = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation",
                               reinterpret_cast<void **>(&translation), &length));
    ASSERT_GE(length, 4u);
    EXPECT_EQ(translation[0], 0x0409); // U.S. English
    EXPECT_EQ(translation[1], 1200);   // Unicode

    VS_FIXEDFILEINFO *fixed = nullptr;
    ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void **>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00070000u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00070000u);

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

#pragma pack(push, 2)
struct IconGroupEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
struct IconGroup {
    WORD reserved, type, count;
    IconGroupEntry entries[1];
};
#pragma pack(pop)

TEST(WindowsResources, IconHasTheFourSizes) {
    const HRSRC found = FindResourceW(nullptr, L"IDI_ICON1", MAKEINTRESOURCEW(14)); // RT_GROUP_ICON
    ASSERT_NE(found, nullptr);
    const auto *group = static_cast<const IconGroup *>(LockResource(LoadResource(nullptr, found)));
    ASSERT_NE(group, nullptr);
    std::vector<int> sizes;
    for (WORD i = 0; i < group->count; ++i)
        sizes.push_back(group->entries[i].width == 0 ? 256 : group->entries[i].width);
    EXPECT_EQ(sizes, (std::vector<int>{32, 48, 128, 256}));
    for (int size : {32, 48, 128, 256}) {
        const HANDLE icon = LoadImageW(GetModuleHandleW(nullptr), L"IDI_ICON1", IMAGE_ICON, size,
                                       size, LR_DEFAULTCOLOR);
        EXPECT_NE(icon, nullptr) << size;
        if (icon)
            DestroyIcon(static_cast<HICON>(icon));
    }
}

} // namespace
