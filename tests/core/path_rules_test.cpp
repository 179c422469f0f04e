#include <gtest/gtest.h>

#include "core/path_rules.h"
#include "temp_folder.h"

using namespace velloran;
constexpr auto P = &fakes::NativePath;

TEST(PathRules, FileNameFromPath) {
    EXPECT_EQ(FileNameFromPath(P("/data/talk.pptx")), "talk.pptx");
    EXPECT_EQ(FileNameFromPath("talk.pptx"), "talk.pptx");
    EXPECT_EQ(FileNameFromPath(P("/data/")), "");
}

TEST(PathRules, GetExtension) {
    EXPECT_EQ(GetExtension("talk.pptx"), "pptx");
    EXPECT_EQ(GetExtension("a.b.c"), "c");
    EXPECT_EQ(GetExtension("README"), "README");
    EXPECT_EQ(GetExtension("deck."), "");
    EXPECT_EQ(GetExtension(P("/Rel 1.2/notes")), P("2/notes"));
}

TEST(PathRules, OutputNameComesFromTheFileNameAlone) {
    const std::string out = P("/out");
    EXPECT_EQ(OutputPathFor(P("/in/Q1 review.pptx"), out + kSep, true), P("/out/Q1 review.htm"));
    EXPECT_EQ(OutputPathFor(P("/in/Q1 review.pptx"), out, false), P("/out/Q1 review.html"));
    EXPECT_EQ(OutputPathFor(P("/in/a.b.pptx"), out, true), P("/out/a.b.htm"));
    EXPECT_EQ(OutputPathFor(P("/in/DECK.PPT"), out, true), P("/out/DECK.htm"));
    EXPECT_EQ(OutputPathFor(P("/in/deck"), out, true), P("/out/deck.htm"));
    // A dot in a folder name no longer names the page after the folder.
    EXPECT_EQ(OutputPathFor(P("/Rel 1.2/notes"), out, true), P("/out/notes.htm"));
    // Only the final extension is replaced.
    EXPECT_EQ(OutputPathFor(P("/in/deck.ppt.ppt"), out, true), P("/out/deck.ppt.htm"));
}

TEST(PathRules, OutputFolderSeparators) {
    // With or without a trailing separator: the same page.
    EXPECT_EQ(OutputPathFor("x.ppt", P("/out/"), true), OutputPathFor("x.ppt", P("/out"), true));
    // An empty folder gives a path from the root.
    EXPECT_EQ(OutputPathFor("x.ppt", "", true), P("/x.htm"));
    // Three separators become two, four become two: one pass, no rescan.
    EXPECT_EQ(CollapseDoubledSeparators(P("a///b"), false), P("a//b"));
    EXPECT_EQ(CollapseDoubledSeparators(P("a////b"), false), P("a//b"));
    // A network share keeps its leading pair; pairs after it collapse.
    EXPECT_EQ(OutputPathFor("x.ppt", P("//server/share/"), true), P("//server/share/x.htm"));
    EXPECT_EQ(OutputPathFor("x.ppt", P("//server/share//sub"), true),
              P("//server/share/sub/x.htm"));
    // A root folder is not mistaken for a share.
    EXPECT_EQ(OutputPathFor("x.ppt", P("/"), true), P("/x.htm"));
}

TEST(PathRules, RootSeparatorCollapse) {
#ifdef _WIN32
    EXPECT_EQ(CollapseRootSeparator("D:\\\\deck.ppt"), "D:\\deck.ppt");
    EXPECT_EQ(CollapseRootSeparator("D:\\x\\deck.ppt"), "D:\\x\\deck.ppt");
#else
    EXPECT_EQ(CollapseRootSeparator("//deck.ppt"), "/deck.ppt");
    EXPECT_EQ(CollapseRootSeparator("/x//deck.ppt"), "/x//deck.ppt");
#endif
}

TEST(PathRules, DesktopFolderEndsInOneSeparator) {
    EXPECT_EQ(GetDesktopFolder(P("/home/zoë/Schreibtisch"), P("/home/zoë")),
              P("/home/zoë/Schreibtisch/"));
    // No desktop known: the home folder stands in.
    EXPECT_EQ(GetDesktopFolder("", P("/home/zoë")), P("/home/zoë/"));
}

TEST(PathRules, CenterForm) {
    const Point p = CenterForm(1920, 1080, 536, 449);
    EXPECT_DOUBLE_EQ(p.x, 692);
    EXPECT_DOUBLE_EQ(p.y, 315.5);
    const Point big = CenterForm(400, 300, 536, 449);
    EXPECT_LT(big.x, 0);
    EXPECT_LT(big.y, 0);
}
