#include "base/StringList.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/TextOps.h"

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
    for (const std::string& entry : list)
        joined += entry + ",";
    EXPECT_EQ(joined, "y,x,http://h/a.jpg,");
}

// Queue-like churn: adds at the back, removals at the front and in the middle, replacements,
// through several growths and clean-ups of the index, checked against a plain model.
TEST(StringList, ChurnKeepsEveryEntryFindableAndNothingElse) {
    lumi::StringList list;
    std::vector<std::string> model;
    std::mt19937 random(42);
    auto name = [&] { return "http://h/" + std::to_string(random() % 3000) + ".JPG"; };
    for (int step = 0; step < 40000; ++step) {
        const unsigned what = random() % 10;
        if (what < 5 || model.empty()) {
            std::string text = name();
            list.add(text);
            model.push_back(text);
        } else if (what < 7) {
            list.removeFirst();
            model.erase(model.begin());
        } else if (what < 8) {
            const size_t i = random() % model.size();
            list.removeAt(i);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            const size_t i = random() % model.size();
            model[i] = name();
            list.set(i, model[i]);
        }
        const std::string probe = lumi::textLower(name());
        const bool inModel = std::any_of(model.begin(), model.end(), [&](const std::string& m) {
            return lumi::textSameAnyCase(m, probe);
        });
        ASSERT_EQ(list.contains(probe), inModel) << "step " << step;
    }
    ASSERT_EQ(list.size(), model.size());
    for (size_t i = 0; i < model.size(); ++i)
        ASSERT_EQ(list[i], model[i]);
}
