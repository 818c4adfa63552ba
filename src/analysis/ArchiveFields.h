#pragma once
// Reading the fields of an archive's JSON answer: texts as UTF-8, byte counts, picture
// addresses as the HTTP client sends them, and plain text out of fields that carry HTML.
// Every reader takes whatever type a field has: a wrong one reads as empty or 0.
#include <cstdint>
#include <functional>
#include <string>

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

namespace lumi {

struct ArchiveAnswer;
struct ArchivePicture;

// UTF-8 of JSON text; a lone surrogate ("\ud800" in the answer) becomes U+FFFD.
std::string utf8(QString text);
std::string stringField(const QJsonObject& object, const char* key);
// A field documented as plain text, passed on with character references.
std::string textField(const QJsonObject& object, const char* key);
// A number, whether the answer sends it as one or as text ("3"); NaN when it is neither.
double numberField(const QJsonValue& value);
// A byte count when the field is a whole number in range; 0 otherwise (null, words, -1 ...).
int64_t sizeField(const QJsonObject& object, const char* key);
// Pixels when the field is a whole number of them in range; 0 otherwise.
int32_t pixelsField(const QJsonObject& object, const char* key);
// The address as the HTTP client sends it, or "" when it is no http(s) address.
// Protocol-relative addresses ("//host/x") are taken as https, as a browser would.
std::string pictureAddress(QString text);
std::string addressField(const QJsonObject& object, const char* key);
// Whether the address's path (before any query) ends in .jpg, .jpeg or .jpe, in any case.
bool endsAsJpeg(const std::string& url);

// A picture at r[urlKey] when r[typeKey] names a JPEG, or, without a type, when the path
// ends as one; when neither tells, the link check decides (typeUnknown). pathWins: a JPEG
// path outweighs the type (SearXNG's names the thumbnail for some engines). The url is ""
// when the item is no JPEG.
ArchivePicture jpegCandidate(const QJsonObject& r, const char* urlKey, const char* typeKey,
                             bool pathWins);
// "File:Name.jpg" names the picture "Name" (Commons' titles, and Openverse's of pictures
// that Commons holds).
std::string pictureTitle(std::string title);
// Calls read for each entry of root's "results" array, counting them; an answer without
// that array is not understood.
void readResults(const QJsonObject& root, ArchiveAnswer& answer,
                 const std::function<void(const QJsonObject&)>& read);

} // namespace lumi
