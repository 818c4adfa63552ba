#include "analysis/UrlUtils.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RecordingHost.h"

namespace {

using lumi::test::ErrorCapture;

const std::string kPage = "http://host/dir/sub/page.htm";

} // namespace

TEST(AnalyzePath, ResolvesTheWorkedExamplesOnOnePage) {
    EXPECT_EQ(AnalyzePath("pic.jpg", kPage), "http://host/dir/sub/pic.jpg");
    EXPECT_EQ(AnalyzePath("img/pic.jpg", kPage), "http://host/dir/sub/img/pic.jpg");
    EXPECT_EQ(AnalyzePath("/img/pic.jpg", kPage), "http://host/img/pic.jpg");
    EXPECT_EQ(AnalyzePath("../pic.jpg", kPage), "http://host/dir/pic.jpg");
    EXPECT_EQ(AnalyzePath("../../../pic.jpg", kPage), "http://host/pic.jpg")
        << "surplus levels stop at the host";
    EXPECT_EQ(AnalyzePath("./pic.jpg", kPage), "http://host/dir/sub/./pic.jpg");
    EXPECT_EQ(AnalyzePath("http://other/x.jpg", kPage), "http://other/x.jpg");
    EXPECT_EQ(AnalyzePath("ftp://other/x.jpg", kPage), "ftp://other/x.jpg");
}

TEST(AnalyzePath, ResolvesOnePictureAgainstOtherPages) {
    EXPECT_EQ(AnalyzePath("pic.jpg", "http://host/dir/sub/"), "http://host/dir/sub/pic.jpg");
    EXPECT_EQ(AnalyzePath("pic.jpg", "http://host/dir/sub"), "http://host/dir/sub/pic.jpg");
    EXPECT_EQ(AnalyzePath("pic.jpg", "http://host/a.b/sub"), "http://host/a.b/pic.jpg")
        << "a dot anywhere in the path makes the last segment a file name";
    EXPECT_EQ(AnalyzePath("pic.jpg", "http://host/"), "http://host/pic.jpg");
    EXPECT_EQ(AnalyzePath("pic.jpg", "http://host/cgi-bin/s.cgi?q=a/b"),
              "http://host/cgi-bin/s.cgi?q=a/pic.jpg");
}

TEST(AnalyzePath, HttpsPagesAndLinksKeepTheirScheme) {
    EXPECT_EQ(AnalyzePath("../pic.jpg", "https://host/dir/sub/"), "https://host/dir/pic.jpg");
    EXPECT_EQ(AnalyzePath("/pic.jpg", "https://host:8443"), "https://host:8443/pic.jpg");
    EXPECT_EQ(AnalyzePath("//other/x.jpg", "https://host/dir/"), "https://other/x.jpg");
    std::string url, path;
    ExtractUrlAndPath("https://host/dir/", url, path);
    EXPECT_EQ(url + "|" + path, "https://host|/dir");
}

TEST(AnalyzePath, AbsoluteLinksInAnyCaseAndNetworkPathsKeepTheirHost) {
    EXPECT_EQ(AnalyzePath("HTTP://other/x.jpg", kPage), "HTTP://other/x.jpg");
    EXPECT_EQ(AnalyzePath("https://other/x.jpg", kPage), "https://other/x.jpg");
    EXPECT_EQ(AnalyzePath("//other/x.jpg", kPage), "http://other/x.jpg");
    EXPECT_EQ(AnalyzePath("", kPage), "http://host/dir/sub/");
}

TEST(AnalyzePath, PageWithoutSlashAfterHostResolvesBelowTheHost) {
    EXPECT_EQ(AnalyzePath("pic.jpg", "http://host"), "http://host/pic.jpg");
    EXPECT_EQ(AnalyzePath("/img/pic.jpg", "http://host"), "http://host/img/pic.jpg");
    EXPECT_EQ(AnalyzePath("../pic.jpg", "http://host:8080"), "http://host:8080/pic.jpg");
}

TEST(AnalyzePath, UpLevelInsideTheLinkIsLeftToTheServer) {
    EXPECT_EQ(AnalyzePath("a/../b.jpg", kPage), "http://host/dir/sub/a/../b.jpg");
    EXPECT_EQ(AnalyzePath("../a/../b.jpg", kPage), "http://host/dir/a/../b.jpg");
}

TEST(CountAndCutUpLevels, CountsAndRemovesLeadingUpLevelsOnly) {
    std::string link = "../../img/a.jpg";
    int levels = 0;
    CountAndCutUpLevels(link, levels);
    EXPECT_EQ(link, "img/a.jpg");
    EXPECT_EQ(levels, 2);

    link = "./../a.jpg";
    levels = 5;
    CountAndCutUpLevels(link, levels);
    EXPECT_EQ(link, "./../a.jpg") << "\"./\" is not special and stops the count";
    EXPECT_EQ(levels, 5) << "levels is added to, not reset";

    link = "../..";
    levels = 0;
    CountAndCutUpLevels(link, levels);
    EXPECT_EQ(link, "..");
    EXPECT_EQ(levels, 1);
}

TEST(ExtractUrlAndPath, SplitsHostAndPath) {
    std::string url = "old", path = "old";
    ExtractUrlAndPath("http://host/dir/sub/page.htm", url, path);
    EXPECT_EQ(url, "http://host");
    EXPECT_EQ(path, "/dir/sub/page.htm");
    ExtractUrlAndPath("http://host/dir/", url, path);
    EXPECT_EQ(url, "http://host");
    EXPECT_EQ(path, "/dir") << "one trailing slash dropped";
    ExtractUrlAndPath("http://host/dir//", url, path);
    EXPECT_EQ(path, "/dir/") << "only one trailing slash dropped";
    ExtractUrlAndPath("http://host/", url, path);
    EXPECT_EQ(path, "");
    ExtractUrlAndPath("http://host", url, path);
    EXPECT_EQ(url, "http://host");
    EXPECT_EQ(path, "");
    ExtractUrlAndPath("", url, path);
    EXPECT_EQ(url, "http://");
    EXPECT_EQ(path, "");
}

TEST(EditOriginURL, GivesTheBaseForEachCase) {
    EXPECT_EQ(EditOriginURL(0, true, kPage), "http://host");
    EXPECT_EQ(EditOriginURL(0, false, kPage), "http://host/dir/sub/");
    EXPECT_EQ(EditOriginURL(1, false, kPage), "http://host/dir/");
    EXPECT_EQ(EditOriginURL(2, false, kPage), "http://host/");
    EXPECT_EQ(EditOriginURL(1000000, false, kPage), "http://host/");
    EXPECT_EQ(EditOriginURL(1, false, "http://host/dir/sub"), "http://host/dir/")
        << "no dot: last segment is a folder";
}

TEST(Mirror, ReversesBytes) {
    EXPECT_EQ(Mirror("abc/d"), "d/cba");
    EXPECT_EQ(Mirror(""), "");
    EXPECT_EQ(Mirror(std::string("a\0\xFF", 3)), std::string("\xFF\0a", 3));
}

TEST(FixHTMLCodes, DecodesEveryTableCodeInExactCaseOnly) {
    const std::vector<std::pair<std::string, std::string>> table = {
        {"%21", "!"},    {"%22", "\""},   {"%24", "$"}, {"%26", "&"},    {"%28", "("},
        {"%29", ")"},    {"%2B", "+"},    {"%2F", "/"}, {"%5B", "["},    {"%5D", "]"},
        {"%3A", ":"},    {"%7E", "~"},    {"%27", "'"}, {"%BD", "\xBD"}, {"%A3", "\xA3"},
        {"%A4", "\xA4"}, {"%A7", "\xA7"}, {"%7B", "{"}, {"%7D", "}"},    {"%3D", "="},
        {"%2E", "."},    {"%5F", "_"},    {"%2D", "-"}, {"%253A", ":"},  {"%252F", "/"},
        {"%257E", "~"},
    };
    for (const auto& [code, byte] : table)
        EXPECT_EQ(FixHTMLCodes("a" + code + "b" + code), "a" + byte + "b" + byte) << code;
    EXPECT_EQ(FixHTMLCodes("http%3A%2F%2Fhost%2Fa.jpg"), "http://host/a.jpg");
    EXPECT_EQ(FixHTMLCodes("%2f%20%3F%25%"), "%2f%20%3F%25%") << "codes outside the table stay";
    EXPECT_EQ(FixHTMLCodes("%252F%25%2F"), "/%25/") << "double-encoded slash decoded in one step";
    EXPECT_EQ(FixHTMLCodes("%%3A3A"), "%:3A") << "a decoded byte never forms a new code";
    EXPECT_EQ(FixHTMLCodes(""), "");
}

TEST(ExtractFileNameFromURL, TakesTheTextAfterTheLastSlash) {
    EXPECT_EQ(ExtractFileNameFromURL("http://host/dir/a.jpg"), "a.jpg");
    EXPECT_EQ(ExtractFileNameFromURL("http://host/dir/"), "");
    EXPECT_EQ(ExtractFileNameFromURL("a.jpg"), "a.jpg");
    EXPECT_EQ(ExtractFileNameFromURL(""), "");
}

TEST(ExtractPageLinkFromURL, TakesTheTextThroughTheLastSlashAndReportsWithoutOne) {
    EXPECT_EQ(ExtractPageLinkFromURL("http://host/dir/a.jpg"), "http://host/dir/");
    EXPECT_EQ(ExtractPageLinkFromURL("http://host/dir/"), "http://host/dir/");
    ErrorCapture errors;
    EXPECT_EQ(ExtractPageLinkFromURL("a.jpg"), "");
    EXPECT_EQ(ExtractPageLinkFromURL(""), "");
    EXPECT_EQ(errors.texts,
              (std::vector<std::string>{"error code : #0036 (ExtractPageLinkFromURL)",
                                        "error code : #0036 (ExtractPageLinkFromURL)"}));
}

TEST(MakeValidDir, RemovesForbiddenCharactersAndOneLeadingDot) {
    EXPECT_EQ(MakeValidDir("cats/dogs?"), "catsdogs");
    EXPECT_EQ(MakeValidDir("\"a?b*c/d>e<f|g\\h\""), "abcdefgh");
    EXPECT_EQ(MakeValidDir(".hidden"), "hidden");
    EXPECT_EQ(MakeValidDir("..hidden"), ".hidden") << "only one leading dot removed";
    EXPECT_EQ(MakeValidDir("a: b c"), "a: b c") << "colon and blanks stay";
    EXPECT_EQ(MakeValidDir("/.x"), "x") << "the dot test comes after the removals";
    EXPECT_EQ(MakeValidDir(""), "");
    EXPECT_EQ(MakeValidDir("?*"), "");
}

TEST(MakeValidDir, NeverNamesTheChosenFolderOrItsParent) {
    EXPECT_EQ(MakeValidDir("..."), "");
    EXPECT_EQ(MakeValidDir(".."), "");
    EXPECT_EQ(MakeValidDir("./.."), "");
    EXPECT_EQ(MakeValidDir(".\\.\\."), "");
    EXPECT_EQ(MakeValidDir(std::string("..\0x", 4)), ".x")
        << "a NUL byte cannot cut the name to \"..\"";
    EXPECT_EQ(MakeValidDir(std::string("..\0.", 4)), "");
    EXPECT_EQ(MakeValidDir("...."), "...") << "three dots are an ordinary name";
}
