#pragma once
// The options dialog's view of the settings: the values its fields show, read with the
// defaults every reader of the settings uses, the checks its number fields make, and the
// writes its OK makes, in their fixed order.
#include <cstdint>
#include <optional>
#include <string>

#include "base/SettingKeys.h"

class TIniFile;

namespace lumi {

// Every field of the options dialog as it shows it. Number fields hold text, as typed.
struct OptionsValues {
    bool largerThanBool = setting::LargerThanBool.fallback;
    bool smallerThanBool = setting::SmallerThanBool.fallback;
    std::string largerThan = std::to_string(setting::LargerThan.fallback);
    std::string smallerThan = std::to_string(setting::SmallerThan.fallback);
    std::string wait = std::to_string(setting::Wait.fallback);
    bool subDir = setting::SubDir.fallback;
    bool numberedList = setting::NumberedList.fallback;
    std::string savePath = setting::SavePath.fallback;
    bool slowConnection = setting::SlowConnection.fallback;
    bool useProxy = setting::UseProxy.fallback;
    std::string proxyServer = setting::ProxyServer.fallback;
    std::string proxyPort = setting::ProxyPort.fallback;
    std::string proxyName = setting::ProxyName.fallback;
    std::string proxyPass = setting::ProxyPass.fallback;
};

// Reads every field with the settings' defaults (an empty settings file gives OptionsValues{}).
OptionsValues readOptions(const TIniFile& settings);

// A number as the dialog takes it: blanks around it trimmed, then decimal digits with an
// optional sign, within 32 bits; nothing else ("0x10", "7 kb", "") is a number.
std::optional<int32_t> decimalField(const std::string& text);

// The dialog's number fields, in the order OK writes them.
enum class OptionsField { SmallerThan, LargerThan, Wait, ProxyPort };
// What is wrong with a number field's text, naming the field and what it takes ("Must be
// larger than: enter a whole number of kilobytes"); nothing when it is good. Sizes and the
// wait take 0 or more, the proxy port 1 to 65535.
std::optional<std::string> optionsFieldProblem(OptionsField field, const std::string& text);

struct OptionsFieldError {
    OptionsField field;
    std::string message;
};
// The first field OK cannot take, in writing order. Only fields in use are checked: a size
// when its filter is ticked, the wait always, the proxy port when the proxy is used.
std::optional<OptionsFieldError> firstBadOptionsField(const OptionsValues& values);

// OK's writes before the slide-show pause is taken over: connection, size filters, sizes and
// wait, smart save and save folder. The values must have passed firstBadOptionsField; a size
// out of use that holds no number keeps the value stored before.
void writeSearchAndDownloadOptions(TIniFile& settings, const OptionsValues& values);
// OK's writes after it: the proxy switch and its four texts.
void writeProxyOptions(TIniFile& settings, const OptionsValues& values);
// The slide-show pause in seconds as OK reads it back after writing.
int32_t storedWait(const TIniFile& settings);

// The proxy OK hands to the sponsor banner, read back after writing: the host and port
// when "UseProxy" is on, else no host and port 80. A port that is no integer raises
// "'<text>' is not a valid integer value".
struct BannerProxy {
    std::optional<std::string> host;
    int32_t port = 80;
};
BannerProxy storedBannerProxy(const TIniFile& settings);

} // namespace lumi
