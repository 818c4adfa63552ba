// Archive answers inside a search: their pictures reach the results list with their
// sources, through the same gate as every other picture, and paging keeps to its budget.
#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "engine/RowRecord.h"
#include "engine/ServiceChoice.h"

using lumi::ServiceId;
using lumi::test::EngineUnderTest;

namespace {

// A search with Openverse alone, reached at a closed loopback port.
struct OpenverseSearch {
    explicit OpenverseSearch(int maxPages) {
        qputenv("LUMISIFT_OPENVERSE_URL", "http://127.0.0.1:1");
        for (const char* classic : {"HotBot", "Lycos", "ScourNet", "LycosImagesDirect"})
            engine->SettingsFile.WriteBool("Services", classic, false);
        engine->SettingsFile.WriteBool("Services", "Openverse", true);
        engine->SettingsFile.WriteInteger("Services", "MaxPages", maxPages);
        engine->setCheckLinksReader([] { return false; });
        engine->SearchButtonClick("dusk");
    }
    ~OpenverseSearch() { qunsetenv("LUMISIFT_OPENVERSE_URL"); }
    EngineUnderTest engine;
};

} // namespace

TEST(ArchiveSearch, PicturesAreListedWithTheirSourcesThroughTheResultsGate) {
    OpenverseSearch search(3);
    auto& engine = search.engine;
    ASSERT_TRUE(engine->takeArchiveAnswer(ServiceId::Openverse, R"({"results":[
        {"url":"http://a/Caf\u00e9.jpg","foreign_landing_url":"http://a/cafe","title":"Caf\u00e9",
         "creator":"Bo","license":"by","license_version":"4.0","filesize":52000,
         "thumbnail":"http://a/t/cafe.jpg"},
        {"url":"http://a/small.jpg","filesize":5000},
        {"url":"http://a/query.jpg?w=1"},
        {"url":"http://a/plain.jpg"}]})"));
    // Listed: the escaped name (an archive address may carry "%"), the CDN address with its
    // query and the unsized one; refused: the announced size under the lower bound.
    ASSERT_EQ(engine->FoundList.size(), 3u);
    EXPECT_EQ(engine->FoundList[0], "http://a/Caf%C3%A9.jpg");
    EXPECT_EQ(engine->results().row(0).sizeText, "52000");
    EXPECT_EQ(engine->FoundList[1], "http://a/query.jpg?w=1");
    EXPECT_EQ(engine->results().row(2).sizeText, "UNKNOWN");
    EXPECT_EQ(lumi::sourceDescription(engine->results().row(0).source),
              "Found by Openverse\nTitle: Caf\xc3\xa9\nCreator: Bo\nLicence: CC BY 4.0\n"
              "Page: http://a/cafe");
    EXPECT_EQ(engine->visitAddress(0), "http://a/cafe");
    EXPECT_EQ(engine->visitAddress(2), "http://a/") << "no landing page: the picture's folder";
    EXPECT_EQ(engine->sourceOfAddress("http://a/plain.jpg")->service, ServiceId::Openverse);
    EXPECT_EQ(engine->sourceOfAddress("http://a/small.jpg"), nullptr);
    EXPECT_EQ(engine->pictureAgent("http://a/plain.jpg"), lumi::archiveUserAgent());
    EXPECT_NE(lumi::rowJsonLine(*engine, 0).find(R"("thumbnail":"http://a/t/cafe.jpg")"),
              std::string::npos);
    EXPECT_EQ(lumi::rowJsonLine(*engine, 2).find("thumbnail"), std::string::npos) << "none sent";

    // A classic find with an escape is still refused; its row has no source.
    engine->AddToListView("http://b/x%20y.jpg", 0);
    engine->AddToListView("http://b/z.jpg", 0);
    ASSERT_EQ(engine->FoundList.size(), 4u);
    EXPECT_EQ(engine->results().row(3).source.service, ServiceId::None);
    EXPECT_EQ(engine->pictureAgent("http://b/z.jpg"), "") << "a classic find: the usual agent";

    const lumi::ServiceCounts& counts = engine->serviceHealth()[ServiceId::Openverse];
    EXPECT_EQ(counts.handedOn, 4u);
    EXPECT_EQ(counts.listed, 3u);
    EXPECT_FALSE(engine->takeArchiveAnswer(ServiceId::Openverse, "<html>busy</html>"));
}

TEST(ArchiveSearch, NextPagesAreQueuedOneAtATimeWithinThePageBudget) {
    OpenverseSearch search(2);
    auto& engine = search.engine;
    ASSERT_EQ(engine->GetPageQueue.size(), 1u);
    EXPECT_EQ(engine->GetPageQueue[0],
              "http://127.0.0.1:1/v1/images/?q=dusk&page=1&page_size=20&extension=jpg,jpeg\t5");
    const char* more = R"({"page_count":9,"results":[]})";
    ASSERT_TRUE(engine->takeArchiveAnswer(ServiceId::Openverse, more));
    ASSERT_EQ(engine->GetPageQueue.size(), 2u);
    EXPECT_TRUE(engine->GetPageQueue[1].starts_with("http://127.0.0.1:1/v1/images/?q=dusk&page=2&"))
        << engine->GetPageQueue[1];
    ASSERT_TRUE(engine->takeArchiveAnswer(ServiceId::Openverse, more));
    EXPECT_EQ(engine->GetPageQueue.size(), 2u) << "two pages read: the budget is spent";
}

// A result whose type nothing tells goes to the link check even with the box off; an address
// longer than the list takes is counted, not dropped silently.
TEST(ArchiveSearch, UntypedResultsAreCheckedAndOverlongOnesCounted) {
    OpenverseSearch search(1);
    auto& engine = search.engine;
    const std::string longUrl = "http://a/" + std::string(lumi::SearchEngine::MaxUrlLength, 'x') + ".jpg";
    ASSERT_TRUE(engine->takeArchiveAnswer(
        ServiceId::Openverse,
        R"({"results":[{"url":"http://cdn.a/get?id=1"},{"url":")" + longUrl + R"("}]})"));
    EXPECT_TRUE(engine->FoundList.empty());
    ASSERT_EQ(engine->CheckLinkQueue.size(), 1u);
    EXPECT_EQ(engine->CheckLinkQueue[0], "http://cdn.a/get?id=1");
    EXPECT_EQ(engine->serviceHealth().line(ServiceId::Openverse),
              "Openverse: pages 0 asked, 0 answered; pictures 1 handed on, 0 listed, "
              "1 address too long for the list");
}
