#include "base/TextOps.h"

#include <utility>

#include <gtest/gtest.h>

#include "base/Latin1.h"

using namespace lumi;

TEST(TextOps, PosCountsFromOneAndGivesZeroWhenAbsentOrEmpty) {
    EXPECT_EQ(textPos("b", "abc"), 2);
    EXPECT_EQ(textPos("abc", "abc"), 1);
    EXPECT_EQ(textPos("x", "abc"), 0);
    EXPECT_EQ(textPos("", "abc"), 0);
    EXPECT_EQ(textPos("a", ""), 0);
    EXPECT_EQ(textPos("B", "abc"), 0) << "exact comparison";
    EXPECT_EQ(textPosAnyCase("HREF", "<a Href="), 4);
}

TEST(TextOps, LowerCasingTouchesOnlyAToZ) {
    const std::string in = "AZaz09\xC4\xE4[@`{";
    EXPECT_EQ(textLower(in), std::string("azaz09\xC4\xE4[@`{"));
    EXPECT_EQ(textLower(in).size(), in.size());
}

TEST(TextOps, CopyFollowsTheOutOfRangeRules) {
    EXPECT_EQ(textCopy("abcdef", 2, 3), "bcd");
    EXPECT_EQ(textCopy("abcdef", 0, 2), "ab") << "index below 1 is taken as 1, count unchanged";
    EXPECT_EQ(textCopy("abcdef", -5, 2), "ab");
    EXPECT_EQ(textCopy("abcdef", 7, 1), "");
    EXPECT_EQ(textCopy("abcdef", 2, -1), "");
    EXPECT_EQ(textCopy("abcdef", 4, 100), "def");
    EXPECT_EQ(textCopy("", 1, 1), "");
}

TEST(TextOps, DeleteFollowsTheOutOfRangeRules) {
    auto del = [](std::string s, int64_t i, int64_t n) {
        textDelete(s, i, n);
        return s;
    };
    EXPECT_EQ(del("abcdef", 2, 2), "adef");
    EXPECT_EQ(del("abcdef", 0, 2), "abcdef");
    EXPECT_EQ(del("abcdef", 7, 2), "abcdef");
    EXPECT_EQ(del("abcdef", 2, 0), "abcdef");
    EXPECT_EQ(del("abcdef", 2, -3), "abcdef");
    EXPECT_EQ(del("abcdef", 5, 99), "abcd");
}

TEST(TextOps, TrimRemovesCodesZeroToThirtyTwoAtBothEnds) {
    EXPECT_EQ(textTrim(std::string("\0\t a b \r\n\x1f", 10)), "a b");
    EXPECT_EQ(textTrim("   "), "");
    EXPECT_EQ(textTrim("\x7f" "a"), "\x7f" "a");
}

TEST(TextOps, FileExtensionComesFromTheLastDotBackslashOrColon) {
    EXPECT_EQ(textFileExt("pic.JPG"), ".JPG");
    EXPECT_EQ(textFileExt("a.b\\c"), "");
    EXPECT_EQ(textFileExt("c:name"), "");
    EXPECT_EQ(textFileExt("dir.x/file"), ".x/file") << "the slash is not a separator here";
    EXPECT_EQ(textFileExt("none"), "");
}

TEST(TextOps, IntegersReadAsTheSettingsStoreReadsThem) {
    int32_t v = 0;
    EXPECT_TRUE(parseInteger("0x14", v));
    EXPECT_EQ(v, 20);
    EXPECT_TRUE(parseInteger("0XfF", v));
    EXPECT_EQ(v, 255);
    EXPECT_TRUE(parseInteger("-17", v));
    EXPECT_EQ(v, -17);
    EXPECT_TRUE(parseInteger("+5", v));
    EXPECT_EQ(v, 5);
    EXPECT_TRUE(parseInteger("2147483647", v));
    EXPECT_TRUE(parseInteger("-2147483648", v));
    EXPECT_EQ(v, INT32_MIN);
    v = 7;
    for (const char* bad : {"", "abc", "0x", "0xg1", "2147483648", "1 ", " 1", "-", "12a", "0x100000000"}) {
        EXPECT_FALSE(parseInteger(bad, v)) << bad;
        EXPECT_EQ(v, 7) << "a failed read leaves the value alone";
    }
    EXPECT_EQ(incrementCounterText("41"), "42");
    EXPECT_THROW(incrementCounterText("Label9"), std::invalid_argument);
}

TEST(TextOps, ReplaceAllAndCaseInsensitiveEquality) {
    EXPECT_EQ(textReplaceAll("a b  c", " ", "+"), "a+b++c");
    EXPECT_EQ(textReplaceAll("aaa", "aa", "b"), "ba");
    EXPECT_TRUE(textSameAnyCase("HTTP://Host/A.JPG", "http://host/a.jpg"));
    EXPECT_FALSE(textSameAnyCase("\xC4", "\xE4"));
}

// A service's UTF-8 words reach the screen as written; 8-bit text that is no UTF-8 stays Latin-1.
TEST(TextOps, ShownTextIsUtf8WhenItIsUtf8) {
    const std::pair<std::string, QString> cases[] = {
        {"Z\xc3\xb6" "e \xe2\x80\x94 ok", QStringLiteral("Z\u00f6e \u2014 ok")},
        {"caf\xe9", QStringLiteral("caf\u00e9")},
        {"", QString()},
    };
    for (const auto& [bytes, shown] : cases)
        EXPECT_EQ(lumi::shownText(bytes), shown) << bytes;
}
