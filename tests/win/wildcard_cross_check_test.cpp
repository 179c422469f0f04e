#include <gtest/gtest.h>

#include <windows.h>

#include <set>

#include "core/wildcard.h"
#include "platform/wide_string_win.h"
#include "win_test_support.h"

using namespace velloran;

namespace {

// Every stem with every extension: no dot, several dots, three-letter
// extensions and longer ones that begin with them, upper case.
std::vector<std::string> generatedNames() {
    std::vector<std::string> names;
    for (const char *stem : {"deck", "Deck1", "a.b", "longer name"})
        for (const char *ext : {"", ".ppt", ".pptx", ".PPTM", ".pp", ".txt", ".txt.bak", ".p"})
            names.push_back(std::string(stem) + ext);
    return names;
}

std::set<std::string> listedByWindows(const std::string &folder, const std::string &pattern) {
    std::set<std::string> found;
    WIN32_FIND_DATAW data;
    const HANDLE h = FindFirstFileW(toWide(folder + "\\" + pattern).c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return found;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            found.insert(toUtf8(data.cFileName));
    } while (FindNextFileW(h, &data));
    FindClose(h);
    return found;
}

// Wine's short aliases keep four characters of the base and a hash
// ("DECK~A1B.PPT") where Windows keeps six and a number ("DECK1~1.PPT"), so
// the table leaves out patterns that look at an alias's base past its fourth
// character, such as "*1.ppt".
TEST(WildcardCrossCheck, OurMatcherAgreesWithFindFirstFile) {
    fakes::WinTempFolder tmp;
    const auto names = generatedNames();
    for (const auto &name : names)
        fakes::writeFile(tmp / name);
    for (const char *pattern :
         {"*", "*.*", "*.ppt", "*.PPT", "*.pptx", "*.pp", "*.p", "*.txt", "*.p*", "deck.*", "a.*",
          "*.b*", "deck?.ppt", "Deck?.ppt", "?eck.ppt", "deck*.ppt", "a.b.*", "*.bak"}) {
        std::set<std::string> ours;
        for (const auto &name : names)
            if (wildcardMatch(pattern, name))
                ours.insert(name);
        EXPECT_EQ(ours, listedByWindows(toUtf8(tmp.path().wstring()), pattern))
            << "pattern " << pattern;
    }
}

} // namespace
