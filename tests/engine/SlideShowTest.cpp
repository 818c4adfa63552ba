#include "engine/SlideShow.h"

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A slide show whose pause runs on a test clock that the test moves on by hand; fetches,
// shown and removed files are recorded with the time they happened.
class SlideShowTest : public testing::Test {
protected:
    lumi::SlideShow::Hooks hooks() {
        return {
            .fetch = [this](const std::string& address,
                            const std::string& name) { fetched.emplace_back(address, name); },
            .show = [this](const std::string& file) { shown.emplace_back(file, now); },
            .showFailure = [this](const std::string& reason) { shown.emplace_back(reason, now); },
            .remove = [this](const std::string& file) { removed.push_back(file); },
            .pausing = [this] { return pauseEnds.has_value(); },
            .startPause = [this] { pauseEnds = now + pauseMs; },
            .stopPause = [this] { pauseEnds.reset(); },
        };
    }

    // Moves the clock on; a pause that runs out meanwhile ends as the window's timer would.
    void advanceTo(uint32_t when) {
        if (pauseEnds && *pauseEnds <= when) {
            now = *pauseEnds;
            pauseEnds.reset();
            show->pauseOver();
        }
        now = when;
    }

    void select(std::initializer_list<const char*> addresses) {
        viewList.clear();
        for (const char* address : addresses)
            viewList.add(address);
    }

    uint32_t now = 0;
    uint32_t pauseMs = 10000;
    std::optional<uint32_t> pauseEnds;
    std::vector<std::pair<std::string, std::string>> fetched;
    std::vector<std::pair<std::string, uint32_t>> shown;
    std::vector<std::string> removed;
    lumi::StringList viewList;
    std::optional<lumi::SlideShow> show{std::in_place, viewList, hooks()};
};

TEST_F(SlideShowTest, EachPictureComesNoEarlierThanThePauseAfterThePreviousAndTheLastStays) {
    select({"http://h/a.jpg", "http://h/b.jpg", "http://h/c.jpg"});
    show->StartSlideShow();
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_EQ(fetched[0].first, "http://h/a.jpg");
    EXPECT_EQ(fetched[0].second, "a.jpg");

    advanceTo(2000);
    show->pictureArrived("/s/a.jpg"); // shown at once: no pause is running
    ASSERT_EQ(fetched.size(), 2u);    // b is fetched while a is on screen
    advanceTo(3000);
    show->pictureArrived("/s/b.jpg"); // early: held until the pause runs out
    EXPECT_EQ(shown.size(), 1u);
    advanceTo(12500);
    ASSERT_EQ(fetched.size(), 3u);
    advanceTo(30000);
    show->pictureArrived("/s/c.jpg"); // late: shown as it arrives
    advanceTo(60000);

    const std::vector<std::pair<std::string, uint32_t>> expected = {
        {"/s/a.jpg", 2000}, {"/s/b.jpg", 12000}, {"/s/c.jpg", 30000}};
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(removed, (std::vector<std::string>{"/s/a.jpg", "/s/b.jpg", "/s/c.jpg"}));
    EXPECT_EQ(fetched.size(), 3u); // nothing after the last, which stays on screen
    EXPECT_TRUE(viewList.empty());
}

TEST_F(SlideShowTest, StopWhileTheFirstSlideIsInTransferShowsNothingAndRemovesItsFile) {
    select({"http://h/a.jpg", "http://h/b.jpg"});
    show->StartSlideShow();
    pauseEnds = 500; // a pause still running from before
    show->Stop();
    EXPECT_TRUE(viewList.empty());
    show->pictureArrived("/s/a.jpg");
    EXPECT_TRUE(shown.empty());
    EXPECT_FALSE(pauseEnds.has_value());
    EXPECT_EQ(removed, std::vector<std::string>{"/s/a.jpg"});
    EXPECT_EQ(fetched.size(), 1u);
}

TEST_F(SlideShowTest, StopDropsTheHeldPictureAndEndsThePause) {
    select({"http://h/a.jpg", "http://h/b.jpg", "http://h/c.jpg"});
    show->StartSlideShow();
    show->pictureArrived("/s/a.jpg");
    show->pictureArrived("/s/b.jpg");
    show->Stop();
    EXPECT_FALSE(pauseEnds.has_value());
    advanceTo(20000);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(removed, (std::vector<std::string>{"/s/a.jpg", "/s/b.jpg"}));
    EXPECT_EQ(fetched.size(), 2u);
}

TEST_F(SlideShowTest, NewShowTakesAPictureOfAStoppedOneThatWasStillInTransfer) {
    select({"http://h/old.jpg", "http://h/old2.jpg"});
    show->StartSlideShow();
    show->Stop();
    select({"http://h/x.jpg", "http://h/y.jpg", "http://h/z.jpg"});
    show->StartSlideShow();
    show->pictureArrived("/s/old.jpg");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].first, "/s/old.jpg");
    // It moved the new show on by one: x is dropped from the list and y is fetched.
    EXPECT_EQ(viewList.front(), "http://h/y.jpg");
    EXPECT_EQ(fetched.back().second, "y.jpg");
}

TEST_F(SlideShowTest, PictureStillHeldWhenTheShowGoesIsRemoved) {
    select({"http://h/a.jpg", "http://h/b.jpg"});
    show->StartSlideShow();
    show->pictureArrived("/s/a.jpg");
    show->pictureArrived("/s/b.jpg");
    show.reset();
    EXPECT_EQ(removed, (std::vector<std::string>{"/s/a.jpg", "/s/b.jpg"}));
}

// A pause of no length (Wait 0 or below) shows each picture as soon as it arrives.
TEST_F(SlideShowTest, ZeroPauseShowsEachPictureOnArrival) {
    pauseMs = 0;
    select({"http://h/a.jpg", "http://h/b.jpg"});
    show->StartSlideShow();
    show->pictureArrived("/s/a.jpg");
    advanceTo(1);
    show->pictureArrived("/s/b.jpg");
    advanceTo(2);
    EXPECT_EQ(shown.size(), 2u);
}

} // namespace
