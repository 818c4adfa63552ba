// The HTTP/2 client session fed server bytes in pieces (the first byte picks their size) with
// three streams open, each cancelled at its header when its status is odd: no stream hears
// anything after its end or cancel, and a finished session holds no stream.
#include <cstdint>
#include <string>

#include "net/H2Session.h"

namespace {
struct Stream : lumi::H2StreamHandler {
    lumi::H2Session* session = nullptr;
    int32_t id = 0;
    bool done = false;
    void onHeaders(int status, const std::vector<lumi::H2Header>&) override {
        if (done) __builtin_trap();
        if (status % 2) done = true, session->cancel(id);
    }
    void onData(std::string_view) override { done ? __builtin_trap() : void(); }
    void onEnd(lumi::H2StreamEnd, const std::string&) override {
        done ? __builtin_trap() : void(done = true);
    }
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    lumi::H2Session session;
    Stream streams[3];
    for (Stream& s : streams)
        s.session = &session, s.id = session.submit({"GET", "https", "h", "/", {}}, s);
    std::string out;
    const size_t piece = size == 0 || data[0] == 0 ? size : data[0];
    for (size_t at = 1; at < size && !session.finished(); at += piece) {
        session.takeOutput(out);
        out.clear();
        session.receive(reinterpret_cast<const char*>(data) + at, std::min(piece, size - at));
    }
    if (session.finished() && session.openStreams() != 0) __builtin_trap();
    return 0;
}
