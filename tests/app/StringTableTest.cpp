// Messages whose exact form matters: line breaks kept, and a name that is never a format.
#include <gtest/gtest.h>

#include "install/StringTable.h"

namespace {

TEST(StringTable, NotValidMessageHasTwoLineBreaksBeforeItsNote) {
    EXPECT_NE(loadString(IDS_NOT_VALID).find("continue.\n\nNOTE: Files"), std::string::npos);
}

TEST(StringTable, NamesAndArgumentsAreTakenAsPlainText) {
    EXPECT_EQ(formatInstalledMessage("Mode X"), "The Mode X Tockit was successfully installed!");
    EXPECT_EQ(formatInstalledMessage("5%s %d"), "The 5%s %d Tockit was successfully installed!");
    EXPECT_EQ(formatMessage(IDS_CANNOT_WRITE, {"/h/%2", "Disk full"}),
              "The Tockit could not be installed: /h/%2 could not be written (Disk full).");
}

}  // namespace
