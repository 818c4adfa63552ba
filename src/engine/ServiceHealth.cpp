#include "engine/ServiceHealth.h"

#include <algorithm>

namespace lumi {

namespace {

constexpr size_t MaxEnginesKept = 100;

} // namespace

std::string failedEnginesList(const std::vector<std::pair<std::string, std::string>>& failed) {
    std::string text;
    for (size_t i = 0; i < failed.size(); ++i)
        text += (i ? ", " : "") + failed[i].first +
                (failed[i].second.empty() ? "" : " (" + failed[i].second + ")");
    return text;
}

std::string failedEnginesText(const std::vector<std::pair<std::string, std::string>>& failed,
                              size_t engines) {
    const size_t asked = std::max(engines, failed.size());
    return std::to_string(failed.size()) + " of " + std::to_string(asked) + " engine" +
           (asked == 1 ? "" : "s") + " failed: " + failedEnginesList(failed);
}

void noteEngines(ServiceCounts& counts, const ArchiveAnswer& answer) {
    for (const std::string& engine : answer.engines)
        if (counts.engines.size() < MaxEnginesKept &&
            std::find(counts.engines.begin(), counts.engines.end(), engine) == counts.engines.end())
            counts.engines.push_back(engine);
    for (const auto& failed : answer.failedEngines) {
        const bool known = std::any_of(counts.failedEngines.begin(), counts.failedEngines.end(),
                                       [&](const auto& f) { return f.first == failed.first; });
        if (!known && counts.failedEngines.size() < MaxEnginesKept)
            counts.failedEngines.push_back(failed);
    }
}

std::string ServiceHealth::line(ServiceId service) const {
    const ServiceCounts& c = (*this)[service];
    std::string text = std::string(serviceName(service)) + ": pages " + std::to_string(c.asked) +
                       " asked, " + std::to_string(c.answered) + " answered";
    if (!c.statuses.empty()) {
        std::string statuses;
        for (const auto& [status, times] : c.statuses)
            statuses += (statuses.empty() ? "" : ", ") +
                        (status == 0 ? std::string("no answer") : std::to_string(status)) + " x" +
                        std::to_string(times);
        text += " (" + statuses + ")";
    }
    text += "; pictures " + std::to_string(c.handedOn) + " handed on, " +
            std::to_string(c.listed) + " listed";
    if (c.tooLong > 0)
        text += ", " + std::to_string(c.tooLong) + " address" + (c.tooLong == 1 ? "" : "es") +
                " too long for the list";
    if (c.noMarkers) text += ", no results where results were expected";
    if (!c.failedEngines.empty())
        text += "; " + failedEnginesText(c.failedEngines, c.engines.size());
    return text;
}

std::string ServiceHealth::failedEngines() const {
    std::string text;
    for (size_t i = 0; i < ServiceCount; ++i) {
        const ServiceCounts& c = counts_[i];
        if (c.failedEngines.empty()) continue;
        text += (text.empty() ? "" : "; ") + std::string(serviceName(static_cast<ServiceId>(i))) +
                ": " + failedEnginesText(c.failedEngines, c.engines.size());
    }
    return text;
}

std::string ServiceHealth::unreached() const {
    std::string text;
    for (size_t i = 0; i < ServiceCount; ++i) {
        const ServiceCounts& c = counts_[i];
        if (c.asked == 0 || c.answered != 0) continue;
        text += (text.empty() ? "" : ", ") + std::string(serviceName(static_cast<ServiceId>(i))) +
                " (" + (c.failure.empty() ? std::string("no answer") : c.failure) + ")";
    }
    return text;
}

std::vector<std::string> ServiceHealth::lines() const {
    std::vector<std::string> all;
    for (size_t i = 0; i < ServiceCount; ++i)
        all.push_back(line(static_cast<ServiceId>(i)));
    return all;
}

bool ServiceHealth::anyPageRead() const {
    for (const ServiceCounts& c : counts_)
        if (c.read > 0) return true;
    return false;
}

} // namespace lumi
