// Archive answers inside a search: their pictures reach the results list with their
// sources, through the same gate as every other picture, and paging keeps to its budget.
#include <algorithm>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "EngineTestSupport.h"
#include "engine/PictureMerge.h"
#include "engine/RowRecord.h"
#include "engine/ServiceChoice.h"

using lumi::ServiceId;
using lumi::test::EngineUnderTest;

namespace {

// A search with Openverse alone, reached at a closed loopback port.
struct OpenverseSearch {
    explicit OpenverseSearch(int maxPages, const char* licence = "any", int minWidth = 0,
                             bool commons = false) {
        qputenv("LUMISIFT_OPENVERSE_URL", "http://127.0.0.1:1");
        qputenv("LUMISIFT_COMMONS_URL", "http://127.0.0.1:1");
        engine->SettingsFile.WriteBool("Services", "Commons", commons);
        engine->SettingsFile.WriteString("Services", "LicenceFilter", licence);
        engine->SettingsFile.WriteInteger("Services", "MinWidth", minWidth);
        for (const char* classic : {"HotBot", "Lycos", "ScourNet", "LycosImagesDirect"})
            engine->SettingsFile.WriteBool("Services", classic, false);
        engine->SettingsFile.WriteBool("Services", "Openverse", true);
        engine->SettingsFile.WriteInteger("Services", "MaxPages", maxPages);
        engine->setCheckLinksReader([] { return false; });
        engine->SearchButtonClick("dusk");
    }
    ~OpenverseSearch() {
        qunsetenv("LUMISIFT_OPENVERSE_URL");
        qunsetenv("LUMISIFT_COMMONS_URL");
    }
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

// One picture found by three services, in every order of their answers: one row, credited by
// Commons (its own file, a named licence), naming every finder; Openverse's rendition of it is
// known by the file name, and each service counts it as listed once.
TEST(ArchiveSearch, OnePictureFromThreeServicesIsOneRowCreditedByCommonsInAnyOrder) {
    const std::pair<ServiceId, const char*> answers[] = {
        {ServiceId::SearXNG, R"({"results":[{"img_src":"http://u/wikipedia/commons/a/ab/Quay.jpg",
            "title":"quay","resolution":"4000 x 3000","url":"http://s/quay"}]})"},
        {ServiceId::Openverse, R"({"results":[{"url":"http://u/wikipedia/commons/thumb/a/ab/Quay.jpg/640px-Quay.jpg",
            "title":"Quay by ann","creator":"ann","license":"by","license_version":"2.0",
            "provider":"wikimedia","source":"wikimedia","width":640,"height":480}]})"},
        {ServiceId::Commons, R"({"batchcomplete":"","query":{"pages":{"1":{"index":1,"title":"File:Quay.jpg",
            "imageinfo":[{"url":"http://u/wikipedia/commons/a/ab/Quay.jpg","mime":"image/jpeg",
            "width":4000,"height":3000,"descriptionurl":"http://c/File:Quay.jpg","extmetadata":{
            "Artist":{"value":"<a href=\"http://c/User:Ann\">Ann</a>"},
            "LicenseShortName":{"value":"CC BY-SA 4.0"},"License":{"value":"cc-by-sa-4.0"}}}]}}}})"},
    };
    std::vector<size_t> order{0, 1, 2};
    do {
        OpenverseSearch search(1);
        auto& engine = search.engine;
        for (const size_t i : order)
            ASSERT_TRUE(engine->takeArchiveAnswer(answers[i].first, answers[i].second));
        ASSERT_EQ(engine->FoundList.size(), 1u);
        const lumi::PictureSource& s = engine->results().row(0).source;
        EXPECT_EQ(s.service, ServiceId::Commons);
        EXPECT_EQ(s.services, (std::vector<ServiceId>{ServiceId::Commons, ServiceId::Openverse,
                                                       ServiceId::SearXNG}));
        EXPECT_EQ(s.creator, "Ann");
        EXPECT_EQ(s.creatorUrl, "http://c/User:Ann");
        EXPECT_EQ(s.licence, "CC BY-SA 4.0");
        EXPECT_EQ(s.title, "Quay");
        EXPECT_EQ(s.page, "http://c/File:Quay.jpg");
        EXPECT_EQ(s.provider, "wikimedia") << "taken from Openverse, which alone names it";
        EXPECT_EQ(s.width, 4000);
        engine->results().publishPendingRows();
        EXPECT_EQ(engine->results().data(engine->results().index(0, lumi::ResultsModel::SourceColumn),
                                         Qt::DisplayRole),
                  QStringLiteral("Wikimedia Commons"));
        for (const ServiceId finder : {ServiceId::Openverse, ServiceId::Commons, ServiceId::SearXNG})
            EXPECT_EQ(engine->serviceHealth()[finder].listed, 1u) << lumi::serviceName(finder);
    } while (std::next_permutation(order.begin(), order.end()));
}

// The licence and size filter: Openverse is asked for its matching pictures, each row is kept
// by its own licence and width, and what was left out is counted by why.
TEST(ArchiveSearch, TheFilterKeepsLicensedWidePicturesAndSaysWhatItLeftOut) {
    OpenverseSearch search(1, "commercial", 1000);
    auto& engine = search.engine;
    ASSERT_EQ(engine->GetPageQueue.size(), 1u);
    EXPECT_NE(engine->GetPageQueue[0].find("&license_type=commercial"), std::string::npos);
    ASSERT_TRUE(engine->takeArchiveAnswer(ServiceId::Openverse, R"({"results":[
        {"url":"http://a/1.jpg","license":"by","width":2000,"height":900},
        {"url":"http://a/2.jpg","license":"by-nc","width":2000,"height":900},
        {"url":"http://a/3.jpg","license":"cc0","width":"800","height":"600"},
        {"url":"http://a/4.jpg","width":2000,"height":900},
        {"url":"http://a/5.jpg","license":"sampling+"}]})"));
    engine->AddToListView("http://b/classic.jpg", 0);
    ASSERT_EQ(engine->FoundList.size(), 1u);
    EXPECT_EQ(engine->FoundList[0], "http://a/1.jpg");
    EXPECT_EQ(engine->leftOutText(),
              "5 left out: 3 without a licence that passes \"may use commercially\", 2 under "
              "1000 x 0 pixels or of unknown size");
}

// An unfinished Commons batch is asked again at the same offset with its continuation, at no
// cost to the page budget; the complete batch then moves on to the next offset.
TEST(ArchiveSearch, AnUnfinishedCommonsBatchIsContinuedBeforeTheNextOffset) {
    OpenverseSearch search(2, "any", 0, true);
    auto& engine = search.engine;
    const auto lastQueued = [&engine] { return engine->GetPageQueue[engine->GetPageQueue.size() - 1]; };
    ASSERT_NE(lastQueued().find("gsrsearch=filemime%3Aimage%2Fjpeg+dusk&gsrlimit=50&gsroffset=0"),
              std::string::npos) << lastQueued();
    ASSERT_TRUE(engine->takeArchiveAnswer(ServiceId::Commons,
        R"({"continue":{"iicontinue":"B.jpg|1","gsroffset":0,"continue":"gsroffset||"},"query":{"pages":{}}})"));
    EXPECT_TRUE(lastQueued().ends_with("&gsroffset=0&prop=imageinfo&iiprop=url%7Csize%7Cmime%7Cextmetadata"
                                       "&iiurlwidth=320&continue=gsroffset%7C%7C&iicontinue=B.jpg%7C1\t6"))
        << lastQueued();
    ASSERT_TRUE(engine->takeArchiveAnswer(ServiceId::Commons,
        R"({"batchcomplete":"","continue":{"gsroffset":"50","continue":"gsroffset||"},"query":{"pages":{}}})"));
    EXPECT_NE(lastQueued().find("&gsroffset=50&"), std::string::npos) << lastQueued();
    EXPECT_EQ(lastQueued().find("iicontinue"), std::string::npos);
}

// Two addresses are one picture when their keys agree: a Wikimedia upload by its file name
// whichever rendition, any other by its address without the scheme.
TEST(ArchiveSearch, PictureKeysTellOnePictureFromTwo) {
    const std::pair<const char*, const char*> same[] = {
        {"https://upload.wikimedia.org/wikipedia/commons/a/ab/Quay.jpg",
         "https://upload.wikimedia.org/wikipedia/commons/thumb/a/ab/Quay.jpg/640px-Quay.jpg"},
        {"http://upload.wikimedia.org/wikipedia/commons/a/ab/Quay.jpg?x=1",
         "https://mirror.example/wikipedia/commons/thumb/a/ab/Quay.jpg/1280px-Quay.jpg"},
        {"http://a/b.jpg", "https://a/b.jpg"},
    };
    const std::pair<const char*, const char*> different[] = {
        {"https://upload.wikimedia.org/wikipedia/commons/a/ab/Quay.jpg",
         "https://upload.wikimedia.org/wikipedia/commons/a/ab/Quay2.jpg"},
        {"http://a/b.jpg", "http://a/b.jpg?w=640"},
        {"http://a/wikipedia/commons/x.jpg", "http://b/wikipedia/commons/x.jpg"},
        {"http://a/B.jpg", "http://a/b.jpg"},
    };
    for (const auto& [a, b] : same)
        EXPECT_EQ(lumi::pictureKey(a), lumi::pictureKey(b)) << a << " " << b;
    for (const auto& [a, b] : different)
        EXPECT_NE(lumi::pictureKey(a), lumi::pictureKey(b)) << a << " " << b;
    EXPECT_TRUE(lumi::isCommonsFileKey(lumi::pictureKey(same[0].second)));
    EXPECT_FALSE(lumi::isCommonsFileKey(lumi::pictureKey(different[2].first)));
}

// Failed engines add up over a search's pages, each named once with why, in the health line.
TEST(ArchiveSearch, FailedEnginesAreNamedOnceInTheServicesLine) {
    lumi::ServiceCounts counts;
    lumi::ArchiveAnswer first, second;
    first.engines = {"bing", "google", "ddg"};
    first.failedEngines = {{"bing", "HTTP error"}, {"google", "timeout"}};
    second.engines = {"bing", "qwant"};
    second.failedEngines = {{"bing", "CAPTCHA"}, {"qwant", ""}};
    lumi::noteEngines(counts, first);
    lumi::noteEngines(counts, second);
    EXPECT_EQ(lumi::failedEnginesText(counts.failedEngines, counts.engines.size()),
              "3 of 4 engines failed: bing (HTTP error), google (timeout), qwant");
    EXPECT_EQ(lumi::failedEnginesText({{"x", "timeout"}}, 0), "1 of 1 engine failed: x (timeout)");
}

// A row written by `search --format jsonl` reads back with what it says of its picture.
TEST(ArchiveSearch, RowsReadBackWithSizeCreatorPageAndProvider) {
    OpenverseSearch search(1);
    auto& engine = search.engine;
    ASSERT_TRUE(engine->takeArchiveAnswer(ServiceId::Openverse, R"({"results":[{"url":"http://a/1.jpg",
        "creator":"Ann","creator_url":"http://a/ann","license":"nc-sampling+","provider":"flickr",
        "source":"flickr_set","width":"1600","height":900}]})"));
    std::string url;
    lumi::PictureSource read;
    ASSERT_TRUE(lumi::rowFromJsonLine(lumi::rowJsonLine(*engine, 0), url, read));
    EXPECT_EQ(url, "http://a/1.jpg");
    EXPECT_EQ(read.licence, "CC NC-Sampling+ 1.0");
    EXPECT_EQ(read.creatorUrl, "http://a/ann");
    EXPECT_EQ(read.provider + "/" + read.collection, "flickr/flickr_set");
    EXPECT_EQ(std::to_string(read.width) + "x" + std::to_string(read.height), "1600x900");
    EXPECT_NE(lumi::rowJsonLine(*engine, 0).find(R"("services":["Openverse"])"), std::string::npos);
}
