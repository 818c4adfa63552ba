// Search start, abort, Enter in the phrase box, the blink, the queues' duplicate tests and
// the results gate, driven by hand with the engine's timers stopped.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QSignalSpy>

#include "EngineTestSupport.h"
#include "analysis/UrlUtils.h"
#include "engine/RunningLines.h"
#include "engine/SearchPhrase.h"

using lumi::test::EngineUnderTest;
using testing::ElementsAre;

namespace {

std::vector<std::string> linesOf(const lumi::StringList& list) {
    return {list.begin(), list.end()};
}

} // namespace

// Guards against searches that could never send anything ("Searching..." for ever): a phrase
// of blanks and one longer than the phrase box takes start nothing, as an empty one.
TEST(SearchSession, PhrasesThatCannotSearchOnlyEmptySeenPagesAndSetLimitsAndFolderName) {
    for (const std::string& phrase :
         {std::string(), std::string(" \t \r\n "), std::string(lumi::MaxPhraseLength + 1, 'x')}) {
        SCOPED_TRACE(phrase.size());
        EngineUnderTest engine;
        engine->SearchButtonClick("red cars");
        engine->AbortButtonClick();
        engine->QueueForGetPage("http://h/p1", 99);
        engine->SearchButtonClick(phrase);
        EXPECT_TRUE(engine->GetPageSeen.empty());
        EXPECT_EQ(engine->GetPageClientLimit, 4) << "no settings file: modem limits";
        EXPECT_EQ(engine->CheckLinkClientLimit, 9);
        EXPECT_EQ(engine->SearchDirName, "red cars") << "the last search's folder stays";
        EXPECT_FALSE(engine->Searching);
        EXPECT_EQ(engine->GetPageQueue.size(), 1u) << "queues are not touched";
        EXPECT_EQ(engine->display().statusText, "Ready");
        EXPECT_FALSE(engine->display().abortButtonVisible);
        EXPECT_FALSE(engine->TimerBlinkSearch->isActive());
    }
}

TEST(SearchSession, TheLongestPhraseFitsEveryServicesAddress) {
    EngineUnderTest engine({"hotbot.example.com:8080", "lycos.example.com:8080", "sc.test"});
    engine->SearchButtonClick(std::string(lumi::MaxPhraseLength, '&')); // each byte as "%26"
    EXPECT_TRUE(engine->Searching);
    EXPECT_EQ(engine->GetPageQueue.size(), 4u) << "no address is over the bound";
}

TEST(SearchSession, StartQueuesOneResultPagePerServiceAndShowsAbort) {
    EngineUnderTest engine({"hb.test", "ly.test", "sc.test"});
    engine.option("SlowConnection", "0");
    bool recursive = false;
    engine->setRecursiveSearchReader([&] { return recursive; });
    QSignalSpy changes(engine.engine.get(), &lumi::SearchEngine::displayChanged);

    engine->SearchButtonClick(" Red/Car ");
    EXPECT_TRUE(engine->Searching);
    EXPECT_EQ(engine->GetPageClientLimit, 19);
    EXPECT_EQ(engine->CheckLinkClientLimit, 24);
    EXPECT_EQ(engine->SearchDirName, "RedCar") << "from the trimmed phrase";
    EXPECT_FALSE(engine->SearchRecursive);
    ASSERT_EQ(engine->GetPageQueue.size(), 4u);
    const auto addresses = lumi::searchAddresses({"hb.test", "ly.test", "sc.test"}, " Red/Car ");
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(engine->GetPageQueue[i],
                  addresses[i].url + "\t" + std::to_string(addresses[i].engine));
    EXPECT_THAT(engine->GetPageQueue[0], testing::EndsWith("MT=Red%2FCar\t2"));

    engine->AbortButtonClick();
    engine->SearchButtonClick(" caf\u00e9 \u6771\u4eac ");
    EXPECT_EQ(engine->SearchDirName, "caf\u00e9 \u6771\u4eac") << "as typed, in UTF-8";
    EXPECT_THAT(engine->GetPageQueue[0],
                testing::EndsWith("MT=caf%E9+%26%2326481%3B%26%2320140%3B\t2"));
    EXPECT_EQ(engine->GetPageSeen.size(), 4u);
    EXPECT_EQ(engine->display().statusText, "Searching...");
    EXPECT_TRUE(engine->display().abortButtonVisible);
    EXPECT_TRUE(engine->TimerBlinkSearch->isActive());
    EXPECT_GT(changes.count(), 0);

    recursive = true;
    engine->AbortButtonClick();
    engine->SearchButtonClick("x");
    EXPECT_TRUE(engine->SearchRecursive) << "the box is read at every start";
    EXPECT_EQ(engine->GetPageClientLimit, 19);
}

TEST(SearchSession, AbortMarksEveryRunningLineDoneAndKeepsTheRows) {
    EngineUnderTest engine;
    engine->SearchButtonClick("cats");
    engine->AddToListView("http://h/a.jpg", 0);
    engine->QueueForCheckLink("http://h/b.jpg");
    engine->GetPageRunning.add("4294967295\thttp://h/p");
    engine->GetPageRunning.add("X\thttp://h/q");
    engine->CheckLinkRunning.add("17\t12345");
    engine->Timer3->start();

    engine->AbortButtonClick();
    EXPECT_FALSE(engine->Searching);
    EXPECT_TRUE(engine->GetPageQueue.empty());
    EXPECT_TRUE(engine->CheckLinkQueue.empty());
    EXPECT_THAT(linesOf(engine->GetPageRunning), ElementsAre("X\thttp://h/p", "X\thttp://h/q"));
    EXPECT_THAT(linesOf(engine->CheckLinkRunning), ElementsAre("X\t12345"));
    EXPECT_TRUE(engine->Timer3->isActive()) << "a running sweep runs again after the abort";
    EXPECT_FALSE(engine->Timer4->isActive());
    EXPECT_EQ(engine->display().statusText, "Ready");
    EXPECT_TRUE(engine->display().statusVisible);
    EXPECT_FALSE(engine->display().abortButtonVisible);
    EXPECT_FALSE(engine->TimerBlinkSearch->isActive());
    EXPECT_EQ(engine->FoundList.size(), 1u);
    EXPECT_EQ(engine->results().totalRows(), 1u);
    EXPECT_EQ(engine->display().foundText, "1");
    EXPECT_EQ(engine->GetPageSeen.size(), 4u) << "seen pages stay until the next start";
}

TEST(SearchSession, EnterAbortsARunningSearchAndStartsTheNewPhrase) {
    EngineUnderTest engine({"h", "h", "h"});
    char other = 'a';
    engine->Edit1KeyPress(other, "dogs");
    EXPECT_EQ(other, 'a');
    EXPECT_FALSE(engine->Searching);

    char enter = 13;
    engine->Edit1KeyPress(enter, "dogs");
    EXPECT_EQ(enter, 0);
    EXPECT_TRUE(engine->Searching);
    engine->QueueForCheckLink("http://h/old.jpg");
    engine->GetPageRunning.add("5\thttp://h/old");
    engine->TimerBlinkSearchTimer(); // hidden at the moment of the Enter

    enter = 13;
    engine->Edit1KeyPress(enter, "birds");
    EXPECT_TRUE(engine->Searching);
    EXPECT_EQ(engine->display().statusText, "Searching...");
    EXPECT_TRUE(engine->display().abortButtonVisible);
    EXPECT_TRUE(engine->CheckLinkQueue.empty());
    ASSERT_EQ(engine->GetPageQueue.size(), 4u) << "only the new phrase's pages wait";
    EXPECT_THAT(engine->GetPageQueue[0], testing::HasSubstr("MT=birds\t2"));
    EXPECT_THAT(linesOf(engine->GetPageRunning), ElementsAre("X\thttp://h/old"));
    EXPECT_TRUE(engine->display().statusVisible);

    enter = 13;
    engine->Edit1KeyPress(enter, "");
    EXPECT_FALSE(engine->Searching) << "Enter with an empty box aborts and starts nothing";
    EXPECT_EQ(engine->display().statusText, "Ready");
}

TEST(SearchSession, BlinkFlipsTheStatusVisibility) {
    EngineUnderTest engine;
    engine->SearchButtonClick("x");
    EXPECT_TRUE(engine->display().statusVisible);
    engine->TimerBlinkSearchTimer();
    EXPECT_FALSE(engine->display().statusVisible);
    engine->TimerBlinkSearchTimer();
    EXPECT_TRUE(engine->display().statusVisible);
    EXPECT_EQ(engine->TimerBlinkSearch->interval(), 1000);
}

TEST(FetchQueues, PageDuplicatesCountOverAllSearchesButAreTrackedPerSearch) {
    EngineUnderTest engine;
    engine->SearchButtonClick("x");
    engine->QueueForGetPage("http://h/Page", 99);
    engine->QueueForGetPage("HTTP://H/page", 0);
    EXPECT_EQ(engine->GetPageQueue.size(), 5u);
    EXPECT_EQ(engine->GetPageQueue[4], "http://h/Page\t99") << "stored exactly as passed";
    EXPECT_EQ(engine->display().doubleGetPageText, "1");

    engine->AbortButtonClick();
    engine->QueueForGetPage("http://h/late", 99);
    EXPECT_EQ(engine->GetPageQueue.size(), 1u) << "queueing does not test Searching";

    engine->SearchButtonClick("x");
    engine->QueueForGetPage("http://h/page", 99);
    engine->QueueForGetPage("http://h/page", 99);
    EXPECT_EQ(engine->GetPageQueue.size(), 6u) << "seen anew after a search start";
    EXPECT_EQ(engine->display().doubleGetPageText, "2");
}

TEST(FetchQueues, PageAddressWithATabIsRefused) {
    EngineUnderTest engine;
    engine->QueueForGetPage("http://h/a\tb", 99);
    EXPECT_TRUE(engine->GetPageQueue.empty());
    EXPECT_TRUE(engine->GetPageSeen.empty());
    EXPECT_EQ(engine->display().doubleGetPageText, "0");
}

TEST(FetchQueues, OverlongAddressesAndFullQueuesAreRefused) {
    EngineUnderTest engine;
    const std::string base = "http://h/";
    const std::string longest = base + std::string(lumi::SearchEngine::MaxUrlLength - 9, 'a');
    ASSERT_EQ(longest.size(), lumi::SearchEngine::MaxUrlLength);
    engine->QueueForGetPage(longest, 99);
    engine->QueueForGetPage(longest + "b", 99);
    engine->QueueForCheckLink(longest);
    engine->QueueForCheckLink(longest + "b");
    EXPECT_THAT(linesOf(engine->GetPageQueue), ElementsAre(longest + "\t99"));
    EXPECT_THAT(linesOf(engine->GetPageSeen), ElementsAre(longest));
    EXPECT_THAT(linesOf(engine->CheckLinkQueue), ElementsAre(longest));
    EXPECT_EQ(engine->display().doubleGetPageText, "0");
    EXPECT_EQ(engine->display().doubleCheckText, "0");

    for (size_t i = 1; i < lumi::SearchEngine::MaxWaitingPages; ++i)
        engine->QueueForGetPage(base + std::to_string(i), 99);
    for (size_t i = 1; i < lumi::SearchEngine::MaxWaitingChecks; ++i)
        engine->QueueForCheckLink(base + std::to_string(i));
    ASSERT_EQ(engine->GetPageQueue.size(), lumi::SearchEngine::MaxWaitingPages);
    ASSERT_EQ(engine->CheckLinkQueue.size(), lumi::SearchEngine::MaxWaitingChecks);
    engine->QueueForGetPage(base + "more", 99);
    engine->QueueForCheckLink(base + "more");
    EXPECT_EQ(engine->GetPageQueue.size(), lumi::SearchEngine::MaxWaitingPages);
    EXPECT_EQ(engine->CheckLinkQueue.size(), lumi::SearchEngine::MaxWaitingChecks);
    EXPECT_FALSE(engine->GetPageSeen.contains(base + "more")) << "a refused page is not seen";
    engine->QueueForGetPage(base + "1", 99);
    engine->QueueForCheckLink(base + "1");
    EXPECT_EQ(engine->display().doubleGetPageText, "1") << "duplicates still count when full";
    EXPECT_EQ(engine->display().doubleCheckText, "1");

    engine->GetPageQueue.removeFirst(); // a dispatcher took one
    engine->CheckLinkQueue.removeFirst();
    engine->QueueForGetPage(base + "more", 99);
    engine->QueueForCheckLink(base + "more");
    EXPECT_EQ(engine->GetPageQueue[engine->GetPageQueue.size() - 1], base + "more\t99");
    EXPECT_EQ(engine->CheckLinkQueue[engine->CheckLinkQueue.size() - 1], base + "more");
}

TEST(FetchQueues, CheckDuplicatesCountOnlyWhileWaiting) {
    EngineUnderTest engine;
    engine->QueueForCheckLink("http://h/a.jpg");
    engine->QueueForCheckLink("http://H/A.JPG");
    EXPECT_EQ(engine->CheckLinkQueue.size(), 1u);
    EXPECT_EQ(engine->display().doubleCheckText, "1");
    engine->Timer1Timer(); // not searching: the waiting check is taken and dropped
    EXPECT_TRUE(engine->CheckLinkQueue.empty());
    EXPECT_TRUE(engine->CheckLinkClients.empty());
    EXPECT_TRUE(engine->CheckLinkRunning.empty());
    engine->QueueForCheckLink("http://h/a.jpg");
    EXPECT_EQ(engine->CheckLinkQueue.size(), 1u);
    EXPECT_EQ(engine->display().doubleCheckText, "1");
}

TEST(FetchQueues, DispatchersDropWorkTakenWhileNotSearching) {
    EngineUnderTest engine;
    for (int i = 0; i < 10; ++i)
        engine->QueueForGetPage("http://h/" + std::to_string(i), 99);
    engine->Timer2Timer();
    EXPECT_TRUE(engine->GetPageQueue.empty()) << "every line is taken in one tick";
    EXPECT_TRUE(engine->GetPageClients.empty());
    EXPECT_TRUE(engine->GetPageRunning.empty());
}

TEST(Counters, ValueLabelsShowTheirNamesUntilTheFirstTick) {
    EngineUnderTest engine;
    const lumi::SearchDisplay& shown = engine->display();
    EXPECT_EQ(shown.getPageClientsText, "Label9");
    EXPECT_EQ(shown.checkLinkClientsText, "Label10");
    EXPECT_EQ(shown.getPageQueueText, "Label13");
    EXPECT_EQ(shown.checkLinkQueueText, "Label14");
    EXPECT_EQ(shown.processesText, "0");
    engine->QueueForGetPage("http://h/1", 99);
    engine->QueueForGetPage("http://h/2", 99);
    engine->QueueForCheckLink("http://h/1.jpg");
    engine->Timer5Timer();
    EXPECT_EQ(shown.getPageClientsText, "0");
    EXPECT_EQ(shown.checkLinkClientsText, "0");
    EXPECT_EQ(shown.getPageQueueText, "2");
    EXPECT_EQ(shown.checkLinkQueueText, "1");
    EXPECT_EQ(engine->Timer5->interval(), 1000);
    EXPECT_EQ(engine->Timer1->interval(), 200);
    EXPECT_EQ(engine->Timer2->interval(), 500);
    EXPECT_EQ(engine->Timer3->interval(), 100);
    EXPECT_EQ(engine->Timer4->interval(), 100);
}

TEST(Counters, DiagnosticsMemoKeepsItsNewestLines) {
    EngineUnderTest engine;
    QSignalSpy added(engine.engine.get(), &lumi::SearchEngine::diagnosticsLineAdded);
    engine->appendDiagnosticsLine("error code : #0043 (ExractDataFromScourNet)");
    ASSERT_EQ(added.count(), 1);
    EXPECT_EQ(added.at(0).at(0).toString(),
              QStringLiteral("error code : #0043 (ExractDataFromScourNet)"));
    for (size_t i = 0; i < lumi::SearchEngine::MaxDiagnosticsLines; ++i)
        engine->appendDiagnosticsLine(std::to_string(i));
    EXPECT_EQ(engine->diagnosticsMemo().size(), lumi::SearchEngine::MaxDiagnosticsLines);
    EXPECT_EQ(engine->diagnosticsMemo().front(), "0");
    EXPECT_EQ(engine->diagnosticsMemo().back(),
              std::to_string(lumi::SearchEngine::MaxDiagnosticsLines - 1));
}
