#include <gtest/gtest.h>

#include <algorithm>

#include "core/add_folder.h"
#include "platform/registry_settings_win.h"
#include "platform/shell.h"
#include "win_test_support.h"

using namespace velloran;
using fakes::pathOf;

namespace {

std::vector<std::string> sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

// A tree whose hidden (H) and system (S) marks are set with SetFileAttributesW:
//   a.ppt  b.pptx  hidden.ppt (H)  system.ppt (S)  ~lock.ppt  notes.txt
//   sub\c.ppt   hidden dir (H)\d.ppt   system dir (S)\e.ppt
class WindowsFolderRules : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char *dir : {"sub", "hidden dir", "system dir"})
            std::filesystem::create_directory(tmp.path() / dir);
        for (const char *file :
             {"a.ppt", "b.pptx", "hidden.ppt", "system.ppt", "~lock.ppt", "notes.txt", "sub\\c.ppt",
              "hidden dir\\d.ppt", "system dir\\e.ppt"})
            fakes::writeFile(tmp / file);
        const std::pair<const char *, DWORD> marks[] = {{"hidden.ppt", FILE_ATTRIBUTE_HIDDEN},
                                                        {"system.ppt", FILE_ATTRIBUTE_SYSTEM},
                                                        {"hidden dir", FILE_ATTRIBUTE_HIDDEN},
                                                        {"system dir", FILE_ATTRIBUTE_SYSTEM}};
        for (const auto &[name, mark] : marks)
            ASSERT_TRUE(SetFileAttributesW(toWide(tmp / name).c_str(), mark)) << name;
    }

    fakes::WinTempFolder tmp;
    std::unique_ptr<FileSystem> fs = makeNativeFileSystem();
};

TEST_F(WindowsFolderRules, AttributesComeFromTheFileSystem) {
    const struct {
        const char *name;
        bool exists, isFolder, hiddenOrSystem, normalFile;
    } rows[] = {
        {"a.ppt", true, false, false, true},      {"hidden.ppt", true, false, true, false},
        {"system.ppt", true, false, true, false}, {"sub", true, true, false, false},
        {"hidden dir", true, true, true, false},  {"missing.ppt", false, false, false, false}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.name);
        const auto a = fs->attributes(tmp / row.name);
        EXPECT_EQ(fs->fileExists(tmp / row.name), row.exists);
        EXPECT_EQ(fs->isNormalFile(tmp / row.name), row.normalFile);
        ASSERT_EQ(a.has_value(), row.exists);
        EXPECT_EQ(a && a->isFolder, row.isFolder);
        EXPECT_EQ(a && a->hiddenOrSystem, row.hiddenOrSystem);
    }
    EXPECT_EQ(fs->folderId(tmp / "sub"), fs->folderId(tmp / "sub\\..\\sub"));
    EXPECT_NE(fs->folderId(tmp / "sub"), fs->folderId(tmp / "hidden dir"));
}

TEST_F(WindowsFolderRules, FolderListsHiddenFilesButEntersOnlyPlainFolders) {
    EXPECT_EQ(sorted(listFilesInFolder(tmp / "", "*.ppt", *fs)),
              sorted({"a.ppt", "b.pptx", "hidden.ppt", "system.ppt", "~lock.ppt"}));
    EventPump pump{[] {}};
    const auto rows = treeFiles(toUtf8(tmp.path().wstring()), "*.ppt", true, *fs, pump);
    // Root files first, then the one plain subfolder; "~" names are left out.
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(sorted({rows.begin(), rows.begin() + 4}),
              sorted({tmp / "a.ppt", tmp / "b.pptx", tmp / "hidden.ppt", tmp / "system.ppt"}));
    EXPECT_EQ(rows[4], tmp / "sub\\c.ppt");
}

TEST(WindowsShell, DesktopAndShellCalls) {
    const std::string desktop = desktopFolderPath();
    EXPECT_EQ(desktop.substr(1, 2), ":\\") << desktop;
    EXPECT_TRUE(std::filesystem::is_directory(pathOf(desktop))) << desktop;
    EXPECT_FALSE(openInShell(desktop + "\\no such folder ✓\\nothing.ppt"));
}

TEST(WindowsSettings, OutputFolderLivesWhereEarlierVersionsKeptIt) {
    const wchar_t *key = L"Software\\VB and VBA Program Settings\\Corvane\\Velloran";
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
    auto settings = makeRegistrySettings();
    EXPECT_EQ(settings->get("Text1"), std::nullopt);
    settings->save("Text1", "D:\\Ausgabe für Folien\\");
    wchar_t stored[260];
    DWORD bytes = sizeof stored;
    ASSERT_EQ(
        RegGetValueW(HKEY_CURRENT_USER, key, L"Text1", RRF_RT_REG_SZ, nullptr, stored, &bytes),
        ERROR_SUCCESS);
    EXPECT_EQ(toUtf8(stored), "D:\\Ausgabe für Folien\\");
    EXPECT_EQ(settings->get("Text1"), "D:\\Ausgabe für Folien\\");
    settings->save("Text1", "");
    EXPECT_EQ(settings->get("Text1"), "");
    RegDeleteTreeW(HKEY_CURRENT_USER, key);
}

} // namespace
