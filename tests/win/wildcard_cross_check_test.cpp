#include <gtest/gtest.h>

#include <set>

#include "core/wildcard.h"
#include "win_test_support.h"

using namespace velloran;

namespace {

// Our matcher against FindFirstFile over every stem with every extension: no
// dot, several dots, three-letter extensions and longer ones that begin with
// them, upper case. Wine's short aliases keep four characters of the base and
// a hash ("DECK~A1B.PPT") where Windows keeps six and a number ("DECK1~1.PPT"),
// so the table leaves out patterns that look at an alias's base past its
// fourth character, such as "*1.ppt".
TEST(WildcardCrossCheck, OurMatcherAgreesWithFindFirstFile) {
    fakes::WinTempFolder tmp;
    std::vector<std::string> names;
    for (const char *stem : {"deck", "Deck1", "a.b", "longer name"})
        for (const char *ext : {"", ".ppt", ".pptx", ".PPTM", ".pp", ".txt", ".txt.bak", ".p"})
            fakes::writeFile(tmp / names.emplace_back(std::string(stem) + ext));
    for (const char *pattern :
         {"*", "*.*", "*.ppt", "*.PPT", "*.pptx", "*.pp", "*.p", "*.txt", "*.p*", "deck.*", "a.*",
          "*.b*", "deck?.ppt", "Deck?.ppt", "?eck.ppt", "deck*.ppt", "a.b.*", "*.bak"}) {
        std::set<std::string> ours, windows;
        for (const auto &name : names)
            if (wildcardMatch(pattern, name))
                ours.insert(name);
        WIN32_FIND_DATAW data;
        const HANDLE h = FindFirstFileW(toWide(tmp / pattern).c_str(), &data);
        for (bool more = h != INVALID_HANDLE_VALUE; more; more = FindNextFileW(h, &data))
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                windows.insert(toUtf8(data.cFileName));
        if (h != INVALID_HANDLE_VALUE)
            FindClose(h);
        EXPECT_EQ(ours, windows) << "pattern " << pattern;
    }
}

} // namespace
