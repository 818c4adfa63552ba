#include "base/OptionsSettings.h"

#include <stdexcept>

#include "base/IniFiles.h"
#include "base/TextOps.h"

namespace lumi {

namespace {

const char* const Section = "Options";

int32_t toInteger(const std::string& text) {
    int32_t value = 0;
    parseInteger(text, value);
    return value;
}

} // namespace

OptionsValues readOptions(const TIniFile& settings) {
    const auto entries = settings.Entries(); // one look at the file for every field
    OptionsValues v;
    v.largerThanBool = entries->ReadBool(Section, "LargerThanBool", true);
    v.smallerThanBool = entries->ReadBool(Section, "SmallerThanBool", false);
    v.largerThan = std::to_string(entries->ReadInteger(Section, "LargerThan", 20));
    v.smallerThan = std::to_string(entries->ReadInteger(Section, "SmallerThan", 1000));
    v.wait = std::to_string(entries->ReadInteger(Section, "Wait", 10));
    v.subDir = entries->ReadBool(Section, "SubDir", false);
    v.numberedList = entries->ReadBool(Section, "NumberedList", false);
    v.savePath = entries->ReadString(Section, "SavePath", "");
    v.slowConnection = entries->ReadBool(Section, "SlowConnection", true);
    v.useProxy = entries->ReadBool(Section, "UseProxy", false);
    v.proxyServer = entries->ReadString(Section, "ProxyServer", "");
    v.proxyPort = entries->ReadString(Section, "ProxyPort", "80");
    v.proxyName = entries->ReadString(Section, "ProxyName", "");
    v.proxyPass = entries->ReadString(Section, "ProxyPass", "");
    return v;
}

bool isIntegerField(const std::string& text) {
    int32_t value = 0;
    return parseInteger(text, value);
}

bool isProxyPortField(const std::string& text) {
    int32_t value = 0;
    return parseInteger(text, value) && value >= 0;
}

std::optional<OptionsFieldError> firstBadOptionsField(const OptionsValues& values) {
    const std::pair<OptionsField, const std::string*> fields[] = {
        {OptionsField::SmallerThan, &values.smallerThan},
        {OptionsField::LargerThan, &values.largerThan},
        {OptionsField::Wait, &values.wait},
        {OptionsField::ProxyPort, values.useProxy ? &values.proxyPort : nullptr},
    };
    for (const auto& [field, text] : fields) {
        if (text && !isIntegerField(*text))
            return OptionsFieldError{field, "'" + *text + "' is not a valid integer value"};
    }
    return std::nullopt;
}

void writeSearchAndDownloadOptions(TIniFile& settings, const OptionsValues& values) {
    settings.WriteBool(Section, "SlowConnection", values.slowConnection);
    settings.WriteBool(Section, "LargerThanBool", values.largerThanBool);
    // Written under this spelling; keys match without regard to case, so readers asking
    // for "SmallerThanBool" find it.
    settings.WriteBool(Section, "SmallerThanbool", values.smallerThanBool);
    settings.WriteInteger(Section, "SmallerThan", toInteger(values.smallerThan));
    settings.WriteInteger(Section, "LargerThan", toInteger(values.largerThan));
    settings.WriteInteger(Section, "Wait", toInteger(values.wait));
    settings.WriteBool(Section, "SubDir", values.subDir);
    settings.WriteBool(Section, "NumberedList", values.numberedList);
    settings.WriteString(Section, "SavePath", values.savePath);
}

void writeProxyOptions(TIniFile& settings, const OptionsValues& values) {
    settings.WriteBool(Section, "UseProxy", values.useProxy);
    settings.WriteString(Section, "ProxyServer", values.proxyServer);
    settings.WriteString(Section, "ProxyPort", values.proxyPort);
    settings.WriteString(Section, "ProxyName", values.proxyName);
    settings.WriteString(Section, "ProxyPass", values.proxyPass);
}

int32_t storedWait(const TIniFile& settings) {
    return settings.ReadInteger(Section, "Wait", 10);
}

BannerProxy storedBannerProxy(const TIniFile& settings) {
    const auto entries = settings.Entries();
    if (!entries->ReadBool(Section, "UseProxy", false)) return {};
    const std::string port = entries->ReadString(Section, "ProxyPort", "80");
    BannerProxy proxy{entries->ReadString(Section, "ProxyServer", ""), 0};
    if (!parseInteger(port, proxy.port))
        throw std::invalid_argument("'" + port + "' is not a valid integer value");
    return proxy;
}

} // namespace lumi
