#include <cstdio>

#include "net/HttpProt.h"

namespace {

const char* const stateNames[] = {"httpReady",       "httpNotConnected",  "httpConnected",
                                  "httpDnsLookup",   "httpDnsLookupDone", "httpWaitingHeader",
                                  "httpWaitingBody", "httpAborting"};

} // namespace

namespace lumi {

const char* httpStateName(THttpState state) {
    return state <= httpAborting ? stateNames[state] : "httpUnknown";
}

std::string base64Encode(std::string_view data) {
    static const char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < data.size(); i += 3) {
        const uint32_t v =
            (uint8_t(data[i]) << 16) | (uint8_t(data[i + 1]) << 8) | uint8_t(data[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (i < data.size()) {
        uint32_t v = uint8_t(data[i]) << 16;
        if (i + 1 < data.size()) v |= uint8_t(data[i + 1]) << 8;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += i + 1 < data.size() ? alphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::string httpDateText(const QDateTime& when) {
    static const char* const days[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const QDate d = when.date();
    const QTime t = when.time();
    if (!d.isValid()) return {};
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s, %2.2d %s %4.4d %2.2d:%2.2d:%2.2d", days[d.dayOfWeek() - 1],
                  d.day(), months[d.month() - 1], d.year(), t.hour(), t.minute(), t.second());
    return buf;
}

} // namespace lumi
