// The archives' JSON readers on answers a service might send: which results become
// pictures, what their sources say, and where the next page starts.
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "analysis/ArchiveAnswers.h"
#include "analysis/HtmlText.h"
#include "analysis/LicenceRights.h"

using lumi::ArchiveAnswer;
using lumi::readArchiveAnswer;
using lumi::ServiceId;

namespace {

std::vector<std::string> urls(const ArchiveAnswer& answer) {
    std::vector<std::string> out;
    for (const auto& picture : answer.pictures)
        out.push_back(picture.url);
    return out;
}

} // namespace

TEST(ArchiveAnswers, OnlySoundJpegResultsBecomePicturesAndPagingStaysBounded) {
    struct Case {
        const char* name;
        ServiceId service;
        const char* body;
        int64_t position;
        bool understood;
        std::vector<std::string> urls;
        int64_t next;
    };
    const std::vector<Case> cases = {
        {"openverse types and odd fields", ServiceId::Openverse,
         R"({"page_count":3,"results":[{"url":"http://a/1.jpg","filetype":"jpg"},
            {"url":"http://a/2.png","filetype":"png"},{"url":"http://a/3.JPEG"},
            {"url":"http://a/4.gif"},{"url":7},{"url":"ftp://a/5.jpg"},{"url":"a/6.jpg"},
            42,"x",{"url":"//cdn.a/7.jpg","filetype":null},{"url":"http:///8.jpg"},
            {"url":"https://cdn.a/get?id=9&w=640","filetype":"jpg"}]})",
         1, true,
         {"http://a/1.jpg", "http://a/3.JPEG", "http://a/4.gif", "https://cdn.a/7.jpg",
          "https://cdn.a/get?id=9&w=640"},
         2},
        {"openverse last page", ServiceId::Openverse, R"({"page_count":3,"results":[]})", 3, true,
         {}, 0},
        {"openverse anonymous limit", ServiceId::Openverse,
         R"({"page_count":900,"results":[]})", 20, true, {}, 0},
        {"openverse page count beyond any whole number", ServiceId::Openverse,
         R"({"page_count":1e300,"results":[]})", 1, true, {}, 2},
        {"openverse page count far below zero", ServiceId::Openverse,
         R"({"page_count":-1e300,"results":[]})", 1, true, {}, 0},
        {"openverse page count as text", ServiceId::Openverse,
         R"({"page_count":"9","results":[]})", 1, true, {}, 2},
        {"openverse page count as words", ServiceId::Openverse,
         R"({"page_count":"many","results":[]})", 1, true, {}, 0},
        {"openverse non-ASCII address", ServiceId::Openverse,
         R"({"results":[{"url":"http://a/Caf\u00e9 1.jpg"}]})", 1, true,
         {"http://a/Caf%C3%A9%201.jpg"}, 0},
        {"commons mime and order", ServiceId::Commons,
         R"({"continue":{"gsroffset":20},"query":{"pages":{
            "9":{"index":2,"imageinfo":[{"url":"http://c/b.jpg","mime":"image/jpeg"}]},
            "3":{"index":1,"imageinfo":[{"url":"http://c/a.jpg","mime":"image/jpeg"}]},
            "5":{"index":3,"imageinfo":[{"url":"http://c/c.png","mime":"image/png"}]},
            "6":{"index":4,"imageinfo":{"url":"http://c/d.jpg","mime":"image/jpeg"}},
            "7":{"index":5}}}})",
         0, true, {"http://c/a.jpg", "http://c/b.jpg"}, 20},
        {"commons unfinished batch asks the same offset again", ServiceId::Commons,
         R"({"continue":{"iicontinue":"B.jpg|2024","gsroffset":"20","continue":"gsroffset||"},
            "query":{"pages":{"1":{"index":21,"imageinfo":[{"url":"http://c/a.jpg","mime":"image/jpeg"}]},
            "2":{"index":22}}}})",
         20, true, {"http://c/a.jpg"}, 20},
        {"commons offset as text", ServiceId::Commons,
         R"({"batchcomplete":"","continue":{"gsroffset":"70"}})", 20, true, {}, 70},
        {"commons offset that does not move on", ServiceId::Commons,
         R"({"batchcomplete":"","continue":{"gsroffset":20}})", 20, true, {}, 0},
        {"commons error answer", ServiceId::Commons, R"({"error":{"code":"badvalue"}})", 0, false,
         {}, 0},
        {"searxng format and empty page", ServiceId::SearXNG,
         R"({"results":[{"img_src":"http://s/1.jpg","img_format":"JPEG 640x480"},
            {"img_src":"http://s/2.jpg","img_format":"PNG"},{"img_src":"http://s/3.jpeg"},
            {"img_src":"http://s/4.png","img_format":"PNG"},{"url":"http://s/page.htm"}]})",
         4, true, {"http://s/1.jpg", "http://s/2.jpg", "http://s/3.jpeg"}, 5},
        {"searxng no results", ServiceId::SearXNG, R"({"results":[]})", 2, true, {}, 0},
        {"not an object", ServiceId::SearXNG, R"([{"results":[]}])", 1, false, {}, 0},
        {"nested too deep", ServiceId::Openverse, nullptr, 1, false, {}, 0},
        {"truncated", ServiceId::Openverse, R"({"results":[{"url":"http://a/1.jpg"})", 1, false,
         {}, 0},
    };
    const std::string deep = std::string(5000, '[') + std::string(5000, ']');
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ArchiveAnswer answer = readArchiveAnswer(c.service, c.body ? c.body : deep, c.position);
        EXPECT_EQ(answer.understood, c.understood);
        EXPECT_EQ(urls(answer), c.urls);
        EXPECT_EQ(answer.next, c.next);
        EXPECT_EQ(answer.continuation.empty(), std::string(c.name).find("unfinished") == std::string::npos);
    }
}

TEST(ArchiveAnswers, SourcesCarryTitleCreatorLicenceAndLandingPage) {
    const ArchiveAnswer openverse = readArchiveAnswer(
        ServiceId::Openverse,
        R"({"results":[{"url":"http://a/1.jpg","foreign_landing_url":"http://a/1","title":"Dusk",
            "creator":"\u00c9mile","license":"by-sa","license_version":"2.0",
            "license_url":"https://cc/by-sa/2.0/","filesize":52000,"thumbnail":"http://t/1"},
           {"url":"http://a/2.jpg","license":"cc0","license_version":"1.0","filesize":null},
           {"url":"http://a/3.jpg","license":"pdm","filesize":-1}]})",
        1);
    ASSERT_EQ(openverse.pictures.size(), 3u);
    const lumi::PictureSource& first = openverse.pictures[0].source;
    EXPECT_EQ(first.service, ServiceId::Openverse);
    EXPECT_EQ(first.page, "http://a/1");
    EXPECT_EQ(first.title, "Dusk");
    EXPECT_EQ(first.creator, "\xc3\x89mile"); // UTF-8
    EXPECT_EQ(first.licence, "CC BY-SA 2.0");
    EXPECT_EQ(first.licenceUrl, "https://cc/by-sa/2.0/");
    EXPECT_EQ(first.thumbnail, "http://t/1");
    EXPECT_EQ(openverse.pictures[1].source.thumbnail, "");
    EXPECT_EQ(openverse.pictures[0].size, 52000);
    EXPECT_EQ(openverse.pictures[1].source.licence, "CC0 1.0");
    EXPECT_EQ(openverse.pictures[1].size, 0);
    EXPECT_EQ(openverse.pictures[2].source.licence, "Public Domain Mark 1.0");
    EXPECT_EQ(openverse.pictures[2].size, 0);

    const ArchiveAnswer commons = readArchiveAnswer(
        ServiceId::Commons,
        R"({"query":{"pages":{"1":{"title":"File:Old harbour.v2.jpg","imageinfo":[{
            "url":"http://c/a.jpg","thumburl":"//c/320px-a.jpg","descriptionurl":"http://c/File:a","mime":"image/jpeg",
            "size":777,"extmetadata":{"LicenseShortName":{"value":"CC BY 4.0"},
            "LicenseUrl":{"value":"https://cc/by/4.0/"},
            "Artist":{"value":"<a href=\"x\">Ann &amp; <b>Bo</b></a>\n  &lt;studio&gt;"}}}]}}}})",
        0);
    ASSERT_EQ(commons.pictures.size(), 1u);
    const lumi::PictureSource& file = commons.pictures[0].source;
    EXPECT_EQ(file.title, "Old harbour.v2");
    EXPECT_EQ(file.creator, "Ann & Bo <studio>");
    EXPECT_EQ(file.licence, "CC BY 4.0");
    EXPECT_EQ(file.page, "http://c/File:a");
    EXPECT_EQ(file.thumbnail, "https://c/320px-a.jpg");
    const ArchiveAnswer searx = readArchiveAnswer(
        ServiceId::SearXNG,
        R"({"results":[{"img_src":"http://s/a.jpg","thumbnail_src":"http://s/t.jpg"}]})", 1);
    ASSERT_EQ(searx.pictures.size(), 1u);
    EXPECT_EQ(searx.pictures[0].source.thumbnail, "http://s/t.jpg");
    EXPECT_EQ(commons.pictures[0].size, 777);
}

// Titles, creators and licences as plain text; types the link check must settle; and the
// services' own words in their error answers.
TEST(ArchiveAnswers, FieldsArePlainTextAndErrorsKeepTheServicesWords) {
    // An HTML field (true) or a plain one (false), and its text.
    const std::tuple<bool, const char*, const char*> fields[] = {
        {true, "<a href=\"x\">Ann &amp; <b>Bo</b></a>\n  &lt;studio&gt;", "Ann & Bo <studio>"},
        {true, "Caf&eacute;&#160;&mdash;&#x27;s&#39;", "Caf\xc3\xa9 \xe2\x80\x94's'"},
        {true, "&#0; &#xD800; &#1114112;", "\xef\xbf\xbd \xef\xbf\xbd \xef\xbf\xbd"},
        {true, "R&D; &unknown; &", "R&D; &unknown; &"},
        {true, "<ul><li>Photo: Ann</li><li>Edit: Bob</li></ul>", "Photo: Ann; Edit: Bob"},
        {true, "Ann<br>Scan: Cy<br/>", "Ann; Scan: Cy"},
        {true, "<table><tr><td>A</td><td>B</td></tr><tr><td>C</td></tr></table>", "A; B; C"},
        {true, "<p>One</p>\n<p></p><div>Two</div>", "One; Two"},
        {true, "&euml; &Aring; &euro; &NotNestedGreaterGreater; &amp", "\xc3\xab \xc3\x85 \xe2\x82\xac \xe2\xaa\xa2\xcc\xb8 &"},
        {true, "a\xff<script>x()</script>b", "a\xef\xbf\xbd" "b"},
        {false, "I <3 sunsets", "I <3 sunsets"},
        {false, "a < b and c > d &amp; <b>e</b>", "a < b and c > d & <b>e</b>"},
        {false, "  Zo&euml;&nbsp; </textarea> ", "Zo\xc3\xab </textarea>"},
    };
    for (const auto& [html, in, out] : fields)
        EXPECT_EQ(html ? lumi::htmlFieldText(in) : lumi::plainFieldText(in), out) << in;
    std::string link;
    EXPECT_EQ(lumi::htmlFieldText("<i>by</i> <a href=\"https://u/ann\">Ann</a> <a href=\"b\">B</a>", &link),
              "by Ann B");
    EXPECT_EQ(link, "https://u/ann");

    const ArchiveAnswer openverse = readArchiveAnswer(
        ServiceId::Openverse,
        R"({"results":[{"url":"https://up.wikimedia.org/a.jpg","title":"File:Tide &amp; pool.jpg",
            "creator":"<span>Ann</span>"},{"url":"https://cdn.a/get?id=3"}]})",
        1);
    ASSERT_EQ(openverse.pictures.size(), 2u);
    EXPECT_EQ(openverse.pictures[0].source.title, "Tide & pool");
    EXPECT_EQ(openverse.pictures[0].source.creator, "<span>Ann</span>") << "plain text, as documented";
    const ArchiveAnswer surrogate = readArchiveAnswer(
        ServiceId::SearXNG, R"({"results":[{"img_src":"http://s/1.jpg","title":"a\ud800b\ud83d\ude00"}]})", 1);
    ASSERT_EQ(surrogate.pictures.size(), 1u);
    EXPECT_EQ(surrogate.pictures[0].source.title, "a\xef\xbf\xbd" "b\xf0\x9f\x98\x80") << "a lone one only";
    EXPECT_FALSE(openverse.pictures[0].typeUnknown);
    EXPECT_TRUE(openverse.pictures[1].typeUnknown) << "no type, no .jpg: the check decides";

    const ArchiveAnswer lagged = readArchiveAnswer(
        ServiceId::Commons, R"({"error":{"code":"maxlag","info":"Waiting for db1: 7 seconds lagged."}})", 0);
    EXPECT_FALSE(lagged.understood);
    EXPECT_TRUE(lagged.lagged);
    EXPECT_EQ(lagged.message, "Waiting for db1: 7 seconds lagged.");
    const ArchiveAnswer throttled =
        readArchiveAnswer(ServiceId::Openverse, R"({"detail":"Request was throttled."})", 1);
    EXPECT_EQ(throttled.message, "Request was throttled.");
    EXPECT_FALSE(throttled.lagged);
}

// Each licence, by its code or without one by its name, against every filter: a picture
// passes only what its licence allows, and one without a licence passes only "any".
TEST(ArchiveAnswers, LicenceFilterPassesWhatEachLicenceAllows) {
    using lumi::LicenceFilter;
    struct Case {
        const char* code;
        const char* name;
        const char* passes; // a: any, c: commercial, m: modify, b: both, p: public domain
    };
    const Case cases[] = {
        {"by", "", "acmb"},          {"by-sa", "", "acmb"},       {"by-nd", "", "ac"},
        {"by-nc", "", "am"},         {"by-nc-sa", "", "am"},      {"by-nc-nd", "", "a"},
        {"cc0", "", "acmbp"},        {"pdm", "", "acmbp"},        {"sampling+", "", "acmb"},
        {"nc-sampling+", "", "am"},  {"cc-by-sa-4.0", "", "acmb"}, {"cc-by-nc-2.0", "", "am"},
        {"pd", "", "acmbp"},         {"", "CC BY-ND 4.0", "ac"},  {"", "Public domain", "acmbp"},
        {"", "CC0 1.0", "acmbp"},    {"", "", "a"},               {"", "All rights reserved", "a"},
        {"gfdl", "GFDL", "a"},       {"by-nc", "CC BY 4.0", "am"},
    };
    const std::pair<char, LicenceFilter> filters[] = {
        {'a', LicenceFilter::Any},          {'c', LicenceFilter::Commercial},
        {'m', LicenceFilter::Modify},       {'b', LicenceFilter::CommercialAndModify},
        {'p', LicenceFilter::PublicDomain}};
    for (const Case& c : cases)
        for (const auto& [letter, filter] : filters)
            EXPECT_EQ(lumi::licencePasses(filter, c.code, c.name),
                      std::string(c.passes).find(letter) != std::string::npos)
                << c.code << " / " << c.name << " / " << lumi::licenceFilterWord(filter);
    for (const auto& entry : filters) {
        LicenceFilter read = LicenceFilter::Any;
        EXPECT_TRUE(lumi::licenceFilterFromWord(lumi::licenceFilterWord(entry.second), read));
        EXPECT_EQ(read, entry.second);
    }
    LicenceFilter kept = LicenceFilter::Modify;
    EXPECT_FALSE(lumi::licenceFilterFromWord("free", kept));
    EXPECT_EQ(kept, LicenceFilter::Modify);
    EXPECT_EQ(lumi::licenceNameOfCode("sampling+", ""), "CC Sampling+ 1.0");
    EXPECT_EQ(lumi::licenceNameOfCode("by-nc-sa", "3.0"), "CC BY-NC-SA 3.0");
}
