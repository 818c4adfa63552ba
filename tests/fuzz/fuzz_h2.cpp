// Fuzzes the HTTP/2 client session with arbitrary server bytes: three requests are open, the
// input arrives in pieces (the first byte picks their size), what the session wants sent is
// taken after every piece, and a stream whose status is odd is cancelled at its header. No
// stream hears anything after its end or after it was cancelled, none ends twice, and a
// finished session holds no stream.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/H2Session.h"

namespace {

struct Stream : lumi::H2StreamHandler {
    lumi::H2Session* session = nullptr;
    int32_t id = 0;
    bool done = false;
    size_t received = 0;
    void onHeaders(int status, const std::vector<lumi::H2Header>&) override {
        if (done) __builtin_trap();
        if (status % 2) {
            done = true;
            session->cancel(id);
        }
    }
    void onData(std::string_view data) override {
        if (done) __builtin_trap();
        received += data.size();
    }
    void onEnd(lumi::H2StreamEnd, const std::string&) override {
        if (done) __builtin_trap();
        done = true;
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    lumi::H2Session session;
    Stream streams[3];
    for (int i = 0; i < 3; ++i) {
        streams[i].session = &session;
        const lumi::H2Request request{"GET", "https", "pics.example", "/p" + std::to_string(i),
                                      {{"Range", "bytes=0-0"}}};
        streams[i].id = session.submit(request, streams[i]);
        if (streams[i].id <= 0) __builtin_trap();
    }
    std::string out;
    session.takeOutput(out);
    const size_t piece = data[0] == 0 ? size : data[0];
    std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    while (!rest.empty()) {
        const std::string_view now = rest.substr(0, piece);
        rest.remove_prefix(now.size());
        session.receive(now.data(), now.size());
        out.clear();
        session.takeOutput(out);
        if (session.finished()) {
            if (session.openStreams() != 0) __builtin_trap();
            break;
        }
    }
    if (session.openStreams() > 3) __builtin_trap();
    return 0;
}
