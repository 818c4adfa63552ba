#include "analysis/TextWalk.h"

#include <random>

#include <gtest/gtest.h>

#include "base/TextOps.h"

TEST(TextWalk, LowerIntoMatchesTheClassicLowerCasingForEveryByteAndLength) {
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    std::string out = "previous contents";
    for (size_t start = 0; start < 9; ++start) {
        const std::string_view text = std::string_view(all).substr(start);
        lumi::lowerInto(text, out);
        EXPECT_EQ(out, lumi::textLower(text)) << "from byte " << start;
    }
    lumi::lowerInto("", out);
    EXPECT_EQ(out, "");
}

TEST(TextWalk, FindAnyCaseAgreesWithTheClassicSearch) {
    std::mt19937 random(7);
    const std::string alphabet = "<aA/.jJpPgG>x";
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        for (size_t n = random() % 24; n > 0; --n)
            text += alphabet[random() % alphabet.size()];
        for (const char* marker : {"<a", "/a", "</a", ".jpg"}) {
            const size_t from = random() % (text.size() + 2);
            const std::string_view rest =
                from <= text.size() ? std::string_view(text).substr(from) : "";
            const int classic = lumi::textPosAnyCase(marker, rest);
            const size_t found = lumi::findAnyCase(text, marker, from);
            ASSERT_EQ(found == std::string_view::npos ? 0 : static_cast<int>(found - from) + 1,
                      classic)
                << marker << " in " << text << " from " << from;
        }
    }
}

TEST(TextWalk, ForwardFinderGivesTheFirstHitAtOrAfterEachPosition) {
    lumi::ForwardFinder finder("xa.jpg..JPG.jpg", ".jpg", lumi::ForwardFinder::Case::Any);
    EXPECT_EQ(finder.next(0), 2u);
    EXPECT_EQ(finder.next(2), 2u);
    EXPECT_EQ(finder.next(3), 7u);
    EXPECT_EQ(finder.next(8), 11u);
    EXPECT_EQ(finder.next(12), std::string_view::npos);
    EXPECT_EQ(finder.next(100), std::string_view::npos);
    lumi::ForwardFinder exact("a.JPG.jpg", ".jpg");
    EXPECT_EQ(exact.next(0), 5u);
}
