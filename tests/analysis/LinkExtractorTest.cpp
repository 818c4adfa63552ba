#include "analysis/unit_LinkExtractor.h"

#include <gtest/gtest.h>

#include "RecordingHost.h"

using namespace lumi::test;

namespace {

const std::string kPage = "http://host/dir/page.htm";

Calls extract(RecordingHost& host, const lumi::PageLines& lines) {
    StartExtractLoop(host, lines, kPage);
    return host.calls;
}

Calls extract(const lumi::PageLines& lines) {
    RecordingHost host;
    return extract(host, lines);
}

} // namespace

TEST(LinkExtractor, ThumbnailLinkedToAPictureGivesThePictureOnly) {
    EXPECT_EQ(extract({R"(<a href="big.jpg"><img src="small.jpg"></a>)"}),
              (Calls{checked("http://host/dir/big.jpg"), checked("http://host/dir/big.jpg")}))
        << "anchor pass and line pass; the quoted pass skips lines with src, img and href";
}

TEST(LinkExtractor, ThumbnailLinkedToAPageQueuesThePageOnlyWhenRecursive) {
    const lumi::PageLines page = {R"(<a href="pic.htm"><img src="small.jpg"></a>)",
                                  R"(<A HREF="x.htm/up.HTML"><IMG SRC="s2.jpg"></A>)"};
    EXPECT_TRUE(extract(page).empty());
    RecordingHost host;
    host.recursive = true;
    EXPECT_EQ(extract(host, page),
              (Calls{queued("http://host/dir/pic.htm", 0), queued("http://host/dir/pic.htm", 0)}))
        << ".HTML in capitals is some other extension: nothing taken, nothing queued";

    RecordingHost thumbs;
    CheckNewPageForSrc(
        thumbs,
        {R"(<img src="a.jpg"><img src="b.jpg">)", R"(<p>c.jpg</p>)", R"(<IMG SRC="../d.JPG">)"},
        "http://host/dir/pic.htm");
    EXPECT_EQ(thumbs.calls, (Calls{checked("http://host/dir/a.jpg"), checked("http://host/d.JPG")}))
        << "first source per line; a line without src= gives nothing";
}

TEST(LinkExtractor, RefusedOrExtensionlessTargetsFallBackToTheThumbnail) {
    EXPECT_EQ(extract({R"(<a href="page.php"><img src="t1.jpg"></a>)"}),
              (Calls{checked("http://host/dir/t1.jpg"), checked("http://host/dir/t1.jpg")}))
        << "a target without .htm/.jpg is refused, leaving no extension";
    EXPECT_EQ(extract({R"(<a href="http://other/big.jpg"><img src="t2.jpg"></a>)"}),
              (Calls{checked("http://host/dir/t2.jpg"), checked("http://host/dir/t2.jpg")}));
    EXPECT_EQ(extract({R"(<a href="x.gif.htm/y.gif"><img src="t3.jpg"></a>)"}), Calls{})
        << "any other extension gives nothing";
}

TEST(LinkExtractor, TextLinksArePicturesOnly) {
    RecordingHost host;
    host.recursive = true;
    EXPECT_EQ(extract(host, {R"(<a href="pic.jpg">the picture</a> <a href="page.htm">a page</a>)"}),
              (Calls{checked("http://host/dir/pic.jpg"), checked("http://host/dir/pic.jpg"),
                     checked("http://host/dir/pic.jpg")}));
}

TEST(LinkExtractor, ImagesWithoutAnchorsAndQuotedValuesAreTaken) {
    EXPECT_EQ(extract({R"(<img src="pic.jpg">)"}),
              (Calls{checked("http://host/dir/pic.jpg"), checked("http://host/dir/pic.jpg")}));
    EXPECT_EQ(extract({R"(<body background="/bg.jpg">)"}), (Calls{checked("http://host/bg.jpg")}));
}

TEST(LinkExtractor, AnchorSpanningLinesIsJudgedWholeAndLineByLine) {
    EXPECT_EQ(extract({R"(<a href="big.jpg">)", R"(<img src="small.jpg">)", "</a>"}),
              (Calls{checked("http://host/dir/big.jpg"), checked("http://host/dir/big.jpg"),
                     checked("http://host/dir/small.jpg"), checked("http://host/dir/big.jpg"),
                     checked("http://host/dir/small.jpg")}));
}

// Link forms of today's pages, each taken by its real extent and made absolute once.
TEST(LinkExtractor, TodaysLinkFormsAndJpegNamesAreTakenWhole) {
    struct Case {
        const char* line;
        Calls expected;
    };
    const Case cases[] = {
        {R"(<img src="https://h/x.jpg">)",
         {checked("https://h/x.jpg"), checked("https://h/x.jpg")}},
        {R"(<img src="//h/x.jpg">)", {checked("http://h/x.jpg"), checked("http://h/x.jpg")}},
        {R"(<img src=pics/i.jpg>)",
         {checked("http://host/dir/pics/i.jpg"), checked("http://host/dir/pics/i.jpg")}},
        {R"(<img src='pics/s.jpg' alt="x">)",
         {checked("http://host/dir/pics/s.jpg"), checked("http://host/dir/pics/s.jpg")}},
        {R"~(<div style="background-image:url('pics/c.jpg')">)~",
         {checked("http://host/dir/pics/c.jpg")}},
        {R"~(<div style="background:url(pics/d.jpg) no-repeat">)~",
         {checked("http://host/dir/pics/d.jpg")}},
        {R"(<img src="p/a.jpg?f=1&amp;g=2">)",
         {checked("http://host/dir/p/a.jpg?f=1&g=2"), checked("http://host/dir/p/a.jpg?f=1&g=2")}},
        {R"(<img src="CAM_01.JPG"> <img src="b.jpeg">)",
         {checked("http://host/dir/CAM_01.JPG"), checked("http://host/dir/CAM_01.JPG"),
          checked("http://host/dir/b.jpeg")}},
        {R"(<a href="big.JPEG"><img src="t.jpg"></a>)",
         {checked("http://host/dir/big.JPEG"), checked("http://host/dir/big.JPEG")}},
        {R"(<a href='h.jpg?size=large'><img src="t.jpg"></a>)",
         {checked("http://host/dir/h.jpg?size=large"),
          checked("http://host/dir/h.jpg?size=large")}},
        {R"(x "a.jpg?size=large" y.jpg.html "z.jpgx")",
         {checked("http://host/dir/a.jpg?size=large")}},
        {R"(<a href="show.php?f=a.jpg">a picture</a> "b.jpg/c")", {}},
        {R"(<a href="/x.jpeg?n">a picture</a>)",
         {checked("http://host/x.jpeg?n"), checked("http://host/x.jpeg?n"),
          checked("http://host/x.jpeg?n")}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(extract({c.line}), c.expected) << c.line;
}

TEST(LinkExtractor, CheckLinksOffListsOnceThanksToTheFoundList) {
    RecordingHost host;
    host.checkLinks = false;
    EXPECT_EQ(extract(host, {R"(<a href="big.jpg"><img src="small.jpg"></a>)", R"(x="BIG.jpg")"}),
              (Calls{listed("http://host/dir/big.jpg")}))
        << "the found-list test ignores letter case";
    host.calls.clear();
    host.checkLinks = true;
    host.found.clear();
    EXPECT_EQ(extract(host, {R"("one.jpg")"}), (Calls{checked("http://host/dir/one.jpg")}))
        << "the state is read at each address";
}

TEST(LinkExtractor, ResolvesLinksAgainstThePageAddress) {
    RecordingHost host;
    StartExtractLoop(host,
                     {R"("../up.jpg" "/root.jpg" "http://abs/x.jpg" "ftp://f/y.jpg" "sub/z.jpg")"},
                     "http://h:81/a/b/");
    EXPECT_EQ(host.calls, (Calls{checked("http://h:81/a/up.jpg"), checked("http://h:81/root.jpg"),
                                 checked("http://abs/x.jpg"), checked("ftp://f/y.jpg"),
                                 checked("http://h:81/a/b/sub/z.jpg")}));
}

TEST(LinkExtractor, AnchorPassCutsAtTheFirstSlashA) {
    RecordingHost host;
    HtmlPageToOneLine(host, {R"(<a href="/a/big.jpg">x</a>)", R"(<a href="ok.jpg">y</A>)"}, kPage);
    EXPECT_EQ(host.calls, (Calls{checked("http://host/dir/ok.jpg")}))
        << "an anchor whose target begins with /a is missed; the next one is found";
}

TEST(LinkExtractor, AnchorPassEndsWhenNoClosingTagIsLeft) {
    RecordingHost host;
    HtmlPageToOneLine(host, {R"(<a href="a.jpg">a/a> <a href="b.jpg">b/a>)"}, kPage);
    EXPECT_EQ(host.calls, (Calls{checked("http://host/dir/a.jpg")}))
        << "the anchor is judged once, not again and again";
}

TEST(LinkExtractor, AnchorPassIgnoresHowThePageIsSplitIntoLines) {
    const std::string page = R"(<p><a href="big.jpg"><img src="s.jpg"></a><A HREF="x.htm">t</A>)"
                             R"(<a href="c.jpg">c</a><img src="lone.jpg"></p>)";
    RecordingHost whole;
    whole.recursive = true;
    HtmlPageToOneLine(whole, {page}, kPage);
    ASSERT_EQ(whole.calls,
              (Calls{checked("http://host/dir/big.jpg"), checked("http://host/dir/c.jpg")}));
    for (size_t cut = 0; cut <= page.size(); ++cut)
        for (size_t cut2 = cut; cut2 <= page.size(); cut2 += 7) {
            RecordingHost split;
            split.recursive = true;
            HtmlPageToOneLine(
                split, {page.substr(0, cut), page.substr(cut, cut2 - cut), page.substr(cut2)},
                kPage);
            ASSERT_EQ(split.calls, whole.calls) << "cut at " << cut << " and " << cut2;
        }
}

TEST(LinkExtractor, HrefTargetsAreTakenByTheirQuotesOrUpToTheTagsEnd) {
    EXPECT_EQ(Find_HREF_param(R"(<a href="x.jpg">)", kPage), "http://host/dir/x.jpg");
    EXPECT_EQ(Find_HREF_param(R"(<a HREF="x.JPG">)", kPage), "http://host/dir/x.JPG");
    EXPECT_EQ(Find_HREF_param(R"(<a href="x.html">)", kPage), "http://host/dir/x.html");
    EXPECT_EQ(Find_HREF_param(R"(<a href='x.jpg'>)", kPage), "http://host/dir/x.jpg");
    EXPECT_EQ(Find_HREF_param(R"(<a href=x.jpg>)", kPage), "http://host/dir/x.jpg");
    EXPECT_EQ(Find_HREF_param(R"(<a href = "x.jpg">)", kPage), "");
    EXPECT_EQ(Find_IMG_SRC_param(R"(<img src = "d.jpg">)", kPage), "") << "no src= gives no link";
    EXPECT_EQ(Find_HREF_param(R"(<a href="x.jpg)", kPage), "") << "no closing quote";
    EXPECT_EQ(Find_HREF_param(R"(<a href="/httpd/x.jpg">)", kPage), "") << "http anywhere refuses";
}

TEST(LinkExtractor, QuotedScanStaysInsideTheRemainingText) {
    RecordingHost host;
    ScanLineForQuotedJPG(host, R"("a.jpg" x.jpg background=y.jpg "A.JPG" 'q.jpg' "b.jpg")", kPage);
    EXPECT_EQ(host.calls,
              (Calls{checked("http://host/dir/a.jpg"), checked("http://host/dir/y.jpg"),
                     checked("http://host/dir/A.JPG"), checked("http://host/dir/q.jpg"),
                     checked("http://host/dir/b.jpg")}))
        << "a word in the text is no value";
    host.calls.clear();
    ScanLineForQuotedJPG(host, R"(x.JPG "c.jpgz" "d.jpg"e.jpg)", kPage);
    EXPECT_EQ(host.calls, (Calls{checked("http://host/dir/d.jpg")}))
        << "a value going on after .jpg names no JPEG; the quote closing d is consumed with it";
}

TEST(LinkExtractor, AFailingHandOffLeavesTheRestOfThePageScanned) {
    ErrorCapture errors;
    RecordingHost host;
    host.failAtCall = 0;
    StartExtractLoop(host, {R"(<img src="a.jpg">)", R"("b.jpg")"}, kPage);
    EXPECT_EQ(host.calls,
              (Calls{checked("http://host/dir/a.jpg"), checked("http://host/dir/b.jpg")}));
    EXPECT_EQ(errors.texts, (std::vector<std::string>{"error code : #0016 (AddFIleTolist)"}));

    RecordingHost thumbs;
    thumbs.failAtCall = 0;
    thumbs.recursive = true;
    EXPECT_EQ(CheckHrefForThumbsAndNewPage(thumbs, R"(<a href="p.htm"><img src="t.jpg">)", kPage),
              "");
    EXPECT_EQ(errors.texts.back(), "error code : #0017 (CheckHrefForThumbsAndNewPage)");
}

TEST(LinkExtractor, CheckLinksIsReadAtEachAddressHandedOn) {
    // The box is unticked while the first address is being checked.
    struct UntickingHost : RecordingHost {
        void QueueForCheckLink(const std::string& url) override {
            RecordingHost::QueueForCheckLink(url);
            checkLinks = false;
        }
    } host;
    StartExtractLoop(host, {R"(<p style="x" data-a="a.jpg" data-b="b.jpg">)"}, kPage);
    EXPECT_EQ(host.calls,
              (Calls{checked("http://host/dir/a.jpg"), listed("http://host/dir/b.jpg")}));
}
