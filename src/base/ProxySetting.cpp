#include "base/ProxySetting.h"

#include "base/IniFiles.h"

namespace lumi {

ProxySetting proxyFromSettings(const TIniFile& settings) {
    const auto entries = settings.Entries();
    if (!entries->ReadBool("Options", "UseProxy", false)) return {};
    return {entries->ReadString("Options", "ProxyServer", ""),
            entries->ReadString("Options", "ProxyPort", "80")};
}

} // namespace lumi
