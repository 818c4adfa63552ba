#include "base/ErrorReport.h"

#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

namespace {

struct RecordErrors {
    std::vector<std::string> texts;
    RecordErrors() {
        lumi::setErrorSink([this](const std::string& t) { texts.push_back(t); });
    }
    ~RecordErrors() { lumi::setErrorSink({}); }
};

TEST(ErrorReport, CatchAllKeepsWorkDoneBeforeTheFailureAndReportsTheFixedText) {
    RecordErrors errors;
    int steps = 0;
    const bool ok = lumi::catchAll("error code : #0047 (SearchButtonClick)", [&] {
        ++steps;
        throw std::runtime_error("boom");
        ++steps;
    });
    EXPECT_FALSE(ok);
    EXPECT_EQ(steps, 1);
    ASSERT_EQ(errors.texts.size(), 1u);
    EXPECT_EQ(errors.texts[0], "error code : #0047 (SearchButtonClick)");

    EXPECT_TRUE(lumi::catchAll("unused", [&] { ++steps; }));
    EXPECT_EQ(errors.texts.size(), 1u);
}

TEST(ErrorReport, ReportErrorNeverRaisesEvenWhenTheSinkThrows) {
    lumi::setErrorSink([](const std::string&) { throw std::logic_error("sink"); });
    EXPECT_NO_THROW(ReportError("x"));
    lumi::setErrorSink({});
}

TEST(ErrorReport, DefaultHandlerPresentsTheMessageAndCarriesOn) {
    std::vector<std::string> shown;
    lumi::setDefaultHandlerPresenter([&](const std::string& m) { shown.push_back(m); });
    lumi::runUnderDefaultHandler([] { throw std::runtime_error("Unable to write to /x.ini"); });
    lumi::runUnderDefaultHandler([] { throw 42; });
    lumi::setDefaultHandlerPresenter({});
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "Unable to write to /x.ini");
    EXPECT_EQ(shown[1], "Unknown exception");
}

TEST(ErrorReport, CatchAllWithUsesItsOwnReporter) {
    std::vector<std::string> memo;
    lumi::catchAllWith([&] { memo.push_back("error code : #0043 (ExractDataFromScourNet)"); },
                       [] { throw std::runtime_error("x"); });
    EXPECT_EQ(memo.size(), 1u);
}

} // namespace
