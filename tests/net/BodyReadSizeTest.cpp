// The size of body reads: it grows while reads come back full, never past its bound, and
// falls back while they come back short, never below its floor.
#include <vector>

#include <gtest/gtest.h>

#include "net/BodyReadSize.h"

TEST(BodyReadSize, GrowsWhileReadsComeBackFullAndShrinksWhenTheyComeBackShort) {
    lumi::BodyReadSize size;
    std::vector<int> asked;
    for (int i = 0; i < 8; ++i) { // a fast link: every read fills what it asked for
        asked.push_back(size.next());
        size.after(size.next());
    }
    EXPECT_EQ(asked, (std::vector<int>{8192, 16384, 32768, 65536, 131072, 262144, 262144, 262144}));
    size.after(200000); // short, but more than half: kept
    EXPECT_EQ(size.next(), lumi::maxBodyRead);
    for (const int expected : {131072, 65536, 32768, 16384, 8192, 8192}) {
        size.after(100); // a trickle
        EXPECT_EQ(size.next(), expected);
    }
}
