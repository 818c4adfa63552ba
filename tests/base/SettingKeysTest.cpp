#include "base/SettingKeys.h"

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

// The README's settings reference is the table made from the keys and defaults the program
// reads with; when they change, the failure prints the table to paste.
TEST(SettingKeys, TheReadmesReferenceIsTheTableOfEveryKeyRead) {
    std::ifstream file(LUMISIFT_README);
    std::stringstream readme;
    readme << file.rdbuf();
    const std::string table = lumi::settingsReferenceTable();
    EXPECT_NE(readme.str().find(table), std::string::npos) << "README.md should hold:\n" << table;
}
