#include "SandboxServer.h"

#include <httplib.h>

#include "ArchiveModel.h"
#include "PhraseToken.h"
#include "ServicePages.h"
#include "SitePages.h"

namespace lumi::sandbox {

namespace {

// Bounds of what the sandbox keeps: webs of this many phrases, this many picture bytes,
// this many logged requests. Past a bound the cache starts afresh.
constexpr std::size_t kMaxCachedWebs = 32;
constexpr std::size_t kMaxCachedPictureBytes = 256u * 1024 * 1024;
constexpr std::size_t kMaxLoggedRequests = 50000;
constexpr int kHttpWorkers = 64;
constexpr std::size_t kBodyChunk = 16384;
constexpr int kSlowChunks = 5;

const char* kNotFoundPage = "<html><head><title>404 Not Found</title></head>\r\n"
                            "<body><h1>Not Found</h1><p>The requested address was not found on "
                            "this server.</p></body></html>\r\n";
const char* kErrorPicturePage = "<html><head><title>Error</title></head>\r\n"
                                "<body><h1>Error</h1><p>The picture you asked for is not "
                                "available right now.</p></body></html>\r\n";
const char* kMovedPage = "<html><head><title>Moved</title></head>\r\n"
                         "<body><p>This page has moved.</p></body></html>\r\n";

// The target without "http://host" when a client sent the absolute form.
std::string originForm(const std::string& target) {
    if (target.compare(0, 7, "http://") != 0) return target;
    const auto slash = target.find('/', 7);
    return slash == std::string::npos ? "/" : target.substr(slash);
}

// The phrase of a site path "/w/<token>/...", or false.
bool phraseOfSitePath(const std::string& path, std::string& phrase) {
    if (path.compare(0, 3, "/w/") != 0) return false;
    const auto end = path.find('/', 3);
    return phraseFromToken(path.substr(3, end == std::string::npos ? std::string::npos : end - 3),
                           phrase);
}

bool flagOn(const httplib::Request& request, const char* name, bool fallback) {
    if (!request.has_param(name)) return fallback;
    const auto value = request.get_param_value(name);
    return value == "on" || value == "1" || value == "true";
}

void boundParam(const httplib::Request& request, const char* name, bool& on, int64_t& kb) {
    if (!request.has_param(name)) return;
    const auto value = request.get_param_value(name);
    if (value == "off") {
        on = false;
        return;
    }
    on = true;
    kb = std::atoll(value.c_str());
}

} // namespace

SandboxServer::SandboxServer(ServerOptions options) : options_(std::move(options)) {
    if (options_.tlsCert.empty())
        http_ = std::make_unique<httplib::Server>();
    else
        http_ =
            std::make_unique<httplib::SSLServer>(options_.tlsCert.c_str(), options_.tlsKey.c_str());
}

SandboxServer::~SandboxServer() {
    stop();
}

SiteHosts SandboxServer::hosts() const {
    const std::string own = "127.0.0.1:" + std::to_string(port_);
    return {own, options_.sitesHost.empty() ? own : options_.sitesHost,
            "127.0.0.1:" + std::to_string(raw_.port()),
            options_.tlsCert.empty() ? "http://" : "https://"};
}

bool SandboxServer::start() {
    if (!http_->is_valid()) return false; // a certificate or key that cannot be read
    http_->new_task_queue = [] { return new httplib::ThreadPool(kHttpWorkers); };
    http_->set_keep_alive_max_count(1);
    http_->set_read_timeout(5, 0);
    http_->set_write_timeout(5, 0);
    http_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
        handle(request, response);
    });
    http_->set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.status == 404 && response.body.empty())
            response.set_content(kNotFoundPage, "text/html");
    });
    port_ = options_.port == 0
                ? http_->bind_to_any_port("127.0.0.1")
                : (http_->bind_to_port("127.0.0.1", options_.port) ? options_.port : -1);
    if (port_ <= 0) return false;
    if (!raw_.start([this](const std::string& target) { return answerRaw(target); })) return false;
    thread_ = std::thread([this] { http_->listen_after_bind(); });
    return true;
}

void SandboxServer::stop() {
    {
        std::lock_guard<std::mutex> lock(stopMutex_);
        stopping_ = true;
    }
    stopSignal_.notify_all();
    if (thread_.joinable()) {
        http_->stop();
        thread_.join();
    }
    raw_.stop();
}

bool SandboxServer::waitOrStop(int ms) {
    std::unique_lock<std::mutex> lock(stopMutex_);
    return stopSignal_.wait_for(lock, std::chrono::milliseconds(std::max(0, ms)),
                                [this] { return stopping_; });
}

std::shared_ptr<const Web> SandboxServer::web(const std::string& phrase) {
    const std::string key = phrase.substr(0, kMaxPhraseBytes);
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (const auto it = webs_.find(key); it != webs_.end()) return it->second;
    if (webs_.size() >= kMaxCachedWebs) webs_.clear();
    auto built = std::make_shared<const Web>(buildWeb(options_.seed, key, hosts()));
    webs_[key] = built;
    return built;
}

std::string SandboxServer::pictureBytes(const PictureRecipe& recipe) {
    const auto key = std::make_tuple(recipe.seed, int(recipe.format), int(recipe.sizeClass));
    {
        std::lock_guard<std::mutex> lock(cacheMutex_);
        if (const auto it = pictures_.find(key); it != pictures_.end()) return it->second;
    }
    std::string bytes = renderPicture(recipe);
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (pictureBytesCached_ + bytes.size() > kMaxCachedPictureBytes) {
        pictures_.clear();
        pictureBytesCached_ = 0;
    }
    pictureBytesCached_ += bytes.size();
    pictures_[key] = bytes;
    return bytes;
}

void SandboxServer::log(const std::string& entry) {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    if (log_.size() >= kMaxLoggedRequests) log_.pop_front();
    log_.push_back(entry);
}

std::vector<std::string> SandboxServer::requestLog() const {
    std::lock_guard<std::mutex> lock(cacheMutex_);
    return {log_.begin(), log_.end()};
}

void SandboxServer::handle(const httplib::Request& request, httplib::Response& response) {
    const std::string target = originForm(request.target);
    const std::string path = originForm(request.path);
    if (path.compare(0, 3, "/__") == 0) return answerControl(path, request, response);
    log("main " + target);
    const MakerSite maker{hosts().services, options_.productVersion, hosts().scheme};
    if (path == "/search" && options_.searxngGate && !passesBotGate(request)) {
        response.status = 429;
        response.set_content("Too Many Requests", "text/plain");
    } else if (path == "/v1/images/" || path == "/w/api.php" || path == "/search") {
        answerArchive(path, target, response);
    } else if (path == "/" && target.find("&MT=") != std::string::npos) {
        const auto phrase = decodeQueryPhrase(rawQueryValue(target, "&MT="));
        response.set_content(hotBotResultPage(*web(phrase)), "text/html");
    } else if (path == "/cgi-bin/pursuit") {
        const bool images = target.find("cat=graphics") != std::string::npos;
        std::string phrase;
        if (!phraseFromToken(rawQueryValue(target, "&w="), phrase))
            phrase = decodeQueryPhrase(rawQueryValue(target, "&query="));
        if (!images) {
            response.set_content(lycosResultPage(*web(phrase)), "text/html");
        } else {
            const std::string first = rawQueryValue(target, "&first=");
            const int page = first.empty() ? 0 : lycosImagesPageOf(std::atoi(first.c_str()));
            response.set_content(lycosImagesPage(*web(phrase), page), "text/html");
        }
    } else if (path == "/cgi-bin/search.cgi") {
        std::string phrase;
        if (!phraseFromToken(rawQueryValue(target, "&w="), phrase))
            phrase = decodeQueryPhrase(rawQueryValue(target, "&query="));
        const std::string page = rawQueryValue(target, "&page=");
        response.set_content(
            scourNetResultPage(*web(phrase), page.empty() ? 0 : std::atoi(page.c_str()) - 1),
            "text/html");
    } else if (path == "/" || path == "/index.htm" || path == "/index.html") {
        response.set_content(makerHomePage(maker), "text/html");
    } else if (path == "/download.htm") {
        response.set_content(makerDownloadPage(maker), "text/html");
    } else if (path == "/progver.txt") {
        response.set_content(makerVersionFile(maker), "text/plain");
    } else {
        answerSite(path, response);
    }
}

// SearXNG's bot gate (its "limiter") as it checks a request's headers: a language, an
// Accept that admits HTML, gzip or deflate accepted, and no "Connection: close".
bool SandboxServer::passesBotGate(const httplib::Request& request) {
    const std::string accept = request.get_header_value("Accept");
    const std::string encoding = request.get_header_value("Accept-Encoding");
    const std::string connection = request.get_header_value("Connection");
    return !request.get_header_value("Accept-Language").empty() &&
           accept.find("text/html") != std::string::npos &&
           (encoding.find("gzip") != std::string::npos ||
            encoding.find("deflate") != std::string::npos) &&
           connection.find("close") == std::string::npos;
}

void SandboxServer::answerSite(const std::string& path, httplib::Response& response) {
    std::string phrase;
    const Resource* resource = nullptr;
    std::shared_ptr<const Web> w;
    // A picture asked for without its extension (as archives list some) comes untyped.
    bool untyped = false;
    if (phraseOfSitePath(path, phrase)) {
        w = web(phrase);
        const auto it = w->sites.find(normalizePath(path));
        if (it != w->sites.end()) resource = &it->second;
        for (const char* extension : {".jpg", ".png"}) {
            if (resource || path.find('.', path.rfind('/')) != std::string::npos) break;
            const auto picture = w->sites.find(normalizePath(path + extension));
            untyped = picture != w->sites.end() && picture->second.answer == Answer::Picture;
            if (untyped) resource = &picture->second;
        }
    }
    if (options_.latencyMs > 0 && waitOrStop(options_.latencyMs)) return;
    if (!resource) {
        response.status = 404;
        response.set_content(kNotFoundPage, "text/html");
        return;
    }
    switch (resource->answer) {
    case Answer::Page:
        response.set_content(resource->html, "text/html");
        break;
    case Answer::SlowPage: {
        const std::string html = resource->html;
        const int pause = options_.slowMs / kSlowChunks;
        response.set_content_provider(
            "text/html", [this, html, pause](std::size_t offset, httplib::DataSink& sink) {
                if (offset >= html.size() || waitOrStop(pause)) {
                    sink.done();
                    return true;
                }
                const std::size_t chunk = html.size() / kSlowChunks + 1;
                sink.write(html.data() + offset, std::min(chunk, html.size() - offset));
                return true;
            });
        break;
    }
    case Answer::HangingPage:
        waitOrStop(options_.hangMs);
        response.status = 503;
        response.set_content("<html><body><p>Try again later.</p></body></html>\r\n", "text/html");
        break;
    case Answer::Picture:
        // Untyped, a JPEG is only "application/octet-stream"; any other picture keeps its type
        // (so that a link check cannot take it for a JPEG).
        response.set_content(pictureBytes(resource->picture),
                             untyped && std::string(pictureMimeType(resource->picture.format)) ==
                                            "image/jpeg"
                                 ? "application/octet-stream"
                                 : pictureMimeType(resource->picture.format));
        break;
    case Answer::PictureNoLength: {
        const std::string bytes = pictureBytes(resource->picture);
        response.set_content_provider(pictureMimeType(resource->picture.format),
                                      [bytes](std::size_t offset, httplib::DataSink& sink) {
                                          if (offset >= bytes.size()) {
                                              sink.done();
                                              return true;
                                          }
                                          sink.write(bytes.data() + offset,
                                                     std::min(kBodyChunk, bytes.size() - offset));
                                          return true;
                                      });
        break;
    }
    case Answer::HtmlErrorPicture:
        response.set_content(kErrorPicturePage, "text/html");
        break;
    case Answer::Relocation:
        response.status = 302;
        response.set_header("Location", resource->target);
        response.set_content(kMovedPage, "text/html");
        break;
    case Answer::RelocationNoSpace: // only the raw host writes these
        response.status = 404;
        response.set_content(kNotFoundPage, "text/html");
        break;
    }
}

// Openverse, Commons and SearXNG share the one host; their paths tell them apart.
void SandboxServer::answerArchive(const std::string& path, const std::string& target,
                                  httplib::Response& response) {
    ArchiveKind kind = ArchiveKind::SearXNG;
    std::string phrase = decodeQueryPhrase(rawQueryValue(target, "?q="));
    std::string position = rawQueryValue(target, "&pageno=");
    if (path == "/v1/images/") {
        kind = ArchiveKind::Openverse;
        position = rawQueryValue(target, "&page=");
    } else if (path == "/w/api.php") {
        kind = ArchiveKind::Commons;
        phrase = decodeQueryPhrase(rawQueryValue(target, "&gsrsearch="));
        const std::string prefix = "filemime:image/jpeg ";
        if (phrase.compare(0, prefix.size(), prefix) == 0) phrase.erase(0, prefix.size());
        position = rawQueryValue(target, "&gsroffset=");
    }
    const auto w = web(phrase);
    if (const int delay = archiveDelayMs(*w, kind); delay > 0 && waitOrStop(delay)) return;
    const bool resuming = !rawQueryValue(target, "&iicontinue=").empty();
    const ArchiveReply reply = archiveReply(
        *w, kind, std::atoll(position.c_str()), resuming, [this, &w](const ArchiveItem& item) {
            const Resource* r = findResource(*w, item.file);
            return r ? int64_t(pictureBytes(r->picture).size()) : int64_t{0};
        });
    response.status = reply.status;
    if (!reply.retryAfter.empty()) response.set_header("Retry-After", reply.retryAfter);
    if (!reply.contentEncoding.empty()) response.set_header("Content-Encoding", reply.contentEncoding);
    response.set_content(reply.body, reply.contentType);
}

std::string SandboxServer::answerRaw(const std::string& rawTarget) {
    const std::string target = originForm(rawTarget);
    log("raw " + target);
    std::string phrase;
    if (phraseOfSitePath(target, phrase)) {
        const auto w = web(phrase);
        const auto it = w->raw.find(normalizePath(target));
        if (it != w->raw.end() && it->second.answer == Answer::RelocationNoSpace) {
            const std::string body = kMovedPage;
            return "HTTP/1.0 302 Moved Temporarily\r\nContent-Type: text/html\r\nLocation:" +
                   it->second.target + "\r\nContent-Length: " + std::to_string(body.size()) +
                   "\r\n\r\n" + body;
        }
    }
    const std::string body = kNotFoundPage;
    return "HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

void SandboxServer::answerControl(const std::string& path, const httplib::Request& request,
                                  httplib::Response& response) {
    std::string text;
    if (path == "/__expected") {
        SearchOptions options;
        options.checkLinks = flagOn(request, "check", true);
        options.recursive = flagOn(request, "recursive", true);
        options.staticCopy = flagOn(request, "static", false);
        options.archives = flagOn(request, "archives", true);
        boundParam(request, "larger", options.lowerBoundOn, options.lowerBoundKb);
        boundParam(request, "smaller", options.upperBoundOn, options.upperBoundKb);
        const auto w = web(request.get_param_value("phrase"));
        for (const auto& row :
             expectedRows(*w, options, [this](const PictureRecipe& s) { return pictureBytes(s); }))
            text += row.sizeText + "\t" + row.url + "\n";
    } else if (path == "/__thumbpages") {
        for (const auto& url : thumbnailPages(*web(request.get_param_value("phrase"))))
            text += url + "\n";
    } else if (path == "/__archives") {
        text = archiveListing(*web(request.get_param_value("phrase")));
    } else if (path == "/__fetched") {
        for (const auto& entry : requestLog())
            text += entry + "\n";
    } else {
        response.status = 404;
        response.set_content(kNotFoundPage, "text/html");
        return;
    }
    response.set_content(text, "text/plain");
}

} // namespace lumi::sandbox
