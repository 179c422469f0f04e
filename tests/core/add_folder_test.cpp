#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "core/add_folder.h"
#include "core/path_rules.h"
#include "core/ports.h"
#include "temp_folder.h"

using namespace velloran;
namespace fs = std::filesystem;

namespace {

class TempTree : public ::testing::Test {
protected:
    void TearDown() override {
        std::error_code ec;
        fs::permissions(m_root / "R" / "locked", fs::perms::owner_all, ec);
    }
    // A path below the temporary root, written with "/" and UTF-8.
    fs::path at(const std::string &rel) const {
        return (m_root / fs::u8path(rel)).make_preferred();
    }
    std::string path(const std::string &rel) const {
        const auto text = at(rel).u8string();
        return std::string(text.begin(), text.end());
    }
    void file(const std::string &rel) {
        fs::create_directories(at(rel).parent_path());
        std::ofstream(at(rel)) << "x";
    }
    void folder(const std::string &rel) { fs::create_directories(at(rel)); }
    // Windows marks hidden files with an attribute, has no directory links
    // under Wine, and lists in the volume's own order.
    bool onWindows() const { return kNativePaths.windows; }

    std::vector<std::string> walk(const std::string &rel, const std::string &pattern,
                                  FileSystem *fsOverride = nullptr) {
        EventPump pump([] {});
        return treeFiles(path(rel), pattern, true, fsOverride ? *fsOverride : *m_fs, pump);
    }

    fakes::TempFolder m_temp;
    fs::path m_root = m_temp.path();
    std::unique_ptr<FileSystem> m_fs = makeNativeFileSystem();
};

// Lets the test make one folder unreadable even when the tests run as root,
// where permission bits do not stop a listing.
class FailingListing final : public FileSystem {
public:
    FailingListing(FileSystem &inner, std::string bad) : m_inner(inner), m_bad(std::move(bad)) {}
    bool fileExists(const std::string &p) override { return m_inner.fileExists(p); }
    bool isNormalFile(const std::string &p) override { return m_inner.isNormalFile(p); }
    std::optional<PathAttributes> attributes(const std::string &p) override {
        return m_inner.attributes(p);
    }
    std::optional<FolderId> folderId(const std::string &p) override { return m_inner.folderId(p); }
    void listFolder(const std::string &folder,
                    const std::function<void(const DirEntry &)> &sink) override {
        if (folder.rfind(m_bad, 0) == 0 && folder.size() <= m_bad.size() + 1)
            throw std::runtime_error("Permission denied");
        m_inner.listFolder(folder, sink);
    }

private:
    FileSystem &m_inner;
    std::string m_bad;
};

} // namespace

TEST_F(TempTree, FoldersComeLevelByLevel) {
    file("R/r.txt");
    file("R/A/a.txt");
    file("R/B/b.txt");
    file("R/A/A1/a1.txt");
    EXPECT_EQ(walk("R", "*"), (std::vector<std::string>{path("R/r.txt"), path("R/A/a.txt"),
                                                        path("R/B/b.txt"), path("R/A/A1/a1.txt")}));

    std::vector<std::string> folders{path("R") + kNativePaths.separator};
    EventPump pump([] {});
    collectSubfolders(folders, false, *m_fs, pump);
    EXPECT_EQ(folders, (std::vector<std::string>{path("R/"), path("R/A/"), path("R/B/")}));
}

TEST_F(TempTree, HiddenFilesAreListedHiddenFoldersAreNotEntered) {
    if (onWindows())
        GTEST_SKIP() << "POSIX file-system rules";
    file("R/.hidden.ppt");
    file("R/shown.ppt");
    file("R/.secret/inner.ppt");
    file("R/A/deep.ppt");
    EXPECT_EQ(walk("R", "*.ppt"),
              (std::vector<std::string>{path("R/.hidden.ppt"), path("R/shown.ppt"),
                                        path("R/A/deep.ppt")}));
}

TEST_F(TempTree, TildeNamesAreSkippedOnlyAtTheStart) {
    file("R/~$lock.pptx");
    file("R/deck~1.pptx");
    file("R/A/~temp.ppt");
    EXPECT_EQ(walk("R", "*.*"), (std::vector<std::string>{path("R/deck~1.pptx")}));
}

TEST_F(TempTree, StarFindsAllTxtFindsOnlyTxt) {
    file("R/a.txt");
    file("R/b.TXT");
    file("R/c.ppt");
    file("R/noext");
    file("R/d.txt.bak");
    folder("R/dir.txt");
    EXPECT_EQ(walk("R", "*.*").size(), 5u);
    auto txt = walk("R", "*.txt");
    std::sort(txt.begin(), txt.end());
    EXPECT_EQ(txt, (std::vector<std::string>{path("R/a.txt"), path("R/b.TXT")}));
    // Folders never become rows, whatever their names.
    const auto all = walk("R", "*.*");
    EXPECT_EQ(std::count(all.begin(), all.end(), path("R/dir.txt")), 0);
}

TEST_F(TempTree, ListingComparesNamesUpperCased) {
    if (onWindows())
        GTEST_SKIP() << "POSIX file-system rules";
    // Upper-cased, "[", "^", "_" and "~" come after "Z"; non-ASCII after those.
    const std::vector<std::string> expected{"a", "B", "e", "Z", "[c]", "^d", "_b", "~lock", "é"};
    for (const char *name : {"é", "~lock", "_b", "^d", "[c]", "Z", "e", "B", "a"})
        file(std::string("R/") + name);
    EXPECT_EQ(listFilesInFolder(path("R"), "*.*", *m_fs), expected);
}

TEST_F(TempTree, ClosingTheWindowStopsTheWalkWithoutRows) {
    for (const char *name : {"R/a.ppt", "R/A/b.ppt", "R/B/c.ppt"})
        file(name);
    int calls = 0;
    EventPump pump(
        [&] {
            if (++calls == 3)
                throw WindowClosed();
        },
        std::chrono::milliseconds(0));
    EXPECT_THROW(expandDroppedItems({path("R")}, *m_fs, pump), WindowClosed);
}

TEST_F(TempTree, LinkLoopsAreWalkedOnce) {
    if (onWindows())
        GTEST_SKIP() << "POSIX file-system rules";
    file("R/A/a.txt");
    fs::create_directory_symlink(m_root / "R", m_root / "R/A/back");  // loops to the top
    fs::create_directory_symlink(m_root / "R/A", m_root / "R/alias"); // a second way into A
    file("S/s.txt");
    fs::create_directory_symlink(m_root / "S", m_root / "R/toS"); // a link out of the tree
    const auto rows = walk("R", "*");
    EXPECT_EQ(rows, (std::vector<std::string>{path("R/A/a.txt"), path("R/toS/s.txt")}));
}

TEST_F(TempTree, UnreadableFolderIsSkippedAndTheWalkGoesOn) {
    file("R/r.txt");
    file("R/A/a.txt");
    file("R/locked/l.txt");
    file("R/locked/sub/deep.txt");
    file("R/Z/z.txt");
    FailingListing failing(*m_fs, path("R/locked"));
    EXPECT_EQ(walk("R", "*", &failing),
              (std::vector<std::string>{path("R/r.txt"), path("R/A/a.txt"), path("R/Z/z.txt")}));
    // And with real permissions, where they bite (not as root).
    fs::permissions(m_root / "R" / "locked", fs::perms::none);
    const auto rows = walk("R", "*");
    EXPECT_NE(std::find(rows.begin(), rows.end(), path("R/Z/z.txt")), rows.end());
}

TEST_F(TempTree, UnreadableTopFolderReachesTheCaller) {
    FailingListing failing(*m_fs, path("gone"));
    EXPECT_THROW(walk("gone", "*", &failing), std::runtime_error);
}

TEST_F(TempTree, DropExpandsFoldersInPlaceAndListsEverythingElseAsGiven) {
    file("one.ppt");
    file("F/x.odp");
    file("F/~lock.odp");
    file("F/G/y.bin");
    file(".hid/z.ppt");
    folder("Empty");
    // A hidden folder is one row of its own (hidden by its name off Windows).
    const std::string hidden = onWindows() ? path("Empty") : path(".hid");
    const std::vector<std::string> items{path("F"),     path("one.ppt"),     hidden,
                                         path("Empty"), path("missing.ppt"), path("F")};
    std::vector<std::string> expected{path("F/x.odp"),     path("F/G/y.bin"), path("one.ppt"),
                                      path("missing.ppt"), path("F/x.odp"),   path("F/G/y.bin")};
    if (!onWindows())
        expected.insert(expected.begin() + 3, hidden);
    EventPump pump([] {});
    EXPECT_EQ(expandDroppedItems(items, *m_fs, pump), expected);
}

TEST(EventPumpTest, CallsAtMostOncePerInterval) {
    int calls = 0;
    EventPump pump([&] { ++calls; }, std::chrono::hours(1));
    for (int i = 0; i < 1000; ++i)
        pump();
    EXPECT_EQ(calls, 1);
}
