#pragma once
// The options dialog's view of the settings: the values its fields show, read with the
// dialog's own defaults, the checks its number fields make, and the writes its OK makes,
// in their fixed order.
#include <cstdint>
#include <optional>
#include <string>

class TIniFile;

namespace lumi {

// Every field of the options dialog as it shows it. Number fields hold text, as typed.
struct OptionsValues {
    bool largerThanBool = true;
    bool smallerThanBool = false;
    std::string largerThan = "20";
    std::string smallerThan = "1000";
    std::string wait = "10";
    bool subDir = false;
    bool numberedList = false;
    std::string savePath;
    bool slowConnection = true;
    bool useProxy = false;
    std::string proxyServer;
    std::string proxyPort = "80";
    std::string proxyName;
    std::string proxyPass;
};

// Reads every field with the dialog's defaults (an empty settings file gives OptionsValues{}).
OptionsValues readOptions(const TIniFile& settings);

// The check made when the focus leaves a size or wait field: any integer passes.
bool isIntegerField(const std::string& text);
// The check made when the focus leaves the proxy port: an integer of 0 or more.
bool isProxyPortField(const std::string& text);

// The fields that must hold integers before OK writes anything.
enum class OptionsField { SmallerThan, LargerThan, Wait, ProxyPort };
struct OptionsFieldError {
    OptionsField field;
    // "'<text>' is not a valid integer value"
    std::string message;
};
// The first field OK cannot convert, in the order OK converts them: the two sizes and the
// wait always, the proxy port when the proxy is used (it is handed on as a number then).
std::optional<OptionsFieldError> firstBadOptionsField(const OptionsValues& values);

// OK's writes before the slide-show pause is taken over: connection, size filters, sizes and
// wait, smart save and save folder. The values must have passed firstBadOptionsField.
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
