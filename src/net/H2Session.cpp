#include "net/H2Session.h"

#include <algorithm>
#include <climits>

#include <nghttp2/nghttp2.h>

namespace lumi {

namespace {

std::string lowerCase(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return text;
}

// Fields that name HTTP/1.1's connection handling; HTTP/2 forbids them in a request.
bool connectionSpecific(const std::string& lowerName) {
    static const char* const names[] = {
        "connection", "keep-alive", "proxy-connection", "transfer-encoding", "upgrade",
        "host",       "te"};
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char* n) { return lowerName == n; });
}

nghttp2_nv field(const std::string& name, const std::string& value) {
    return {reinterpret_cast<uint8_t*>(const_cast<char*>(name.data())),
            reinterpret_cast<uint8_t*>(const_cast<char*>(value.data())), name.size(), value.size(),
            NGHTTP2_NV_FLAG_NONE};
}

int statusOf(const std::vector<H2Header>& headers) {
    for (const auto& h : headers)
        if (h.name == ":status" && h.value.size() == 3) return std::atoi(h.value.c_str());
    return 0;
}

std::string resetText(uint32_t errorCode) {
    return std::string("The server reset the stream (") + nghttp2_http2_strerror(errorCode) + ")";
}

} // namespace

struct H2Session::Callbacks {
    static H2Session& self(void* data) { return *static_cast<H2Session*>(data); }

    static Stream* stream(void* data, int32_t id) {
        auto& streams = self(data).streams_;
        const auto it = streams.find(id);
        return it == streams.end() ? nullptr : &it->second;
    }

    static int onHeader(nghttp2_session*, const nghttp2_frame* frame, const uint8_t* name,
                        size_t nameLength, const uint8_t* value, size_t valueLength, uint8_t,
                        void* data) {
        Stream* s = stream(data, frame->hd.stream_id);
        if (!s) return 0;
        s->headerBytes += nameLength + valueLength;
        if (s->headerBytes > H2MostHeaderBytes) {
            s->resetText = "The answer's header is too large";
            return NGHTTP2_ERR_TEMPORAL_CALLBACK_FAILURE; // the library resets the stream
        }
        if (!s->answered)
            s->headers.push_back({std::string(reinterpret_cast<const char*>(name), nameLength),
                                  std::string(reinterpret_cast<const char*>(value), valueLength)});
        return 0;
    }

    static int onFrameReceived(nghttp2_session*, const nghttp2_frame* frame, void* data) {
        H2Session& session = self(data);
        if (frame->hd.type == NGHTTP2_GOAWAY) {
            session.goingAway_ = true;
            session.lastProcessed_ = frame->goaway.last_stream_id;
            session.endUnprocessed();
            return 0;
        }
        Stream* s = stream(data, frame->hd.stream_id);
        if (!s) return 0;
        if (frame->hd.flags & NGHTTP2_FLAG_END_STREAM) s->ended = true;
        if (frame->hd.type != NGHTTP2_HEADERS || s->answered) return 0;
        const int status = statusOf(s->headers);
        if (status >= 100 && status < 200) {
            s->headers.clear();
            return 0;
        }
        s->answered = true;
        std::vector<H2Header> fields;
        for (auto& h : s->headers)
            if (h.name.empty() || h.name[0] != ':') fields.push_back(std::move(h));
        s->headers.clear();
        s->handler->onHeaders(status, fields);
        return 0;
    }

    static int onData(nghttp2_session*, uint8_t, int32_t id, const uint8_t* bytes, size_t size,
                      void* data) {
        Stream* s = stream(data, id);
        if (s && s->answered)
            s->handler->onData(std::string_view(reinterpret_cast<const char*>(bytes), size));
        return 0;
    }

    static int onStreamClose(nghttp2_session*, int32_t id, uint32_t errorCode, void* data) {
        Stream* s = stream(data, id);
        if (!s) return 0;
        H2Session& session = self(data);
        if (!s->resetText.empty())
            session.finish(id, H2StreamEnd::Reset, s->resetText);
        else if (errorCode == NGHTTP2_REFUSED_STREAM && !s->answered)
            session.finish(id, H2StreamEnd::Unprocessed, resetText(errorCode));
        else if (errorCode != NGHTTP2_NO_ERROR)
            session.finish(id, H2StreamEnd::Reset, resetText(errorCode));
        else if (!s->ended || !s->answered)
            session.finish(id, H2StreamEnd::Reset, "The server ended the stream before the answer");
        else
            session.finish(id, H2StreamEnd::Complete, {});
        return 0;
    }

    // A request the library could not send (the server said GOAWAY first) went nowhere.
    static int onFrameNotSent(nghttp2_session*, const nghttp2_frame* frame, int libError,
                              void* data) {
        if (frame->hd.type == NGHTTP2_HEADERS && stream(data, frame->hd.stream_id))
            self(data).finish(frame->hd.stream_id, H2StreamEnd::Unprocessed,
                              nghttp2_strerror(libError));
        return 0;
    }

    static int onInvalidFrame(nghttp2_session*, const nghttp2_frame*, int libError, void* data) {
        H2Session& session = self(data);
        if (session.protocolText_.empty()) session.protocolText_ = nghttp2_strerror(libError);
        return 0;
    }
};

H2Session::H2Session() {
    nghttp2_session_callbacks* callbacks = nullptr;
    nghttp2_session_callbacks_new(&callbacks);
    nghttp2_session_callbacks_set_on_header_callback(callbacks, Callbacks::onHeader);
    nghttp2_session_callbacks_set_on_frame_recv_callback(callbacks, Callbacks::onFrameReceived);
    nghttp2_session_callbacks_set_on_data_chunk_recv_callback(callbacks, Callbacks::onData);
    nghttp2_session_callbacks_set_on_stream_close_callback(callbacks, Callbacks::onStreamClose);
    nghttp2_session_callbacks_set_on_frame_not_send_callback(callbacks, Callbacks::onFrameNotSent);
    nghttp2_session_callbacks_set_on_invalid_frame_recv_callback(callbacks,
                                                                 Callbacks::onInvalidFrame);
    nghttp2_option* options = nullptr;
    nghttp2_option_new(&options);
    nghttp2_option_set_peer_max_concurrent_streams(options, H2MostStreams);
    nghttp2_session_client_new2(&session_, callbacks, this, options);
    nghttp2_option_del(options);
    nghttp2_session_callbacks_del(callbacks);

    const nghttp2_settings_entry settings[] = {
        {NGHTTP2_SETTINGS_ENABLE_PUSH, 0},
        {NGHTTP2_SETTINGS_INITIAL_WINDOW_SIZE, H2StreamWindow},
        {NGHTTP2_SETTINGS_MAX_HEADER_LIST_SIZE, uint32_t(H2MostHeaderBytes)},
    };
    nghttp2_submit_settings(session_, NGHTTP2_FLAG_NONE, settings, std::size(settings));
    nghttp2_session_set_local_window_size(session_, NGHTTP2_FLAG_NONE, 0, H2ConnectionWindow);
}

H2Session::~H2Session() {
    nghttp2_session_del(session_);
}

size_t H2Session::streamLimit() const {
    const uint32_t server =
        nghttp2_session_get_remote_settings(session_, NGHTTP2_SETTINGS_MAX_CONCURRENT_STREAMS);
    return std::min<size_t>(server, H2MostStreams);
}

bool H2Session::canSubmit() const {
    return !closing() && streams_.size() < streamLimit();
}

int32_t H2Session::submit(const H2Request& request, H2StreamHandler& handler) {
    if (!canSubmit()) return -1;
    std::vector<H2Header> lowered;
    lowered.reserve(request.headers.size());
    for (const auto& h : request.headers) {
        std::string name = lowerCase(h.name);
        if (!connectionSpecific(name)) lowered.push_back({std::move(name), h.value});
    }
    static const std::string method = ":method", scheme = ":scheme", authority = ":authority",
                             path = ":path";
    std::vector<nghttp2_nv> fields = {field(method, request.method), field(scheme, request.scheme),
                                      field(authority, request.authority),
                                      field(path, request.path)};
    for (const auto& h : lowered)
        fields.push_back(field(h.name, h.value));
    const int32_t id =
        nghttp2_submit_request(session_, nullptr, fields.data(), fields.size(), nullptr, nullptr);
    if (id < 0) return -1;
    streams_[id].handler = &handler;
    return id;
}

void H2Session::cancel(int32_t stream) {
    if (streams_.erase(stream) == 0) return;
    nghttp2_submit_rst_stream(session_, NGHTTP2_FLAG_NONE, stream, NGHTTP2_CANCEL);
}

void H2Session::receive(const char* data, size_t size) {
    if (finished_) return;
    const auto used =
        nghttp2_session_mem_recv(session_, reinterpret_cast<const uint8_t*>(data), size);
    if (used == NGHTTP2_ERR_FLOODED)
        finishAll("The server flooded the connection with control frames");
    else if (used < 0)
        finishAll(std::string("HTTP/2 protocol error: ") + nghttp2_strerror(int(used)));
    checkEnded();
}

// The library stops reading once the server's GOAWAY left nothing open, or once it has
// sent its own GOAWAY for the server's error.
void H2Session::checkEnded() {
    if (finished_ || nghttp2_session_want_read(session_)) return;
    if (goingAway_ && protocolText_.empty())
        finishAll("The server closed the connection (GOAWAY)");
    else
        finishAll("HTTP/2 protocol error: " + (protocolText_.empty()
                                                   ? std::string("the server broke the protocol")
                                                   : protocolText_));
}

void H2Session::connectionLost(const std::string& text) {
    finishAll(text);
}

void H2Session::takeOutput(std::string& out) {
    for (;;) {
        const uint8_t* bytes = nullptr;
        const auto size = nghttp2_session_mem_send(session_, &bytes);
        if (size <= 0) break;
        out.append(reinterpret_cast<const char*>(bytes), size_t(size));
    }
    checkEnded();
}

void H2Session::finish(int32_t id, H2StreamEnd end, std::string text) {
    const auto it = streams_.find(id);
    if (it == streams_.end()) return;
    H2StreamHandler* handler = it->second.handler;
    streams_.erase(it);
    handler->onEnd(end, text);
}

// Streams above the id GOAWAY named were never acted on by the server.
void H2Session::endUnprocessed() {
    while (!streams_.empty() && streams_.rbegin()->first > lastProcessed_)
        finish(streams_.rbegin()->first, H2StreamEnd::Unprocessed,
               "The server did not take the request (GOAWAY)");
}

void H2Session::finishAll(const std::string& text) {
    if (finished_) return;
    finished_ = true;
    errorText_ = text;
    endUnprocessed();
    while (!streams_.empty())
        finish(streams_.begin()->first, H2StreamEnd::Lost, text);
}

} // namespace lumi
