// The Met, the Art Institute of Chicago and NASA's image library on answers shaped as their
// documentation shows: which items become pictures, what their sources say, where the next
// page starts, and the requests that ask for them.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveService.h"
#include "analysis/LicenceRights.h"

using lumi::ArchiveAnswer;
using lumi::ServiceId;

namespace {

// "page | title | creator | thumbnail | licence" of a picture.
std::string sourceLine(const lumi::PictureSource& s) {
    return s.page + " | " + s.title + " | " + s.creator + " | " + s.thumbnail + " | " + s.licence;
}

} // namespace

TEST(MuseumArchives, PublicDomainItemsBecomePicturesWithTheirSources) {
    struct Case {
        const char* name;
        ServiceId service;
        const char* body;
        int64_t position;
        bool understood;
        std::vector<std::string> urls;
        int64_t next;
        const char* firstSource; // "" when no picture
        const char* message;
    };
    const Case cases[] = {
        {"met public-domain object", ServiceId::MetMuseum,
         R"({"objectID":436535,"isPublicDomain":true,"primaryImage":"https://images.met/orig/DT1.jpg",
            "primaryImageSmall":"https://images.met/web-large/DT1.jpg","title":"Wheat Field &amp; Cypresses",
            "artistDisplayName":"Vincent van Gogh","objectURL":"https://www.metmuseum.org/art/collection/search/436535"})",
         1, true, {"https://images.met/orig/DT1.jpg"}, 0,
         "https://www.metmuseum.org/art/collection/search/436535 | Wheat Field & Cypresses | Vincent "
         "van Gogh | https://images.met/web-large/DT1.jpg | Public domain (CC0)", ""},
        {"met object in copyright", ServiceId::MetMuseum,
         R"({"objectID":1,"isPublicDomain":false,"primaryImage":"","title":"x"})", 1, true, {}, 0, "", ""},
        {"met public domain given as text", ServiceId::MetMuseum,
         R"({"objectID":2,"isPublicDomain":"true","primaryImage":"https://i/2.jpg"})", 1, true, {}, 0, "", ""},
        {"met unknown object", ServiceId::MetMuseum, R"({"message":"Not a valid object"})", 1, false,
         {}, 0, "", "Not a valid object"},
        {"aic page with the unusable skipped", ServiceId::ArtInstitute,
         R"({"pagination":{"total":45,"total_pages":3,"current_page":1},"data":[
            {"id":27992,"title":"A Sunday on La Grande Jatte","image_id":"2d484387-2509-5e8e-2c43-22f9981972eb",
             "artist_display":"Georges Seurat\nFrench, 1859-1891","is_public_domain":true},
            {"id":2,"image_id":"aaaa-bbbb","is_public_domain":false},
            {"id":3,"image_id":null,"is_public_domain":true},
            {"id":4,"image_id":"../../etc","is_public_domain":true},"text"],
            "config":{"iiif_url":"https://www.artic.edu/iiif/2/","website_url":"https://www.artic.edu"}})",
         1, true, {"https://www.artic.edu/iiif/2/2d484387-2509-5e8e-2c43-22f9981972eb/full/843,/0/default.jpg"}, 2,
         "https://www.artic.edu/artworks/27992 | A Sunday on La Grande Jatte | Georges Seurat | "
         "https://www.artic.edu/iiif/2/2d484387-2509-5e8e-2c43-22f9981972eb/full/200,/0/default.jpg | "
         "Public domain (CC0)", ""},
        {"aic without a config names no picture", ServiceId::ArtInstitute,
         R"({"pagination":{"total_pages":1},"data":[{"id":1,"image_id":"ab-12","is_public_domain":true}]})",
         1, true, {}, 0, "", ""},
        {"aic past its 10 000 records", ServiceId::ArtInstitute,
         R"({"pagination":{"total_pages":900},"data":[]})", 500, true, {}, 0, "", ""},
        {"aic refusal", ServiceId::ArtInstitute,
         R"({"status":403,"error":"Invalid number of results","detail":"Too many results."})", 1, false, {}, 0,
         "", "Too many results."},
        {"nasa items and the next link", ServiceId::NasaImages,
         R"({"collection":{"items":[
            {"data":[{"nasa_id":"as11-40-5874","title":"Buzz Aldrin","center":"JSC","media_type":"image"}],
             "links":[{"href":"https://images-assets.nasa.gov/image/as11-40-5874/as11-40-5874~thumb.jpg","rel":"preview"}]},
            {"data":[{"nasa_id":"x","photographer":"Bill Ingalls"}],"links":[{"href":"https://a/x~medium.jpg","rel":"preview"}]},
            {"data":[{"nasa_id":"v","media_type":"video"}],"links":[{"href":"https://a/v~thumb.jpg","rel":"preview"}]},
            {"data":[{"nasa_id":"p q","photographer":"Ann"}],"links":[{"href":"https://a/p%20q~thumb.jpg","rel":"preview"}]}],
            "links":[{"rel":"next","href":"https://images-api.nasa.gov/search?q=moon&page=3"}]}})",
         2, true,
         {"https://images-assets.nasa.gov/image/as11-40-5874/as11-40-5874~orig.jpg", "https://a/p%20q~orig.jpg"}, 3,
         "https://images.nasa.gov/details/as11-40-5874 | Buzz Aldrin | JSC | "
         "https://images-assets.nasa.gov/image/as11-40-5874/as11-40-5874~thumb.jpg | Public domain (NASA media "
         "guidelines)", ""},
        {"nasa last page", ServiceId::NasaImages, R"({"collection":{"items":[],"links":[]}})", 4, true, {}, 0, "", ""},
        {"nasa refusal", ServiceId::NasaImages, R"({"reason":"Invalid page_size"})", 1, false, {}, 0, "",
         "Invalid page_size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The Met's search names objects; each object's answer is read as an item.
        const ArchiveAnswer answer = c.service == ServiceId::MetMuseum
                                         ? lumi::readArchiveItem(c.service, c.body)
                                         : lumi::readArchiveAnswer(c.service, c.body, c.position);
        EXPECT_EQ(answer.understood, c.understood);
        std::vector<std::string> urls;
        for (const auto& picture : answer.pictures)
            urls.push_back(picture.url);
        EXPECT_EQ(urls, c.urls);
        EXPECT_EQ(answer.next, c.next);
        EXPECT_EQ(answer.pictures.empty() ? "" : sourceLine(answer.pictures[0].source), c.firstSource);
        EXPECT_EQ(answer.message, c.message);
        // Their collections' licence lets every picture through any licence filter.
        for (const auto& picture : answer.pictures)
            for (const auto filter : {lumi::LicenceFilter::PublicDomain, lumi::LicenceFilter::CommercialAndModify})
                EXPECT_TRUE(lumi::licencePasses(filter, picture.source.licenceCode, picture.source.licence));
    }
}

TEST(MuseumArchives, RequestsAndTheMetsObjectIds) {
    const lumi::ArchiveService& met = *lumi::archiveService(ServiceId::MetMuseum);
    const lumi::ArchiveService& aic = *lumi::archiveService(ServiceId::ArtInstitute);
    const lumi::ArchiveService& nasa = *lumi::archiveService(ServiceId::NasaImages);
    EXPECT_EQ(met.searchUrl("https://m/v1", "sun+flowers", 2, "", lumi::LicenceFilter::Any), "https://m/v1/search?hasImages=true&q=sun+flowers");
    EXPECT_EQ(met.itemUrl("https://m/v1", "436535"), "https://m/v1/objects/436535");
    EXPECT_EQ(aic.searchUrl("https://a/v1", "sun", 3, "", lumi::LicenceFilter::Any),
              "https://a/v1/artworks/search?q=sun&query%5Bterm%5D%5Bis_public_domain%5D=true"
              "&fields=id,title,image_id,artist_display,is_public_domain,thumbnail,credit_line&limit=20&page=3");
    EXPECT_EQ(aic.headerLines("Lumisift/1.4 (+https://x/)"),
              std::vector<std::string>{"AIC-User-Agent: Lumisift/1.4 (+https://x/)"});
    EXPECT_EQ(nasa.searchUrl("https://n", "sun", 1, "", lumi::LicenceFilter::Any), "https://n/search?q=sun&media_type=image&page=1&page_size=20");

    struct IdCase {
        const char* body;
        bool understood;
        size_t count;
        const char* first;
    };
    std::string many = R"({"total":1000,"objectIDs":[)";
    for (int id = 1; id <= 1000; ++id)
        many += std::to_string(id) + (id < 1000 ? "," : "]}");
    const IdCase ids[] = {
        {R"({"total":4,"objectIDs":[436535,2.5,"7",-1,12]})", true, 2, "436535"},
        {R"({"total":0,"objectIDs":null})", true, 0, ""},
        {R"({"objectIDs":[1]})", false, 0, ""},
        {many.c_str(), true, 400, "1"}, // no more than the pages a search may ask
    };
    for (const IdCase& c : ids) {
        const ArchiveAnswer answer = lumi::readArchiveAnswer(ServiceId::MetMuseum, c.body, 1);
        EXPECT_EQ(answer.understood, c.understood) << c.body;
        EXPECT_EQ(answer.itemIds.size(), c.count) << c.body;
        EXPECT_EQ(answer.itemIds.empty() ? "" : answer.itemIds.front(), c.first) << c.body;
        EXPECT_TRUE(answer.pictures.empty());
    }
}
