#pragma once
// Records every event of a THttpCli as one text line, in the order the events fire.
#include <string>
#include <vector>

#include "net/HttpProt.h"

namespace lumi::test {

struct HttpRecorder {
    std::vector<std::string> events;
    int done = 0;
    int error = -1;
    THttpRequest kind = httpNone;

    void attach(THttpCli& c) {
        c.OnStateChange = [this](THttpCli* s) {
            add(std::string("OnStateChange ") + httpStateName(s->State()));
        };
        c.OnSessionConnected = [this](THttpCli*) { add("OnSessionConnected"); };
        c.OnRequestHeaderBegin = [this](THttpCli*) { add("OnRequestHeaderBegin"); };
        c.OnCommand = [this](THttpCli*, const std::string& l) { add("OnCommand " + l); };
        c.OnRequestHeaderEnd = [this](THttpCli*) { add("OnRequestHeaderEnd"); };
        c.OnSendBegin = [this](THttpCli*) { add("OnSendBegin"); };
        c.OnSendData = [this](THttpCli*, const char*, int n) {
            add("OnSendData " + std::to_string(n));
        };
        c.OnSendEnd = [this](THttpCli*) { add("OnSendEnd"); };
        c.OnHeaderBegin = [this](THttpCli*) { add("OnHeaderBegin"); };
        c.OnCookie = [this](THttpCli*, const std::string& d, bool& accept) {
            add("OnCookie " + d + (accept ? " (accept)" : ""));
        };
        c.OnHeaderData = [this](THttpCli* s) { add("OnHeaderData " + s->LastResponse()); };
        c.OnHeaderEnd = [this](THttpCli*) { add("OnHeaderEnd"); };
        c.OnDocBegin = [this](THttpCli*) { add("OnDocBegin"); };
        c.OnDocData = [this](THttpCli*, const char* b, int n) {
            add("OnDocData " + std::string(b, static_cast<size_t>(n)));
        };
        c.OnDocEnd = [this](THttpCli*) { add("OnDocEnd"); };
        c.OnLocationChange = [this](THttpCli* s) { add("OnLocationChange " + s->Location()); };
        c.OnRequestDone = [this](THttpCli*, THttpRequest k, int e) {
            add("OnRequestDone " + std::to_string(k) + " " + std::to_string(e));
            ++done;
            error = e;
            kind = k;
        };
    }
    void add(std::string e) { events.push_back(std::move(e)); }
    size_t count(const std::string& prefix) const {
        size_t n = 0;
        for (const auto& e : events)
            n += e.rfind(prefix, 0) == 0;
        return n;
    }
    // Index of the first event starting with prefix, or -1.
    int indexOf(const std::string& prefix) const {
        for (size_t i = 0; i < events.size(); ++i)
            if (events[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
        return -1;
    }
};

} // namespace lumi::test
