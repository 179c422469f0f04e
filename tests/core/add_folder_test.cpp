#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/add_folder.h"
#include "core/path_rules.h"
#include "temp_folder.h"

using namespace velloran;
namespace fs = std::filesystem;

namespace {

using Rows = std::vector<std::string>;

Rows sorted(Rows rows) {
    std::sort(rows.begin(), rows.end());
    return rows;
}

// Windows marks hidden files with an attribute, has no directory links under
// Wine, and lists in the volume's own order: those cases are POSIX only here.
class TempTree : public ::testing::Test {
protected:
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
    Rows walk(const std::string &rel, const std::string &pattern, FileSystem *fs = nullptr) {
        return treeFiles(path(rel), pattern, true, fs ? *fs : *m_fs, m_pump);
    }

    fakes::TempFolder m_temp;
    fs::path m_root = m_temp.path();
    std::unique_ptr<FileSystem> m_fs = makeNativeFileSystem();
    EventPump m_pump{[] {}};
    const bool m_windows = kNativePaths.windows;
};

} // namespace

TEST_F(TempTree, WalkSkipsTildeNamesFoldersAndHiddenFolders) {
    for (const char *name :
         {"R/noext", "R/~$lock.pptx", "R/deck~1.pptx", "R/A/~temp.ppt", "R/A/c.ppt"})
        file(name);
    fs::create_directories(at("R/dir.txt"));
    Rows all{path("R/noext"), path("R/deck~1.pptx"), path("R/A/c.ppt")};
    if (!m_windows) { // hidden by its name: a file is listed, a folder not entered
        file("R/.hidden.ppt");
        file("R/.secret/inner.ppt");
        file("R/Why?/inside.ppt"); // "?" is an ordinary character here
        all.push_back(path("R/.hidden.ppt"));
        all.push_back(path("R/Why?/inside.ppt"));
    }
    EXPECT_EQ(sorted(walk("R", "*.*")), sorted(all));
}

TEST_F(TempTree, ListingComparesNamesUpperCased) {
    if (m_windows)
        GTEST_SKIP() << "the volume's own order";
    // Upper-cased, "[", "^", "_" and "~" come after "Z"; non-ASCII after those,
    // upper-cased too: "\u00e9a" before "\u00c9b".
    for (const char *name : {"\u00C9b", "\u00E9a", "~lock", "_b", "^d", "[c]", "Z", "e", "B", "a"})
        file(std::string("R/") + name);
    EXPECT_EQ(listFilesInFolder(path("R"), "*.*", *m_fs),
              (Rows{"a", "B", "e", "Z", "[c]", "^d", "_b", "~lock", "\u00E9a", "\u00C9b"}));
}

TEST_F(TempTree, LinkLoopsAreWalkedOnce) {
    if (m_windows)
        GTEST_SKIP() << "no directory links under Wine";
    file("R/A/a.txt");
    file("S/s.txt");
    fs::create_directory_symlink(m_root / "R", m_root / "R/A/back");  // loops to the top
    fs::create_directory_symlink(m_root / "R/A", m_root / "R/alias"); // a second way into A
    fs::create_directory_symlink(m_root / "S", m_root / "R/toS");     // a link out of the tree
    EXPECT_EQ(walk("R", "*"), (Rows{path("R/A/a.txt"), path("R/toS/s.txt")}));
}
