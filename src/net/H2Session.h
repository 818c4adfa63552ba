#pragma once
// H2Session: the client side of one HTTP/2 connection (nghttp2), kept apart from any socket
// as TlsSession is: the connection's bytes go in through receive, what the session wants
// sent comes out of takeOutput, and each request is a stream whose answer is handed to its
// own H2StreamHandler. It offers windows wide enough for a fast link (H2StreamWindow a
// stream, H2ConnectionWindow in all), opens at most min(the server's
// SETTINGS_MAX_CONCURRENT_STREAMS, H2MostStreams) streams at once, refuses server push,
// bounds every stream's header and says how each stream ended: whole, reset by the server
// (its error), not processed by the server (after GOAWAY or REFUSED_STREAM: safe to send
// again) or lost with the connection.
#include <cstddef>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct nghttp2_session;

namespace lumi {

inline constexpr uint32_t H2StreamWindow = 1u << 20;
inline constexpr uint32_t H2ConnectionWindow = 16u << 20;
inline constexpr size_t H2MostStreams = 100;
// Bytes of one answer's header fields (names and values) beyond which the stream is reset.
inline constexpr size_t H2MostHeaderBytes = 64 * 1024;

struct H2Header {
    std::string name, value; // names in lower case, as HTTP/2 sends them
};

struct H2Request {
    std::string method = "GET";
    std::string scheme = "https";
    std::string authority; // host[:port]
    std::string path;      // with the query
    std::vector<H2Header> headers;
};

enum class H2StreamEnd {
    Complete,    // the answer's last frame arrived
    Reset,       // the server reset the stream, or its answer broke the protocol
    Unprocessed, // the server did not act on the request: it may go again on a new connection
    Lost,        // the connection ended or failed under the stream
};

// Receives one stream's answer. The session never calls a handler after its end, nor after
// the stream was cancelled; a handler may cancel or submit streams from inside its calls,
// but must not destroy the session there.
class H2StreamHandler {
public:
    virtual ~H2StreamHandler() = default;
    // The final answer's status and fields (informational 1xx answers are skipped).
    virtual void onHeaders(int status, const std::vector<H2Header>& headers) = 0;
    virtual void onData(std::string_view data) = 0;
    // text: empty for Complete, otherwise why, in words.
    virtual void onEnd(H2StreamEnd end, const std::string& text) = 0;
};

class H2Session {
public:
    H2Session();
    ~H2Session();
    H2Session(const H2Session&) = delete;
    H2Session& operator=(const H2Session&) = delete;

    // Queues the request as a new stream; its id, or -1 when no stream can be opened now
    // (see canSubmit). The handler must outlive the stream or cancel it.
    int32_t submit(const H2Request& request, H2StreamHandler& handler);
    // Ends the stream with RST_STREAM (CANCEL); its handler hears nothing more.
    void cancel(int32_t stream);

    // Bytes from the server.
    void receive(const char* data, size_t size);
    // The connection closed under the session (error text in words): open streams end.
    void connectionLost(const std::string& text);
    // Appends what the session wants sent now; call after every other call, then ask
    // finished().
    void takeOutput(std::string& out);

    bool canSubmit() const;
    size_t openStreams() const { return streams_.size(); }
    // How many streams may be open at once: the server's bound, never above H2MostStreams.
    size_t streamLimit() const;
    // The server said GOAWAY, or the session is finished: no new stream goes on it.
    bool closing() const { return goingAway_ || finished_; }
    // The connection is done with (a protocol error, a flood, GOAWAY with nothing left open,
    // a server that spoke something else, or the connection lost; see errorText): the
    // streams have ended as Lost or Unprocessed, and the output taken last is the last to
    // send before closing.
    bool finished() const { return finished_; }
    const std::string& errorText() const { return errorText_; }

private:
    struct Stream {
        H2StreamHandler* handler = nullptr;
        std::vector<H2Header> headers;
        size_t headerBytes = 0;
        bool answered = false; // a final status arrived
        bool ended = false;    // the server's last frame of the stream arrived
        std::string resetText;
    };
    struct Callbacks;

    // text by value: it may live in the stream that ends.
    void finish(int32_t id, H2StreamEnd end, std::string text);
    void finishAll(const std::string& text);
    void checkEnded();
    void endUnprocessed();

    nghttp2_session* session_ = nullptr;
    std::map<int32_t, Stream> streams_;
    bool goingAway_ = false;
    bool finished_ = false;
    int32_t lastProcessed_ = INT32_MAX; // from GOAWAY
    std::string errorText_, protocolText_;
};

} // namespace lumi
