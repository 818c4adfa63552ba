#pragma once
// Every key the program reads from its settings file, with the one default the options
// dialog, the search, the downloads and the command line all read it with, and the control
// that sets it. The settings reference of the README is this list as a table.
#include <cstdint>
#include <string>
#include <vector>

namespace lumi {

struct BoolSetting {
    const char* section;
    const char* key;
    bool fallback;
    const char* control;
};
struct IntSetting {
    const char* section;
    const char* key;
    int32_t fallback;
    const char* control;
};
struct TextSetting {
    const char* section;
    const char* key;
    const char* fallback;
    const char* control;
};

// A setting read from a TIniFile or from its IniEntries, with its default.
template <class Settings> bool readSetting(const Settings& settings, const BoolSetting& setting) {
    return settings.ReadBool(setting.section, setting.key, setting.fallback);
}
template <class Settings> int32_t readSetting(const Settings& settings, const IntSetting& setting) {
    return settings.ReadInteger(setting.section, setting.key, setting.fallback);
}
template <class Settings>
std::string readSetting(const Settings& settings, const TextSetting& setting) {
    return settings.ReadString(setting.section, setting.key, setting.fallback);
}

namespace setting {

// [Options]: the options dialog's pages and the main window.
inline constexpr BoolSetting SlowConnection{
    "Options", "SlowConnection", true,
    "General: \"Slow Connection (Modem)\" (1) or \"Fast Connection (LAN)\" (0)"};
inline constexpr BoolSetting LargerThanBool{"Options", "LargerThanBool", true,
                                            "General: \"Must be larger than:\""};
inline constexpr IntSetting LargerThan{"Options", "LargerThan", 20,
                                       "General: the kb field of \"Must be larger than:\""};
inline constexpr BoolSetting SmallerThanBool{"Options", "SmallerThanBool", false,
                                             "General: \"Must be smaller than:\""};
inline constexpr IntSetting SmallerThan{"Options", "SmallerThan", 1000,
                                        "General: the kb field of \"Must be smaller than:\""};
inline constexpr BoolSetting UseProxy{"Options", "UseProxy", false,
                                      "Proxy: \"Use Proxy Settings\""};
inline constexpr TextSetting ProxyServer{"Options", "ProxyServer", "", "Proxy: \"Server:\""};
inline constexpr TextSetting ProxyPort{"Options", "ProxyPort", "80", "Proxy: \"Port:\""};
inline constexpr TextSetting ProxyName{"Options", "ProxyName", "", "Proxy: \"Name:\""};
inline constexpr TextSetting ProxyPass{"Options", "ProxyPass", "", "Proxy: \"Pass:\""};
inline constexpr TextSetting SavePath{"Options", "SavePath", "", "Download: \"Save Files in:\""};
inline constexpr BoolSetting SubDir{"Options", "SubDir", false,
                                    "Download: \"Create Sub Dirs (Named After Search String)\""};
inline constexpr BoolSetting NumberedList{
    "Options", "NumberedList", false,
    "Download: \"Name Files After Search String (In Numerical Sequence)\""};
inline constexpr IntSetting Wait{"Options", "Wait", 10, "Slide Show: \"Wait at least\""};
inline constexpr BoolSetting WriteCredits{"Options", "WriteCredits", true,
                                          "Services: \"Write CREDITS.txt with downloads\""};
inline constexpr BoolSetting CheckLinks{"Options", "CheckLinks", true,
                                        "main window: \"Check Links\", kept at closing"};
inline constexpr BoolSetting RecursiveSearch{"Options", "RecursiveSearch", true,
                                             "main window: \"Recursive Search\", kept at closing"};
inline constexpr IntSetting LeftPos{"Options", "LeftPos", 1, "main window: placement at closing"};
inline constexpr IntSetting TopPos{"Options", "TopPos", 1, "main window: placement at closing"};
inline constexpr IntSetting Width{"Options", "Width", 1, "main window: placement at closing"};
inline constexpr IntSetting Height{"Options", "Height", 1, "main window: placement at closing"};
inline constexpr BoolSetting Maximized{"Options", "Maximized", false,
                                       "main window: placement at closing"};
inline constexpr IntSetting ThumbMaxKB{
    "Options", "ThumbMaxKB", 3000,
    "no control: the largest picture the results grid decodes for a thumbnail"};

// [Services]: the options dialog's Services page. Each archive's switch is in its own file
// (analysis/archives).
inline constexpr BoolSetting HotBot{"Services", "HotBot", true, "Services: \"HotBot\""};
inline constexpr BoolSetting Lycos{"Services", "Lycos", true, "Services: \"Lycos\""};
inline constexpr BoolSetting ScourNet{"Services", "ScourNet", true, "Services: \"ScourNet\""};
inline constexpr BoolSetting LycosImagesDirect{"Services", "LycosImagesDirect", true,
                                               "Services: \"Lycos Images Direct\""};
inline constexpr TextSetting SearXNGUrl{"Services", "SearXNGUrl", "",
                                        "Services: \"SearXNG address:\""};
inline constexpr IntSetting MaxPages{"Services", "MaxPages", 3,
                                     "Services: \"Result pages per archive:\" (1 to 20)"};
inline constexpr TextSetting LicenceFilter{
    "Services", "LicenceFilter", "any",
    "Services: \"Licence:\", and the licence box beside the phrase (`any`, `commercial`, "
    "`modify`, `commercial,modify`, `pd`)"};
inline constexpr IntSetting MinWidth{"Services", "MinWidth", 0,
                                     "Services: \"At least\" the width field (pixels; 0: any)"};
inline constexpr IntSetting MinHeight{"Services", "MinHeight", 0,
                                      "Services: \"At least\" the height field (pixels; 0: any)"};

// [Window]: the main window's own choices.
inline constexpr TextSetting View{"Window", "View", "list",
                                  "main window: \"Grid\" / \"List\" (Ctrl+G), kept at once"};
inline constexpr IntSetting ThumbSize{"Window", "ThumbSize", 160,
                                      "main window: the grid's zoom slider, Ctrl+plus, Ctrl+minus, "
                                      "Ctrl+wheel, Ctrl+0 (96 to 320), kept at once"};

} // namespace setting

// One row of the settings reference: "[Options]", "SavePath", "text", "(empty)", control.
struct SettingRow {
    std::string section, key, type, fallback, control;
};
SettingRow settingRow(const BoolSetting& setting);
// Every setting above, by section, in the order the reference lists them, with the archives'
// switches (which the layers above know) first in [Services].
std::vector<SettingRow> settingRows(const std::vector<SettingRow>& archiveSwitches);
// The reference as a Markdown table, one row a key.
std::string settingsReferenceTable(const std::vector<SettingRow>& rows);

} // namespace lumi
