#include <gtest/gtest.h>

#include "core/path_rules.h"
#include "core/text.h"
#include "core/wildcard.h"
#include "temp_folder.h"

using namespace velloran;

namespace {

constexpr auto in = &fakes::inStyle;

class BothStyles : public ::testing::TestWithParam<PathStyle> {};

} // namespace

TEST_P(BothStyles, NamesAndFoldersEndingInOneSeparator) {
    const PathStyle s = GetParam();
    EXPECT_EQ(fileNameOf(in(s, "/data/talk.pptx"), s), "talk.pptx");
    EXPECT_EQ(fileNameOf("talk.pptx", s), "talk.pptx");
    EXPECT_EQ(fileNameOf(in(s, "/data/"), s), "");
    // The other style's separator is an ordinary character.
    EXPECT_EQ(fileNameOf(s.windows ? "a/b.ppt" : "a\\b.ppt", s),
              s.windows ? "a/b.ppt" : "a\\b.ppt");
    EXPECT_EQ(desktopFolderOf(in(s, "/home/zoë/Schreibtisch"), in(s, "/home/zoë"), s),
              in(s, "/home/zoë/Schreibtisch/"));
    EXPECT_EQ(desktopFolderOf("", in(s, "/home/zoë"), s), in(s, "/home/zoë/"));
    EXPECT_EQ(withTrailingSeparator(in(s, "/srv/out"), s), in(s, "/srv/out/"));
    EXPECT_EQ(withTrailingSeparator(in(s, "/"), s), in(s, "/"));
}

TEST_P(BothStyles, OutputPageComesFromTheFileNameAlone) {
    const PathStyle s = GetParam();
    const struct {
        const char *input, *folder;
        bool htm;
        const char *page;
    } cases[] = {
        {"/in/Q1 review.pptx", "/out/", false, "/out/Q1 review.html"},
        {"/in/a.b.pptx", "/out", true, "/out/a.b.htm"},
        {"/in/deck", "/out", true, "/out/deck.htm"},
        {"/Rel 1.2/notes", "/out", true, "/out/notes.htm"},
        {"x.ppt", "", true, "/x.htm"},
        {"x.ppt", "/", true, "/x.htm"},            // a root is no network share
        {"x.ppt", "/a////b", true, "/a//b/x.htm"}, // one pass: four become two
        {"x.ppt", "//server/share/", true, "//server/share/x.htm"},
        {"x.ppt", "//server/share//sub", true, "//server/share/sub/x.htm"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(outputPathFor(in(s, c.input), in(s, c.folder), c.htm, s), in(s, c.page))
            << c.input << " into " << c.folder;
}

INSTANTIATE_TEST_SUITE_P(PathRules, BothStyles, ::testing::Values(kPosixPaths, kWindowsPaths),
                         [](const auto &info) {
                             return std::string(info.param.windows ? "Windows" : "Posix");
                         });

TEST(PathRules, RootSeparatorCollapsesOnlyAtTheRoot) {
    EXPECT_EQ(collapseRootSeparator("D:\\\\deck.ppt", kWindowsPaths), "D:\\deck.ppt");
    EXPECT_EQ(collapseRootSeparator("//deck.ppt", kPosixPaths), "/deck.ppt");
    EXPECT_EQ(collapseRootSeparator("/x//deck.ppt", kPosixPaths), "/x//deck.ppt");
}

TEST(Wildcard, MatchesAsWindowsListingsDo) {
    const struct {
        const char *pattern, *name;
        bool match;
    } cases[] = {
        {"*.*", "README", true},          {"*.*", ".hidden", true},
        {"*.txt", "NOTES.TXT", true},     {"*.txt", "notes.txt.bak", false},
        {"*.txt", "txt", false},          {"*.p*", "deck.odp.pdf", true},
        {"*.p*", "deck.odp", false},      {"*.ppt", "deck.pptx", true}, // short 8.3 twin
        {"*.ppt", "deck.pp", false},      {"*.pp", "deck.ppt", false},
        {"deck?.ppt", "deck1.ppt", true}, {"deck?.ppt", "deck.ppt", false},
        {"deck.*", "deck", true},
    };
    for (const auto &c : cases)
        EXPECT_EQ(wildcardMatch(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
}

TEST(Text, Utf8IsCheckedStrictly) {
    const std::pair<std::string, bool> cases[] = {
        {"plain.pptx", true},      {"\xC3\xA9t\xC3\xA9 \xE6\x97\xA5 \xF0\x9F\x98\x80", true},
        {"bad\xFF\xFEutf", false}, {"\xC0\xAF", false},         // overlong '/'
        {"\xED\xA0\x80", false},   {"\xF4\x90\x80\x80", false}, // surrogate, past U+10FFFF
        {"cut \xE6\x97", false},
    };
    for (const auto &[text, valid] : cases)
        EXPECT_EQ(isValidUtf8(text), valid) << text;
}
