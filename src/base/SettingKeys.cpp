#include "base/SettingKeys.h"

namespace lumi {

namespace {

SettingRow row(const IntSetting& s) {
    return {s.section, s.key, "whole number", std::to_string(s.fallback), s.control};
}

SettingRow row(const TextSetting& s) {
    return {s.section, s.key, "text", *s.fallback ? s.fallback : "(empty)", s.control};
}

SettingRow row(const BoolSetting& s) {
    return settingRow(s);
}

} // namespace

SettingRow settingRow(const BoolSetting& s) {
    return {s.section, s.key, "0 or 1", s.fallback ? "1" : "0", s.control};
}

std::vector<SettingRow> settingRows(const std::vector<SettingRow>& archiveSwitches) {
    using namespace setting;
    std::vector<SettingRow> rows{row(SlowConnection),
            row(LargerThanBool),
            row(LargerThan),
            row(SmallerThanBool),
            row(SmallerThan),
            row(UseProxy),
            row(ProxyServer),
            row(ProxyPort),
            row(ProxyName),
            row(ProxyPass),
            row(SavePath),
            row(SubDir),
            row(NumberedList),
            row(Wait),
            row(WriteCredits),
            row(CheckLinks),
            row(RecursiveSearch),
            row(LeftPos),
            row(TopPos),
            row(Width),
            row(Height),
            row(Maximized),
            row(ThumbMaxKB)};
    rows.insert(rows.end(), archiveSwitches.begin(), archiveSwitches.end());
    for (const SettingRow& r :
         {row(HotBot), row(Lycos), row(ScourNet), row(LycosImagesDirect), row(SearXNGUrl),
          row(MaxPages), row(LicenceFilter), row(MinWidth), row(MinHeight), row(View), row(ThumbSize)})
        rows.push_back(r);
    return rows;
}

std::string settingsReferenceTable(const std::vector<SettingRow>& rows) {
    std::string table = "| Section | Key | Type | Default | Set by |\n|---|---|---|---|---|\n";
    for (const SettingRow& r : rows)
        table += "| `[" + r.section + "]` | `" + r.key + "` | " + r.type + " | " + r.fallback +
                 " | " + r.control + " |\n";
    return table;
}

} // namespace lumi
