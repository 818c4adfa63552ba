// The HTTP/2 session's input path: a server's answers to a batch of 1 000 pictures of 25 KB
// (HEADERS and 16 KB DATA frames on 1 000 streams, in 64 KB reads as a TLS layer hands them
// out) through the client session to the streams' handlers. Reports bytes per second; the
// network side of a batch of small pictures must cost far less than their transfer.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>

#include "net/H2Session.h"

namespace {

constexpr int kPictures = 1000;
constexpr size_t kPictureBytes = 25 * 1024;
constexpr size_t kFrameBytes = 16 * 1024;
constexpr size_t kReadBytes = 64 * 1024;

std::string frame(uint8_t type, uint8_t flags, uint32_t stream, std::string_view payload) {
    const auto n = uint32_t(payload.size());
    std::string f = {char(n >> 16),      char(n >> 8),      char(n),
                     char(type),         char(flags),       char(stream >> 24),
                     char(stream >> 16), char(stream >> 8), char(stream)};
    f += payload;
    return f;
}

// The server's side of the batch: its SETTINGS, the acknowledgement of the client's, then
// every answer (":status 200" from the static table) in stream order.
std::string serverBytes() {
    std::string out = frame(0x4, 0, 0, "") + frame(0x4, 0x1, 0, "");
    const std::string body(kPictureBytes, 'p');
    for (int i = 0; i < kPictures; ++i) {
        const auto stream = uint32_t(2 * i + 1);
        out += frame(0x1, 0x4, stream, "\x88");
        for (size_t at = 0; at < body.size(); at += kFrameBytes) {
            const bool last = at + kFrameBytes >= body.size();
            out +=
                frame(0x0, last ? 0x1 : 0, stream, std::string_view(body).substr(at, kFrameBytes));
        }
    }
    return out;
}

struct Picture : lumi::H2StreamHandler {
    size_t received = 0;
    bool complete = false;
    void onHeaders(int, const std::vector<lumi::H2Header>&) override {}
    void onData(std::string_view data) override { received += data.size(); }
    void onEnd(lumi::H2StreamEnd end, const std::string&) override {
        complete = end == lumi::H2StreamEnd::Complete;
    }
};

void BM_H2SessionBatchInput(benchmark::State& state) {
    const std::string input = serverBytes();
    for (auto _ : state) {
        lumi::H2Session session;
        std::vector<Picture> pictures(kPictures);
        std::string out;
        // Submitted in rounds as slots free, as the pool does; the server's answers are read
        // in the order they were asked for.
        size_t submitted = 0, at = 0;
        while (at < input.size()) {
            while (submitted < pictures.size() && session.canSubmit()) {
                const lumi::H2Request request{
                    "GET", "https", "pics.example", "/p" + std::to_string(submitted) + ".jpg", {}};
                session.submit(request, pictures[submitted++]);
            }
            session.takeOutput(out);
            out.clear();
            session.receive(input.data() + at, std::min(kReadBytes, input.size() - at));
            at += kReadBytes;
        }
        if (session.finished() || !pictures.back().complete)
            state.SkipWithError(("the batch did not complete: " + session.errorText()).c_str());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(input.size()));
}
BENCHMARK(BM_H2SessionBatchInput)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
