#include "base/OptionsSettings.h"

#include <stdexcept>
#include <utility>

#include "base/IniFiles.h"
#include "base/SettingKeys.h"
#include "base/TextOps.h"

namespace lumi {

namespace {

const char* const Section = "Options";

// Writes a number field that holds one; one that does not keeps the stored value.
void writeNumber(TIniFile& settings, const char* key, const std::string& text) {
    if (const std::optional<int32_t> value = decimalField(text))
        settings.WriteInteger(Section, key, *value);
}

} // namespace

OptionsValues readOptions(const TIniFile& settings) {
    const auto entries = settings.Entries(); // one look at the file for every field
    OptionsValues v;
    v.largerThanBool = readSetting(*entries, setting::LargerThanBool);
    v.smallerThanBool = readSetting(*entries, setting::SmallerThanBool);
    v.largerThan = std::to_string(readSetting(*entries, setting::LargerThan));
    v.smallerThan = std::to_string(readSetting(*entries, setting::SmallerThan));
    v.wait = std::to_string(readSetting(*entries, setting::Wait));
    v.subDir = readSetting(*entries, setting::SubDir);
    v.numberedList = readSetting(*entries, setting::NumberedList);
    v.savePath = readSetting(*entries, setting::SavePath);
    v.slowConnection = readSetting(*entries, setting::SlowConnection);
    v.useProxy = readSetting(*entries, setting::UseProxy);
    v.proxyServer = readSetting(*entries, setting::ProxyServer);
    v.proxyPort = readSetting(*entries, setting::ProxyPort);
    v.proxyName = readSetting(*entries, setting::ProxyName);
    v.proxyPass = readSetting(*entries, setting::ProxyPass);
    return v;
}

std::optional<int32_t> decimalField(const std::string& text) {
    const std::string trimmed = textTrim(text);
    const size_t digits = !trimmed.empty() && (trimmed[0] == '-' || trimmed[0] == '+') ? 1 : 0;
    if (trimmed.size() == digits ||
        trimmed.find_first_not_of("0123456789", digits) != std::string::npos)
        return std::nullopt;
    int32_t value = 0;
    if (!parseInteger(trimmed, value)) return std::nullopt;
    return value;
}

std::optional<std::string> optionsFieldProblem(OptionsField field, const std::string& text) {
    const std::optional<int32_t> value = decimalField(text);
    switch (field) {
    case OptionsField::SmallerThan:
        if (value && *value >= 0) return std::nullopt;
        return "Must be smaller than: enter a whole number of kilobytes";
    case OptionsField::LargerThan:
        if (value && *value >= 0) return std::nullopt;
        return "Must be larger than: enter a whole number of kilobytes";
    case OptionsField::Wait:
        if (value && *value >= 0) return std::nullopt;
        return "Wait at least: enter a whole number of seconds";
    case OptionsField::ProxyPort:
        if (value && *value >= 1 && *value <= 65535) return std::nullopt;
        return "Port: enter a whole number from 1 to 65535";
    }
    return std::nullopt;
}

std::optional<OptionsFieldError> firstBadOptionsField(const OptionsValues& values) {
    const std::pair<OptionsField, const std::string*> fields[] = {
        {OptionsField::SmallerThan, values.smallerThanBool ? &values.smallerThan : nullptr},
        {OptionsField::LargerThan, values.largerThanBool ? &values.largerThan : nullptr},
        {OptionsField::Wait, &values.wait},
        {OptionsField::ProxyPort, values.useProxy ? &values.proxyPort : nullptr},
    };
    for (const auto& [field, text] : fields) {
        if (!text) continue;
        if (std::optional<std::string> problem = optionsFieldProblem(field, *text))
            return OptionsFieldError{field, std::move(*problem)};
    }
    return std::nullopt;
}

void writeSearchAndDownloadOptions(TIniFile& settings, const OptionsValues& values) {
    settings.WriteBool(Section, "SlowConnection", values.slowConnection);
    settings.WriteBool(Section, "LargerThanBool", values.largerThanBool);
    // Written under this spelling; keys match without regard to case, so readers asking
    // for "SmallerThanBool" find it.
    settings.WriteBool(Section, "SmallerThanbool", values.smallerThanBool);
    writeNumber(settings, "SmallerThan", values.smallerThan);
    writeNumber(settings, "LargerThan", values.largerThan);
    writeNumber(settings, "Wait", values.wait);
    settings.WriteBool(Section, "SubDir", values.subDir);
    settings.WriteBool(Section, "NumberedList", values.numberedList);
    settings.WriteString(Section, "SavePath", values.savePath);
}

void writeProxyOptions(TIniFile& settings, const OptionsValues& values) {
    settings.WriteBool(Section, "UseProxy", values.useProxy);
    settings.WriteString(Section, "ProxyServer", values.proxyServer);
    const std::optional<int32_t> port = decimalField(values.proxyPort);
    settings.WriteString(Section, "ProxyPort", port ? std::to_string(*port) : values.proxyPort);
    settings.WriteString(Section, "ProxyName", values.proxyName);
    settings.WriteString(Section, "ProxyPass", values.proxyPass);
}

int32_t storedWait(const TIniFile& settings) {
    return readSetting(settings, setting::Wait);
}

BannerProxy storedBannerProxy(const TIniFile& settings) {
    const auto entries = settings.Entries();
    if (!readSetting(*entries, setting::UseProxy)) return {};
    const std::string port = readSetting(*entries, setting::ProxyPort);
    BannerProxy proxy{readSetting(*entries, setting::ProxyServer), 0};
    if (!parseInteger(port, proxy.port))
        throw std::invalid_argument("'" + port + "' is not a valid integer value");
    return proxy;
}

} // namespace lumi
