#include <gtest/gtest.h>

#include "core/wildcard.h"

using velloran::WildcardMatch;

TEST(Wildcard, StarAndStarDotStarMatchEverything) {
    for (const char *name : {"deck.pptx", "README", ".hidden", "a.b.c"}) {
        EXPECT_TRUE(WildcardMatch("*", name)) << name;
        EXPECT_TRUE(WildcardMatch("*.*", name)) << name;
    }
}

TEST(Wildcard, ExtensionPatternsIgnoreCase) {
    EXPECT_TRUE(WildcardMatch("*.txt", "notes.txt"));
    EXPECT_TRUE(WildcardMatch("*.txt", "NOTES.TXT"));
    EXPECT_FALSE(WildcardMatch("*.txt", "notes.txt.bak"));
    EXPECT_FALSE(WildcardMatch("*.txt", "txt"));
    EXPECT_TRUE(WildcardMatch("*.p*", "deck.pptx"));
    EXPECT_TRUE(WildcardMatch("*.p*", "deck.odp.pdf"));
    EXPECT_FALSE(WildcardMatch("*.p*", "deck.odp"));
}

TEST(Wildcard, ThreeLetterExtensionAlsoSeesLongerOnesLikeShortNamesDo) {
    EXPECT_TRUE(WildcardMatch("*.ppt", "deck.ppt"));
    EXPECT_TRUE(WildcardMatch("*.ppt", "deck.pptx"));
    EXPECT_TRUE(WildcardMatch("*.ppt", "Deck.PPTM"));
    EXPECT_FALSE(WildcardMatch("*.ppt", "deck.pp"));
    EXPECT_FALSE(WildcardMatch("*.ppt", "deck.odp"));
    // Only three-letter extensions have short-name twins.
    EXPECT_FALSE(WildcardMatch("*.pp", "deck.ppt"));
    EXPECT_FALSE(WildcardMatch("*.pptx", "deck.pptxx"));
}

TEST(Wildcard, QuestionMarkAndTrailingDotStar) {
    EXPECT_TRUE(WildcardMatch("deck?.ppt", "deck1.ppt"));
    EXPECT_FALSE(WildcardMatch("deck?.ppt", "deck.ppt"));
    EXPECT_TRUE(WildcardMatch("deck.*", "deck"));
    EXPECT_TRUE(WildcardMatch("deck.*", "deck.odp"));
}
