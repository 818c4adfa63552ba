#include "base/ProxySetting.h"

#include "base/IniFiles.h"

namespace lumi {

ProxySetting proxyFromSettings(const TIniFile& settings) {
    if (!settings.ReadBool("Options", "UseProxy", false)) return {};
    return {settings.ReadString("Options", "ProxyServer", ""),
            settings.ReadString("Options", "ProxyPort", "80")};
}

} // namespace lumi
