#include "base/ProxySetting.h"

#include "base/IniFiles.h"
#include "base/SettingKeys.h"

namespace lumi {

ProxySetting proxyFromSettings(const TIniFile& settings) {
    const auto entries = settings.Entries();
    if (!readSetting(*entries, setting::UseProxy)) return {};
    ProxySetting proxy{
        readSetting(*entries, setting::ProxyServer), readSetting(*entries, setting::ProxyPort),
        readSetting(*entries, setting::ProxyName), readSetting(*entries, setting::ProxyPass)};
    if (proxy.host.empty()) {
        proxy = {};
        proxy.missingServer = true;
    }
    return proxy;
}

} // namespace lumi
