#pragma once
// Small text routines shared by the page analysis, the engine and the window program:
// resolving a link against the address of the page it was found on, decoding the percent
// codes that the search services hand out, splitting an image address, and turning the
// search phrase into a folder name. Plain functions of 8-bit text; they keep no state.
// Each runs under its own catch-all; after a failure it gives the empty text.
#include <string>
#include <string_view>

// The link made absolute against pageAddress (the address the page came from). Links
// beginning with "http://", "https://" or "ftp://" (any case) are taken as they are; a
// network-path link "//host/x" and a relative link keep the page's scheme (https for an
// "https://" page).
std::string AnalyzePath(std::string_view link, const std::string& pageAddress);

// Removes each "../" at the start of link and counts it in levels.
void CountAndCutUpLevels(std::string& link, int& levels);

// "http://host/dir/page.htm" -> url "http://host", path "/dir/page.htm" (one trailing "/"
// dropped); an "https://" address keeps its scheme in url. An address with no "/" after the host gives the whole host and an empty path.
void ExtractUrlAndPath(const std::string& address, std::string& url, std::string& path);

// The base a relative link is appended to: the host alone when fromRoot, else the page's
// folder less `levels` folders (never above the host), ending in "/". A path holding a "."
// anywhere is taken to end in a file name, which is dropped first.
std::string EditOriginURL(int levels, bool fromRoot, const std::string& pageAddress);

// The text reversed, last character first.
std::string Mirror(const std::string& text);

// Decodes the fixed set of upper-case percent codes the search services use; any other
// code (%20, %3F, lower-case forms) stays as it is.
std::string FixHTMLCodes(const std::string& text);

// The text after the last "/" (the whole text without "/"; empty when it ends in "/").
std::string ExtractFileNameFromURL(const std::string& address);

// The host of an address as people read it, with its port when one is named and without
// the scheme: "https://pics.example:8080/a/b.jpg" -> "pics.example:8080".
std::string SiteOfURL(const std::string& address);

// The text up to and including the last "/". Without any "/" there is no result: the
// failure is reported and the empty text returned.
std::string ExtractPageLinkFromURL(const std::string& address);

// The search phrase made a folder name: the characters " ? * / > < | \ (and NUL bytes)
// removed, then one leading "." dropped. Never gives "." or "..": such names give the
// empty text, which means "no folder of its own".
std::string MakeValidDir(const std::string& text);
