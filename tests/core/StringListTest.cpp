#include "core/StringList.h"

#include <gtest/gtest.h>

TEST(StringList, WholeEntrySearchIgnoresAsciiCaseOnly) {
    lumi::StringList list;
    list.add("http://Host/A.jpg");
    list.add("http://host/b.jpg");
    EXPECT_TRUE(list.contains("HTTP://HOST/a.JPG"));
    EXPECT_EQ(list.indexOf("http://HOST/B.JPG"), 1);
    EXPECT_FALSE(list.contains("http://host/a.jp")) << "whole entries only";
    EXPECT_EQ(list.indexOf("missing"), -1);

    list.add("\xC4");
    EXPECT_FALSE(list.contains("\xE4"));
}

TEST(StringList, IndexFollowsRemovalsReplacementsAndDuplicates) {
    lumi::StringList list;
    list.add("a");
    list.add("A");
    list.removeFirst();
    EXPECT_TRUE(list.contains("a")) << "one of two equal entries remains";
    list.set(0, "b");
    EXPECT_FALSE(list.contains("a"));
    EXPECT_TRUE(list.contains("B"));
    list.clear();
    EXPECT_FALSE(list.contains("b"));
    EXPECT_TRUE(list.empty());
}
