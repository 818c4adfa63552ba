#include "engine/SearchAddresses.h"

#include "base/ConfiguredHosts.h"
#include "base/ErrorReport.h"
#include "base/TextOps.h"
#include "net/HttpAddress.h"

namespace lumi {

namespace {

constexpr const char* HotBotPath =
    "/?SM=MC&LG=any&AM0=MC&AT0=words&AW0=&AM1=MN&AT1=words&AW1=&savenummod=2&date=within&DV=0"
    "&DR=newer&DM=1&DD=1&DY=1999&FVI=1&FS=&RD=RG&RG=all&Domain=&PS=A&PD=&DC=100&DE=0"
    "&SUBMIT=SEARCH&BT=H&NUMMOD=2&MT=";
constexpr const char* LycosPath =
    "/cgi-bin/pursuit?etemp=error&npl=matchmode%3Dbefore%26adv%3D1&cat=lycos"
    "&npl1=fs%3Dtitle%26ct%3Df%26ignore%3Dfq&fq=&lang=&rtwm=45000&rtpy=5000&rttf=10000"
    "&rtfd=5000&rtpn=5000&rtpn=25&maxhits=100&mtemp=main&query=";
constexpr const char* ScourNetPath = "/cgi-bin/search.cgi?index=image&preview_size=small&query=";
constexpr const char* LycosImagesPath =
    "/cgi-bin/pursuit?etemp=error&npl=matchmode%3Dand%26adv%3D1&cat=graphics"
    "&npl1=ignore%3Dfq&fq=&lang=&rtwm=45000&rtpy=2500&rttf=5000&rtfd=2500&rtpn=2500&rtpn=15"
    "&maxhits=40&mtemp=main.sites&query=";

} // namespace

SearchHosts searchHostsFromEnvironment() {
    return {hotBotHost(), lycosHost(), scourNetHost()};
}

std::vector<SearchAddress> searchAddresses(const SearchHosts& hosts, const std::string& phrase) {
    struct Service {
        int engine;
        const std::string* host;
        const char* path;
    };
    const Service services[] = {{2, &hosts.hotBot, HotBotPath},
                                {3, &hosts.lycos, LycosPath},
                                {1, &hosts.scourNet, ScourNetPath},
                                {4, &hosts.lycos, LycosImagesPath}};
    std::vector<SearchAddress> addresses;
    for (const Service& service : services) {
        std::string query; // encoded afresh for every service
        FixMultiQuery(phrase, query);
        addresses.push_back({service.engine, hostOrigin(*service.host) + service.path + query});
    }
    return addresses;
}

} // namespace lumi

// Every byte outside the unreserved set is escaped: a raw "&", "#" or "%" would end or
// corrupt the value, and a raw control byte could break the request line.
void FixMultiQuery(const std::string& phrase, std::string& query) {
    lumi::catchAll("error code : #0033 (FixMultiQuery)", [&] {
        std::string encoded;
        for (const char c : lumi::textTrim(phrase)) {
            if (c == ' ') {
                encoded += '+';
            } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~') {
                encoded += c;
            } else {
                lumi::appendPercentEscape(encoded, static_cast<unsigned char>(c));
            }
        }
        query = std::move(encoded);
    });
}
