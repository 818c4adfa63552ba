#pragma once
// What a request to a picture archive says of itself. Wikimedia refuses anonymous agents, and
// SearXNG's bot gate (its "limiter") answers 429 to a request without Accept-Language, whose
// Accept leaves out text/html, whose Accept-Encoding names neither gzip nor deflate, or that
// asks for "Connection: close" (the client never sends that line).
#include <cstdint>
#include <string>

class QLocale;
class THttpCli;

namespace lumi {

inline constexpr const char* ArchiveAccept = "application/json, text/html;q=0.9, */*;q=0.8";
inline constexpr const char* ArchiveAcceptEncoding = "gzip, deflate";

// "de-DE, de;q=0.9, en;q=0.8" for a German locale; "en" for English, C and unnamed ones.
std::string acceptLanguageFor(const QLocale& locale);

// Sets the archives' agent and the headers above (the language from the system locale);
// an answer that unpacks to more than maxDecodedBytes is refused as a decompression bomb, and
// error answers are read whole for the service's own words.
void useArchiveHeaders(THttpCli& client, int64_t maxDecodedBytes);

} // namespace lumi
