#include "analysis/ResultParsers.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "RecordingHost.h"

using namespace lumi::test;

namespace {

// Pins the two service bases for the tests of this file.
class ResultParsers : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("LUMISIFT_LYCOS_HOST", "lycos.test:8080", 1);
        setenv("LUMISIFT_SCOURNET_SITE", "scour.test", 1);
    }
    void TearDown() override {
        unsetenv("LUMISIFT_LYCOS_HOST");
        unsetenv("LUMISIFT_SCOURNET_SITE");
    }
    RecordingHost host;
};

} // namespace

TEST_F(ResultParsers, PagesWithoutMarkersGiveNothing) {
    const lumi::PageLines plain = {"", "<html><body>no results here</body></html>",
                                   "http://a/b.jpg"};
    ExractDataFromHotBot(host, {});
    ExractDataFromHotBot(host, plain);
    ExractDataFromLycos(host, plain);
    ExractDataFromLycosImagesDirect(host, plain);
    ExractDataFromScourNet(host, plain);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(ResultParsers, HotBotTakesEveryResultOfALineInOrderDecoded) {
    ExractDataFromHotBot(host, {R"(<a target=http%3A%2F%2Fa.com%2F1.htm&id=1>A</a> )"
                                R"(<a target=http://b.com/&id=2>B</a><a target=c&id=3>)",
                                "<A TARGET=http://caps.com/&ID=4>"});
    EXPECT_EQ(host.calls, (Calls{queued("http://a.com/1.htm", 99), queued("http://b.com/", 99),
                                 queued("c", 99)}));
}

TEST_F(ResultParsers, HotBotQueuesNoEmptyAddress) {
    ExractDataFromHotBot(host, {"target=&id=1 target=x", "target=", "x target=y&id=2"});
    EXPECT_EQ(host.calls, (Calls{queued("y", 99)}))
        << "a missing or empty value is skipped, later lines still read";
}

TEST_F(ResultParsers, LycosCutsAfterTheFirstBracketAndOneCharacterMore) {
    ExractDataFromLycos(host, {
                                  "<em> http://a.com/x%2Ehtm </em>",
                                  "<em>http://b.com/</em>",
                                  "<b>1 x</b><em>http://c.com/</em>",
                                  "<EM> http://caps.com/</EM>",
                                  "<em> http://open.com/",
                                  "<em>>",
                              });
    EXPECT_EQ(host.calls, (Calls{queued("http://a.com/x.htm", 99), queued("ttp://b.com/", 99),
                                 queued("x", 99)}));
}

TEST_F(ResultParsers, LycosImagesDirectHandsImagesByTheLiveCheckLinksState) {
    ExractDataFromLycosImagesDirect(host, {"<em> http://i.com/a%2Ejpg</em>"});
    host.checkLinks = false;
    ExractDataFromLycosImagesDirect(host, {"<em> http://i.com/b.jpg</em>"});
    EXPECT_EQ(host.calls, (Calls{checked("http://i.com/a.jpg"), listed("http://i.com/b.jpg")}));
}

TEST_F(ResultParsers, LycosImagesDirectPagesFromTheLycosBase) {
    auto paging = [](const std::string& first) {
        return "&nbsp;.&nbsp;<A HREF=\"/cgi-bin/pursuit?cat=graphics&first=" + first + "\">";
    };
    ExractDataFromLycosImagesDirect(
        host, {
                  "x" + paging("11%3A") + "n</A>" + paging("21") + "n</A>",
                  "<em> http://i.com/a.jpg</em>" + paging("31"),
                  R"(<a class="c">)" + paging("41"),
                  R"(&nbsp;.&nbsp;<a href="/cgi-bin/pursuit?cat=graphics&first=51">)",
                  R"(&nbsp;.&nbsp;<A HREF="/cgi-bin/pursuit?cat=graphics&first=61)",
              });
    EXPECT_EQ(host.calls,
              (Calls{queued("http://lycos.test:8080/cgi-bin/pursuit?cat=graphics&first=11%3A", 4),
                     checked("http://i.com/a.jpg"), queued("http://lycos.test:8080c", 4)}))
        << "one paging link per line, undecoded; an image line is not searched for paging; the "
           "first quote "
           "of the line counts; the marker is case-exact; a value without closing quote is skipped";
}

TEST_F(ResultParsers, LycosImagesDirectListsEvenAnEmptyCutNever) {
    ExractDataFromLycosImagesDirect(host, {"<em></em>", "<em>x"});
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(ResultParsers, ScourNetImagesInAnyCaseAndNotPages) {
    ExractDataFromScourNet(
        host, {
                  R"(<a class="SearchFieldLocationLink" href="HTTP://i.com/A%2Ejpg">x</a>)",
                  R"(<a class=searchfieldlocationlink href="http://i.com/page.htm?x.jpg">)",
                  R"(<a class=searchfieldlocationlink href="http://i.com/b.HTML">)",
                  R"(searchfieldlocationlink http://i.com/noquote.jpg)",
                  R"(searchfieldlocationlink only)",
                  R"(<a class="SearchFieldLocationLink" href="https://i.com/c.jpg">x</a>)",
              });
    EXPECT_EQ(host.calls, (Calls{checked("HTTP://i.com/A.jpg"), checked("https://i.com/c.jpg")}));
}

TEST_F(ResultParsers, ScourNetResultPagesTakeEveryHrefOfTheLine) {
    host.checkLinks = false;
    ExractDataFromScourNet(
        host,
        {
            R"(<a href="/s?p=0">0</a> Result Page: <a HREF="/s?p=2%3A">2</a> <a href="/s?p=3">3</a>)",
            R"(result page: <a href="">x</a> <a href="/open)",
            R"(<a class=searchfieldlocationlink href="http://i.com/c.jpg"> result page: <a href="/s?p=9">)",
        });
    EXPECT_EQ(host.calls,
              (Calls{queued("http://scour.test/s?p=0", 1), queued("http://scour.test/s?p=2%3A", 1),
                     queued("http://scour.test/s?p=3", 1), listed("http://i.com/c.jpg")}))
        << "an empty value or one without closing quote is skipped; an image line gives no pages";
}

TEST_F(ResultParsers, RepeatedPagingLinksAreHandedOnForTheQueueToDrop) {
    const lumi::PageLines page = {R"(Result page: <a href="/s?p=2">2</a>)"};
    ExractDataFromScourNet(host, page);
    ExractDataFromScourNet(host, page);
    EXPECT_EQ(host.calls,
              (Calls{queued("http://scour.test/s?p=2", 1), queued("http://scour.test/s?p=2", 1)}));
}

TEST_F(ResultParsers, DefaultBasesAreBareHosts) {
    unsetenv("LUMISIFT_LYCOS_HOST");
    unsetenv("LUMISIFT_SCOURNET_SITE");
    for (const std::string& base : {lumi::lycosBase(), lumi::scourNetSiteBase()}) {
        EXPECT_EQ(base.rfind("http://", 0), 0u) << base;
        EXPECT_GT(base.size(), 7u);
        EXPECT_NE(base.back(), '/');
    }
}

TEST_F(ResultParsers, AFailureEndsTheParserAndKeepsWhatWasHandedOn) {
    ErrorCapture errors;
    host.failAtCall = 1;
    ExractDataFromHotBot(host, {"target=a&id= target=b&id= target=c&id="});
    EXPECT_EQ(host.calls, (Calls{queued("a", 99)}));
    EXPECT_EQ(errors.texts,
              (std::vector<std::string>{"error code : #0040 (ExractDataFromHotBot)"}));

    RecordingHost lycos;
    lycos.failAtCall = 0;
    ExractDataFromLycos(lycos, {"<em> a<", "<em> b<"});
    RecordingHost images;
    images.failAtCall = 0;
    ExractDataFromLycosImagesDirect(images, {"<em> a.jpg<", "<em> b.jpg<"});
    EXPECT_TRUE(lycos.calls.empty());
    EXPECT_TRUE(images.calls.empty());
    EXPECT_EQ(errors.texts,
              (std::vector<std::string>{"error code : #0040 (ExractDataFromHotBot)",
                                        "error code : #0041 (ExractDataFromLycos)",
                                        "error code : #0042 (ExractDataFromLycosImagesDirect)"}));
}

TEST_F(ResultParsers, ScourNetReportsItsFailureInTheDiagnosticsMemo) {
    ErrorCapture errors;
    host.failAtCall = 1;
    ExractDataFromScourNet(host, {R"(result page: <a href="/1">)", R"(result page: <a href="/2">)",
                                  R"(result page: <a href="/3">)"});
    EXPECT_EQ(host.calls, (Calls{queued("http://scour.test/1", 1),
                                 "Memo\terror code : #0043 (ExractDataFromScourNet)"}));
    EXPECT_TRUE(errors.texts.empty());
}

TEST_F(ResultParsers, RoutingFollowsTheEngineNumber) {
    const lumi::PageLines page = {"target=h&id=", "<em> l<", R"(result page: <a href="/s">)",
                                  R"(<img src="t.jpg">)"};
    for (int engine : {1, 2, 3, 4, 0, 99, 5, -1})
        lumi::routePageByEngine(host, engine, page, "http://host/p.htm");
    EXPECT_EQ(host.calls, (Calls{queued("http://scour.test/s", 1), queued("h", 99), queued("l", 99),
                                 checked("l"), checked("http://host/t.jpg"),
                                 checked("http://host/t.jpg"), checked("http://host/t.jpg")}));
}
