// The results gate (AddToListView), the size filter with and without settings, and the
// results model's rows, batching and clearing rule.
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "EngineTestSupport.h"
#include "base/OptionsSettings.h"

using lumi::test::EngineUnderTest;

namespace {

std::string sizeTextOf(lumi::SearchEngine& engine, const std::string& url) {
    const long i = engine.FoundList.indexOf(url);
    return i < 0 ? std::string("(not listed)")
                 : engine.results().row(static_cast<size_t>(i)).sizeText;
}

} // namespace

// A fresh install applies the bounds the options dialog shows: at least 20 kb, no upper bound.
TEST(ResultsList, SizeBoundsWithoutSettingsKeysAreTheOptionsDialogs) {
    EngineUnderTest engine;
    const lumi::OptionsValues shown = lumi::readOptions(engine->settings());
    ASSERT_TRUE(shown.largerThanBool && !shown.smallerThanBool && shown.largerThan == "20");
    engine->SearchButtonClick("x");
    engine->AddToListView("http://h/20000.jpg", 20000);
    engine->AddToListView("http://h/19999.jpg", 19999);
    engine->AddToListView("http://h/11800000.jpg", 11800000);
    engine->AddToListView("http://h/zero.jpg", 0);
    engine->AddToListView("http://h/nolength.jpg", -1);
    EXPECT_EQ(sizeTextOf(*engine, "http://h/20000.jpg"), "20000");
    EXPECT_EQ(sizeTextOf(*engine, "http://h/19999.jpg"), "(not listed)");
    EXPECT_EQ(sizeTextOf(*engine, "http://h/11800000.jpg"), "11800000");
    EXPECT_EQ(sizeTextOf(*engine, "http://h/zero.jpg"), "UNKNOWN");
    EXPECT_EQ(sizeTextOf(*engine, "http://h/nolength.jpg"), "UNKNOWN");
    EXPECT_EQ(engine->display().foundText, "4");
}

TEST(ResultsList, SizeBoundsFromSettingsIn64Bits) {
    EngineUnderTest engine;
    engine.option("SmallerThanbool", "0"); // the dialog's spelling; keys match in any case
    engine.option("LargerThan", "0x14");
    EXPECT_FALSE(engine->CheckSizeLimits(19999));
    EXPECT_TRUE(engine->CheckSizeLimits(20000));
    EXPECT_TRUE(engine->CheckSizeLimits(int64_t{50} * 1000 * 1000 * 1000)) << "upper bound off";

    engine.option("SmallerThanBool", "1");
    engine.option("SmallerThan", "5000000"); // 5e9 bytes: past 32 bits
    engine.option("LargerThan", "3000000");  // 3e9 bytes
    EXPECT_FALSE(engine->CheckSizeLimits(2999999999)) << "the lower bound must not wrap negative";
    EXPECT_TRUE(engine->CheckSizeLimits(3000000000));
    EXPECT_TRUE(engine->CheckSizeLimits(4000000000)) << "the upper bound must not wrap small";
    EXPECT_TRUE(engine->CheckSizeLimits(5000000000));
    EXPECT_FALSE(engine->CheckSizeLimits(5000000001));

    engine.option("LargerThanBool", "0");
    EXPECT_TRUE(engine->CheckSizeLimits(1));
    engine.option("LargerThan", "abc");
    engine.option("LargerThanBool", "1");
    EXPECT_FALSE(engine->CheckSizeLimits(19999)) << "an unreadable bound falls back on 20 kb";
    EXPECT_TRUE(engine->CheckSizeLimits(20000));
}

TEST(ResultsList, GateRefusesDuplicatesQueriesAndEverythingWhileNotSearching) {
    EngineUnderTest engine;
    engine->AddToListView("http://h/early.jpg", 0);
    EXPECT_TRUE(engine->FoundList.empty()) << "no rows before a search";

    engine->SearchButtonClick("x");
    engine->AddToListView("http://h/a.jpg", 0);
    engine->AddToListView("HTTP://H/A.JPG", 50000);
    for (const char* refused :
         {"http://h/b.jpg?x", "http://h/c%20d.jpg", "http://h/e&f.jpg", "http://h/g=h.jpg"})
        engine->AddToListView(refused, 0);
    EXPECT_EQ(engine->FoundList.size(), 1u);
    EXPECT_EQ(engine->display().foundText, "1");
    EXPECT_TRUE(engine->foundListContains("http://H/a.jpg"));

    engine->AbortButtonClick();
    engine->AddToListView("http://h/late.jpg", 50000);
    EXPECT_EQ(engine->FoundList.size(), 1u) << "nothing is added after an abort";
}

TEST(ResultsList, OverlongAddressesAndRowsPastTheLimitAreRefused) {
    EngineUnderTest engine;
    engine->SearchButtonClick("x");
    const std::string longest =
        "http://h/" + std::string(lumi::SearchEngine::MaxUrlLength - 13, 'a') + ".jpg";
    ASSERT_EQ(longest.size(), lumi::SearchEngine::MaxUrlLength);
    engine->AddToListView(longest, 0);
    engine->AddToListView("http://h/b" + longest.substr(9), 0);
    ASSERT_EQ(engine->FoundList.size(), 1u);
    EXPECT_EQ(engine->FoundList[0], longest);

    for (size_t i = 1; i < lumi::SearchEngine::MaxFoundRows; ++i)
        engine->AddToListView("http://h/" + std::to_string(i) + ".jpg", 0);
    ASSERT_EQ(engine->FoundList.size(), lumi::SearchEngine::MaxFoundRows);
    engine->AddToListView("http://h/more.jpg", 0);
    EXPECT_EQ(engine->FoundList.size(), lumi::SearchEngine::MaxFoundRows);
    EXPECT_EQ(engine->results().totalRows(), lumi::SearchEngine::MaxFoundRows);
    EXPECT_EQ(engine->display().foundText, std::to_string(lumi::SearchEngine::MaxFoundRows));

    engine->SearchButtonClick("y");
    engine->AddToListView("http://h/more.jpg", 0);
    EXPECT_EQ(engine->FoundList.size(), 1u) << "a new search has room again";
}

TEST(ResultsList, RowsFollowFoundListAndANewSearchEmptiesAll) {
    EngineUnderTest engine;
    engine->SearchButtonClick("x");
    for (int i = 0; i < 7; ++i)
        engine->AddToListView("http://h/dir/pic" + std::to_string(i) + ".jpg", i == 3 ? 123456 : 0);
    EXPECT_EQ(engine->display().foundText, "7");
    ASSERT_EQ(engine->FoundList.size(), 7u);
    lumi::ResultsModel& rows = engine->results();
    rows.publishPendingRows();
    ASSERT_EQ(rows.rowCount(), 7);
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(engine->FoundList[static_cast<size_t>(i)],
                  "http://h/dir/pic" + std::to_string(i) + ".jpg");
        EXPECT_EQ(rows.data(rows.index(i, 0), Qt::DisplayRole).toString(),
                  QStringLiteral("pic%1.jpg").arg(i));
    }
    EXPECT_EQ(rows.data(rows.index(3, 1), Qt::DisplayRole).toString(), QStringLiteral("123 kB"));
    EXPECT_EQ(rows.data(rows.index(3, 1), lumi::ResultsModel::ExactTextRole).toString(),
              QStringLiteral("123456"));
    EXPECT_EQ(rows.data(rows.index(4, 1), Qt::DisplayRole).toString(), QStringLiteral("UNKNOWN"));
    EXPECT_EQ(rows.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Filename:"));
    EXPECT_EQ(rows.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Size:"));

    engine->SearchButtonClick("y");
    EXPECT_EQ(rows.rowCount(), 0);
    EXPECT_EQ(rows.totalRows(), 0u);
    EXPECT_TRUE(engine->FoundList.empty());
    EXPECT_EQ(engine->display().foundText, "0");
}

TEST(ResultsModel, RowsReachViewsInBatches) {
    lumi::ResultsModel rows;
    QSignalSpy inserted(&rows, &QAbstractItemModel::rowsInserted);
    for (int i = 0; i < 1000; ++i)
        rows.appendRow("r" + std::to_string(i), "UNKNOWN");
    EXPECT_EQ(rows.totalRows(), 1000u);
    ASSERT_TRUE(inserted.wait(2000));
    EXPECT_EQ(inserted.count(), 1) << "one insertion for the whole batch";
    EXPECT_EQ(rows.rowCount(), 1000);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 0);
    EXPECT_EQ(inserted.at(0).at(2).toInt(), 999);
}

TEST(ResultsModel, OnlyLongListsSuspendRepaintingWhileCleared) {
    lumi::ResultsModel rows;
    QSignalSpy suspended(&rows, &lumi::ResultsModel::repaintSuspended);
    rows.clearRows();
    for (int i = 0; i < 150; ++i)
        rows.appendRow("a", "1");
    rows.clearRows();
    EXPECT_EQ(rows.totalRows(), 0u);
    EXPECT_EQ(suspended.count(), 0);
    for (int i = 0; i < 250; ++i)
        rows.appendRow("a", "1");
    rows.publishPendingRows();
    rows.clearRows();
    EXPECT_EQ(rows.rowCount(), 0);
    ASSERT_EQ(suspended.count(), 2);
    EXPECT_TRUE(suspended.at(0).at(0).toBool());
    EXPECT_FALSE(suspended.at(1).at(0).toBool());
    for (int i = 0; i < 199; ++i)
        rows.appendRow("a", "1");
    rows.clearRows();
    EXPECT_EQ(suspended.count(), 2) << "199 rows are cleared without suspension";
}

// The Source column and the tooltip's line breaks: an address longer than the line is cut
// after a "/" in the line's second half, else at the width.
TEST(ResultsModel, SourceColumnAndTooltipLines) {
    lumi::PictureSource archive;
    archive.service = lumi::ServiceId::Openverse;
    lumi::PictureSource site;
    site.service = lumi::ServiceId::HotBot;
    site.page = "https://pics.example:8080/dir/page.htm";
    EXPECT_EQ(lumi::sourceColumnText(archive, "http://x/a.jpg"), "Openverse");
    EXPECT_EQ(lumi::sourceColumnText(site, "http://x/a.jpg"), "pics.example:8080");
    EXPECT_EQ(lumi::sourceColumnText({}, "http://x/a.jpg"), "x");
    const struct {
        std::string text, wrapped;
    } cases[] = {
        {"short\nlines", "short\nlines"},
        {"Page: http://host/abcdefgh", "Page: http://host/\nabcdefgh"},
        {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "aaaaaaaaaaaaaaaaaaaa\naaaaaaaaaa"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(lumi::wrapLongLines(c.text, 20), c.wrapped) << c.text;
}

// Sizes read as people count them, names with their escapes decoded, and the names' order
// natural: "-34" before "-304".
TEST(ResultsList, SizesNamesAndOrderReadAsPeopleReadThem) {
    const std::pair<int64_t, const char*> sizes[] = {
        {0, "0 bytes"}, {999, "999 bytes"}, {1000, "1 kB"}, {57499, "57 kB"},
        {999499, "999 kB"}, {999500, "1.0 MB"}, {3450000, "3.5 MB"}};
    for (const auto& [bytes, text] : sizes)
        EXPECT_EQ(lumi::readableSize(bytes), QString::fromLatin1(text)) << bytes;
    EXPECT_EQ(lumi::unescapedName("Harbour%20at%20Night%2076.jpg"),
              QStringLiteral("Harbour at Night 76.jpg"));
    EXPECT_EQ(lumi::unescapedName("caf%C3%A9.jpg"), QStringLiteral("caf\u00e9.jpg"));
    const char* const ordered[] = {"pic-2.jpg", "pic-32.jpg", "pic-034.jpg", "pic-304.jpg",
                                   "pic-353.jpg", "pic-353b.jpg", "Pic-1000.jpg"};
    for (size_t i = 1; i < std::size(ordered); ++i)
        EXPECT_LT(lumi::naturalSortKey(QString::fromLatin1(ordered[i - 1])).toLower(),
                  lumi::naturalSortKey(QString::fromLatin1(ordered[i])).toLower())
            << ordered[i - 1] << " before " << ordered[i];
}
