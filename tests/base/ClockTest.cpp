#include "base/Clock.h"

#include <set>

#include <gtest/gtest.h>

TEST(Clock, InjectedTickSourceAndWrappingElapsedTime) {
    uint32_t now = 0xFFFFFFF0u;
    lumi::setTickSource([&] { return now; });
    EXPECT_EQ(lumi::tickCount(), 0xFFFFFFF0u);
    const uint32_t start = lumi::tickCount();
    now = 0x10u; // wrapped
    EXPECT_EQ(lumi::ticksSince(start, lumi::tickCount()), 0x20u);
    lumi::setTickSource({});
    const uint32_t a = lumi::tickCount();
    const uint32_t b = lumi::tickCount();
    EXPECT_LE(lumi::ticksSince(a, b), 1000u);
}

TEST(Clock, SeededGeneratorRepeatsAndStaysInRange) {
    lumi::setRandomSeed(7);
    const int32_t first = lumi::randomBelow(2147483647);
    lumi::setRandomSeed(7);
    EXPECT_EQ(lumi::randomBelow(2147483647), first);
    std::set<int32_t> seen;
    for (int i = 0; i < 1000; ++i) {
        const int32_t v = lumi::randomBelow(100);
        ASSERT_GE(v, 0);
        ASSERT_LT(v, 100);
        seen.insert(v);
    }
    EXPECT_GT(seen.size(), 90u);
}

TEST(Clock, RoundsHalvesToEven) {
    EXPECT_EQ(lumi::roundHalfEven(2.5), 2);
    EXPECT_EQ(lumi::roundHalfEven(3.5), 4);
    EXPECT_EQ(lumi::roundHalfEven(-2.5), -2);
    EXPECT_EQ(lumi::roundHalfEven(-3.5), -4);
    EXPECT_EQ(lumi::roundHalfEven(2.4999), 2);
    EXPECT_EQ(lumi::roundHalfEven(2.5001), 3);
    EXPECT_EQ(lumi::roundHalfEven(0.0), 0);
}
