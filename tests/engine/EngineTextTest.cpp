// The text forms the engine reads and writes: search addresses, received page lines,
// running lines and the capped page buffer.
#include <string>

#include <gtest/gtest.h>

#include <QString>

#include "base/ErrorReport.h"
#include "base/TextOps.h"
#include "engine/PageBuffer.h"
#include "engine/RunningLines.h"
#include "engine/SearchAddresses.h"
#include "engine/SearchPhrase.h"

namespace {

// The value a service reads back from an encoded query: "+" a blank, "%XX" a byte.
std::string decodeQueryValue(const std::string& value) {
    std::string decoded;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            decoded += static_cast<char>(std::stoi(value.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            decoded += value[i] == '+' ? ' ' : value[i];
        }
    }
    return decoded;
}

} // namespace

// Guards the phrase going into every service's address as one encoded value: typed text can
// neither add request headers nor parameters nor cut the query short.
TEST(FixMultiQuery, ThePhraseIsOneEncodedValueInEveryServicesAddress) {
    const struct {
        std::string phrase;
        std::string query;
    } cases[] = {
        {"  red  car  ", "red++car"},
        {"a+b & c=d", "a%2Bb+%26+c%3Dd"},
        {"100% #tag?", "100%25+%23tag%3F"},
        {"a/b \"c\"", "a%2Fb+%22c%22"},
        {"a\r\nX-Injected: 1", "a%0D%0AX-Injected%3A+1"},
        {"tab\there", "tab%09here"},
        {"caf\xE9 \xFF~._-", "caf%E9+%FF~._-"},
        {lumi::phraseFromUnicode(QStringLiteral("\u0416uk")), "%26%231046%3Buk"},
        {"\t \r\n", ""},
    };
    const lumi::SearchHosts hosts{"hb.test", "ly.test", "sc.test"};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.phrase);
        std::string query = "previous";
        FixMultiQuery(c.phrase, query);
        EXPECT_EQ(query, c.query);
        EXPECT_EQ(decodeQueryValue(query), lumi::textTrim(c.phrase)) << "decodes to the phrase";
        const auto addresses = lumi::searchAddresses(hosts, c.phrase);
        ASSERT_EQ(addresses.size(), 4u);
        for (const auto& address : addresses) {
            EXPECT_EQ(address.url.substr(address.url.rfind('=') + 1), query);
            EXPECT_EQ(address.url.find_first_of(" \t\r\n#"), std::string::npos);
        }
    }
}

// Characters outside Latin-1 become character references rather than "?"; Latin-1 ones stay
// one byte each.
TEST(SearchPhrase, TypedTextBecomesEightBitTextWithoutLoss) {
    EXPECT_EQ(lumi::phraseFromUnicode(QStringLiteral("Caf\u00e9 \u20ac5 \U0001F600")),
              "Caf\xE9 &#8364;5 &#128512;");
    EXPECT_TRUE(lumi::phraseCanSearch("x"));
    EXPECT_TRUE(lumi::phraseCanSearch(std::string(lumi::MaxPhraseLength, 'x')));
    EXPECT_FALSE(lumi::phraseCanSearch(std::string(lumi::MaxPhraseLength + 1, 'x')));
    EXPECT_FALSE(lumi::phraseCanSearch(" \t\r\n "));
    EXPECT_FALSE(lumi::phraseCanSearch(""));
}

TEST(SearchAddresses, FourTemplatesInQueueOrderWithEngineNumbers) {
    const lumi::SearchHosts hosts{"hb.test", "ly.test:81", "sc.test"};
    const auto addresses = lumi::searchAddresses(hosts, " two words ");
    ASSERT_EQ(addresses.size(), 4u);
    EXPECT_EQ(addresses[0].engine, 2);
    EXPECT_EQ(
        addresses[0].url,
        "http://hb.test/?SM=MC&LG=any&AM0=MC&AT0=words&AW0=&AM1=MN&AT1=words&AW1=&savenummod=2"
        "&date=within&DV=0&DR=newer&DM=1&DD=1&DY=1999&FVI=1&FS=&RD=RG&RG=all&Domain=&PS=A&PD="
        "&DC=100&DE=0&SUBMIT=SEARCH&BT=H&NUMMOD=2&MT=two+words");
    EXPECT_EQ(addresses[1].engine, 3);
    EXPECT_EQ(addresses[1].url,
              "http://ly.test:81/cgi-bin/pursuit?etemp=error&npl=matchmode%3Dbefore%26adv%3D1"
              "&cat=lycos&npl1=fs%3Dtitle%26ct%3Df%26ignore%3Dfq&fq=&lang=&rtwm=45000&rtpy=5000"
              "&rttf=10000&rtfd=5000&rtpn=5000&rtpn=25&maxhits=100&mtemp=main&query=two+words");
    EXPECT_EQ(addresses[2].engine, 1);
    EXPECT_EQ(addresses[2].url,
              "http://sc.test/cgi-bin/search.cgi?index=image&preview_size=small&query=two+words");
    EXPECT_EQ(addresses[3].engine, 4);
    EXPECT_EQ(addresses[3].url,
              "http://ly.test:81/cgi-bin/pursuit?etemp=error&npl=matchmode%3Dand%26adv%3D1"
              "&cat=graphics&npl1=ignore%3Dfq&fq=&lang=&rtwm=45000&rtpy=2500&rttf=5000&rtfd=2500"
              "&rtpn=2500&rtpn=15&maxhits=40&mtemp=main.sites&query=two+words");
}

TEST(SearchAddresses, HostsComeFromTheEnvironmentWhenSet) {
    setenv("LUMISIFT_HOTBOT_HOST", "127.0.0.1:9001", 1);
    setenv("LUMISIFT_LYCOS_HOST", "", 1);
    unsetenv("LUMISIFT_SCOURNET_HOST");
    const lumi::SearchHosts hosts = lumi::searchHostsFromEnvironment();
    unsetenv("LUMISIFT_HOTBOT_HOST");
    unsetenv("LUMISIFT_LYCOS_HOST");
    EXPECT_EQ(hosts.hotBot, "127.0.0.1:9001");
    EXPECT_FALSE(hosts.lycos.empty()) << "an empty variable keeps the compiled-in host";
    EXPECT_FALSE(hosts.scourNet.empty());
    EXPECT_NE(hosts.lycos, "127.0.0.1:9001");
}

namespace {
lumi::PageLines split(std::string_view body) {
    lumi::PageLines lines;
    LoadMemoFromMemoryStream(lines, body);
    return lines;
}
} // namespace

TEST(LoadMemoFromMemoryStream, EveryBreakKindAndTheTail) {
    EXPECT_EQ(split("a\r\nb\n\nc"), (lumi::PageLines{"a", "b", "", "c"}));
    EXPECT_EQ(split("a\rb\r\rc\r\n"), (lumi::PageLines{"a", "b", "", "c"}));
    EXPECT_EQ(split("\nx"), (lumi::PageLines{"", "x"}))
        << "a break at the start gives an empty line";
    EXPECT_EQ(split("\n\r"), (lumi::PageLines{"", ""})) << "LF then CR is two breaks";
    EXPECT_EQ(split(""), lumi::PageLines{});
    EXPECT_EQ(split("tail only"), lumi::PageLines{"tail only"});
    EXPECT_EQ(split(std::string_view("ab\0cd\nef\0", 9)), (lumi::PageLines{"ab", "ef"}))
        << "each line ends at its first NUL";
    lumi::PageLines appended{"keep"};
    LoadMemoFromMemoryStream(appended, "1\r\n2");
    EXPECT_EQ(appended, (lumi::PageLines{"keep", "1", "2"})) << "lines are appended";
}

TEST(RunningLines, FormatsMarksAndItems) {
    EXPECT_EQ(lumi::runningLine(4294967295u, "http://h/a\tb"), "4294967295\thttp://h/a\tb");
    const std::string line = lumi::runningLine(12, "123");
    EXPECT_FALSE(lumi::isDoneLine(line));
    EXPECT_EQ(lumi::runningItem(line), "123");
    EXPECT_EQ(lumi::doneLine(line), "X\t123");
    EXPECT_EQ(lumi::doneLine(lumi::doneLine(line)), "X\t123")
        << "marking again writes the same text";
    EXPECT_TRUE(lumi::isDoneLine("X\t123"));
    EXPECT_FALSE(lumi::isDoneLine("X123"));
    EXPECT_EQ(lumi::runningItem("5\thttp://h/p?x=1\ty"), "http://h/p?x=1\ty")
        << "after the first TAB";
    EXPECT_EQ(lumi::runningStartTick("3000000000\tu"), 3000000000u);
    EXPECT_THROW(lumi::runningStartTick("-1\tu"), std::invalid_argument);
    EXPECT_THROW(lumi::runningStartTick("4294967296\tu"), std::invalid_argument);
    EXPECT_THROW(lumi::runningStartTick("\tu"), std::invalid_argument);
}

TEST(RunningLines, TimeOutAfterThirtySecondsAcrossTheWrap) {
    const std::string high = lumi::runningLine(3000000000u, "u"); // above 2^31
    EXPECT_FALSE(lumi::runningTimedOut(high, 3000030000u)) << "exactly 30 000 ms is not over";
    EXPECT_TRUE(lumi::runningTimedOut(high, 3000030001u));
    const std::string beforeWrap = lumi::runningLine(4294967000u, "u");
    EXPECT_FALSE(lumi::runningTimedOut(beforeWrap, 29000u));
    EXPECT_TRUE(lumi::runningTimedOut(beforeWrap, 29705u));
    EXPECT_FALSE(lumi::runningTimedOut(beforeWrap, 4294967100u));
}

TEST(CappedBuffer, KeepsTheFirstBytesAndAcceptsTheRest) {
    lumi::CappedBuffer buffer(10);
    EXPECT_EQ(buffer.write("123456", 6), 6);
    EXPECT_EQ(buffer.write("789abcdef", 9), 9) << "the writer never sees a failed write";
    EXPECT_EQ(buffer.bytes(), "123456789a");
    EXPECT_EQ(buffer.droppedBytes(), 5);
    EXPECT_EQ(buffer.write("z", 1), 1);
    EXPECT_EQ(buffer.bytes().size(), 10u);
    EXPECT_EQ(buffer.droppedBytes(), 6);
    EXPECT_EQ(lumi::MaxPageBytes, 8 * 1024 * 1024);
}
