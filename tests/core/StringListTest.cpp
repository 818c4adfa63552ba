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

TEST(StringList, EqualEntriesInOtherCaseAreRemovedOneByOneAndAddUniqueRefusesThem) {
    lumi::StringList list;
    EXPECT_TRUE(list.addUnique("http://h/A.jpg"));
    EXPECT_FALSE(list.addUnique("HTTP://H/a.JPG"));
    list.add("http://h/a.jpg"); // add keeps duplicates
    list.add("x");
    ASSERT_EQ(list.size(), 3u);

    list.removeAt(1); // the middle one of two equal entries goes, its text with it
    EXPECT_EQ(list[0], "http://h/A.jpg");
    EXPECT_EQ(list[1], "x");
    EXPECT_TRUE(list.contains("http://h/a.jpg"));
    list.set(0, "y");
    EXPECT_FALSE(list.contains("http://h/a.jpg"));
    EXPECT_TRUE(list.addUnique("http://h/a.jpg"));

    std::string joined;
    for (const std::string& entry : list) joined += entry + ",";
    EXPECT_EQ(joined, "y,x,http://h/a.jpg,");
}
