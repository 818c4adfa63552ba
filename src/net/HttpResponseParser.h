#pragma once
// HttpResponseParser: the reading side of the HTTP client, without socket or event loop.
// Bytes go into a bounded line buffer; complete lines come out one at a time; each header
// line is read into what it means (the status line, a field, the blank line that ends the
// header, or the "<HTML>" that starts a document sent without one). What the client does
// with a line (events, relocations, bounds on what it keeps) stays with the client.
#include <cstdint>
#include <string>
#include <string_view>

namespace lumi {

// Bytes of the input line buffer; a header line must fit in it.
inline constexpr int httpLineBufferSize = 8192;

// Decimal digits only, fitting 63 bits.
bool parseHttpDecimal(std::string_view text, int64_t& value);

// One header line read into its meaning.
struct HttpHeaderLine {
    enum class Kind { EndOfHeader, HtmlStart, StatusLine, Field, Other };
    Kind kind = Kind::Other;
    // StatusLine: false when the three characters of the status code are not a number.
    bool validStatus = true;
    int statusCode = 0;
    std::string reasonPhrase;
    // Field: the name lower-cased, the value without the blanks and tabs around it.
    std::string name, value;
};

class HttpResponseParser {
public:
    HttpResponseParser() { buffer_[0] = 0; }

    // Room left in the line buffer (0: a line longer than the buffer is waiting) and where
    // it starts; bytes written there are announced with added().
    int room() const { return httpLineBufferSize - fill_; }
    char* space() { return buffer_ + fill_; }
    void added(int count);
    // Copies what fits of bytes into the buffer; returns how many were taken.
    size_t feed(std::string_view bytes);

    // Takes the next complete line, without its LF or CR LF; false when none is complete.
    // The buffer is read as a zero-terminated string: a zero byte hides what follows it.
    bool nextLine(std::string& line);
    // The bytes after the lines taken (the start of a body), until clear().
    std::string_view pending() const {
        return {buffer_ + start_, static_cast<size_t>(fill_ - start_)};
    }
    bool hasPending() const { return fill_ > start_; }
    bool empty() const { return fill_ == 0; }
    void clear();

    static HttpHeaderLine readHeaderLine(std::string_view line);

private:
    char buffer_[httpLineBufferSize + 1];
    int fill_ = 0;
    int start_ = 0;   // lines before this offset have been taken
    int scanned_ = 0; // bytes from start_ to here hold neither a line end nor a zero byte
};

} // namespace lumi
