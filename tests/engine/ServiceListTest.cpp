// An archive is one file: the list of archives gives each its name, engine number, switch,
// settings row and health line, with nothing else to add.
#include <algorithm>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "analysis/ArchiveService.h"
#include "engine/ServiceChoice.h"
#include "engine/ServiceHealth.h"

namespace {

// When the keys change, the failure prints the table to paste into the README.
TEST(ServiceList, TheReadmesReferenceIsTheTableOfEveryKeyRead) {
    std::stringstream readme;
    readme << std::ifstream(LUMISIFT_README).rdbuf();
    const std::string table = lumi::settingsReference();
    EXPECT_NE(readme.str().find(table), std::string::npos) << "README.md should hold:\n" << table;
}

TEST(ServiceList, EveryArchiveOfTheListIsNamedSwitchedAndCounted) {
    const lumi::ServiceHealth health;
    const std::vector<std::string> lines = health.lines();
    const std::string reference = lumi::settingsReference();
    const lumi::ServiceChoice defaults;
    ASSERT_EQ(lumi::archiveServices().size(), 6u);
    for (const lumi::ArchiveService* archive : lumi::archiveServices()) {
        SCOPED_TRACE(archive->name);
        EXPECT_STREQ(lumi::serviceName(archive->id), archive->name);
        EXPECT_EQ(lumi::serviceOfEngine(lumi::engineOfService(archive->id)), archive->id);
        EXPECT_STREQ(lumi::serviceSettingKey(archive->id), archive->setting.key);
        EXPECT_EQ(defaults.enabledFor(archive->id), archive->setting.fallback);
        EXPECT_NE(reference.find(std::string("| `") + archive->setting.key + "` |"), std::string::npos);
        const std::string prefix = std::string(archive->name) + ": pages 0 asked";
        EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                                [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }),
                  1);
    }
}

} // namespace
