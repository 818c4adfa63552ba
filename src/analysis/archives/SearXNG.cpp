// A SearXNG instance the user names (its JSON output must be allowed there). A metasearch
// names no creator or licence: the page it links to must be asked. It has no public address:
// it is on by default only while LUMISIFT_SEARXNG_URL stands in for the one entered.
#include <algorithm>

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>

#include "analysis/ArchiveAnswers.h"
#include "analysis/ArchiveFields.h"
#include "analysis/ArchiveService.h"
#include "analysis/HtmlText.h"

namespace lumi {

namespace {

std::string searchUrl(const std::string& base, const std::string& query, int64_t position,
                      const std::string&, LicenceFilter) {
    return base + "/search?q=" + query + "&format=json&categories=images&pageno=" +
           std::to_string(position);
}

// "640 x 480" (SearXNG's resolution) -> 640, 480; 0, 0 when it says no such thing.
void readResolution(const std::string& text, PictureSource& source) {
    const QStringList parts = QString::fromStdString(text).split(QLatin1Char('x'));
    if (parts.size() != 2) return;
    bool wide = false, high = false;
    const int width = parts[0].trimmed().toInt(&wide), height = parts[1].trimmed().toInt(&high);
    if (!wide || !high || width < 1 || height < 1 || width >= 1000000 || height >= 1000000) return;
    source.width = width;
    source.height = height;
}

// Engines named in SearXNG's answer: those of its results, and its "unresponsive_engines",
// pairs of the engine and why ("timeout", "HTTP error", "CAPTCHA").
constexpr size_t MaxEnginesNamed = 100;
void readEngines(const QJsonObject& root, ArchiveAnswer& answer) {
    const auto name = [&answer](const std::string& engine) {
        if (engine.empty() || answer.engines.size() >= MaxEnginesNamed) return;
        if (std::find(answer.engines.begin(), answer.engines.end(), engine) == answer.engines.end())
            answer.engines.push_back(engine);
    };
    for (const QJsonValue& item : root.value(QLatin1String("results")).toArray()) {
        const QJsonObject r = item.toObject();
        name(plainFieldText(stringField(r, "engine")));
        for (const QJsonValue& engine : r.value(QLatin1String("engines")).toArray())
            name(plainFieldText(utf8(engine.toString())));
    }
    for (const QJsonValue& item : root.value(QLatin1String("unresponsive_engines")).toArray()) {
        const QJsonArray pair = item.toArray();
        const std::string engine = plainFieldText(utf8(pair.at(0).toString()));
        if (engine.empty() || answer.failedEngines.size() >= MaxEnginesNamed) continue;
        std::string why = plainFieldText(utf8(pair.at(1).toString()));
        if (why.size() > 80) why.resize(80);
        name(engine);
        answer.failedEngines.emplace_back(engine, why);
    }
}

void readResultList(const QJsonObject& root, int64_t position, ArchiveAnswer& answer) {
    readResults(root, answer, [&answer](const QJsonObject& r) {
        ArchivePicture picture = jpegCandidate(r, "img_src", "img_format", true);
        if (picture.url.empty()) return;
        // A metasearch names no creator or licence: the page it links to must be asked.
        PictureSource& s = picture.source;
        s.service = ServiceId::SearXNG;
        s.page = addressField(r, "url");
        s.title = textField(r, "title");
        s.thumbnail = addressField(r, "thumbnail_src");
        readResolution(stringField(r, "resolution"), s);
        answer.pictures.push_back(std::move(picture));
    });
    if (answer.understood) readEngines(root, answer);
    if (answer.results > 0) answer.next = position + 1;
}

} // namespace

extern const ArchiveService searxngService{
    .id = ServiceId::SearXNG,
    .name = "SearXNG",
    .checkBoxText = "Sear&XNG",
    .setting = {"Services", "SearXNG", false,
                "Services: \"SearXNG\" (on by default while LUMISIFT_SEARXNG_URL is set)"},
    .baseVariable = "LUMISIFT_SEARXNG_URL",
    .publicBase = "",
    .baseSetting = &setting::SearXNGUrl,
    .searchUrl = searchUrl,
    .read = readResultList,
};

} // namespace lumi
