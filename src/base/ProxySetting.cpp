#include "base/ProxySetting.h"

#include "base/IniFiles.h"

namespace lumi {

ProxySetting proxyFromSettings(const TIniFile& settings) {
    const auto entries = settings.Entries();
    if (!entries->ReadBool("Options", "UseProxy", false)) return {};
    ProxySetting proxy{entries->ReadString("Options", "ProxyServer", ""),
                       entries->ReadString("Options", "ProxyPort", "80"),
                       entries->ReadString("Options", "ProxyName", ""),
                       entries->ReadString("Options", "ProxyPass", "")};
    if (proxy.host.empty()) {
        proxy = {};
        proxy.missingServer = true;
    }
    return proxy;
}

} // namespace lumi
