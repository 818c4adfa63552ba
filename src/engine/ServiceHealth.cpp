#include "engine/ServiceHealth.h"

namespace lumi {

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
    if (c.itemsAsked > 0)
        text += ", items " + std::to_string(c.itemsAsked) + " asked, " + std::to_string(c.itemsRead) +
                " read";
    text += "; pictures " + std::to_string(c.handedOn) + " handed on, " +
            std::to_string(c.listed) + " listed";
    if (c.tooLong > 0)
        text += ", " + std::to_string(c.tooLong) + " address" + (c.tooLong == 1 ? "" : "es") +
                " too long for the list";
    if (c.noMarkers) text += ", no results where results were expected";
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
