#include <gtest/gtest.h>

#include <algorithm>

#include "app/res/StringTable.h"

namespace {

TEST(StringTable, NotValidMessageKeepsItsTwoLineBreaks) {
    const std::string& text = loadString(IDS_NOT_VALID);
    EXPECT_NE(text.find("continue.\n\nNOTE: Files must not"), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 2);
}

TEST(StringTable, InstalledLineTakesTheNameAsText) {
    EXPECT_EQ(formatInstalledMessage("Mode X"), "The Mode X Tockit was successfully installed!");
    EXPECT_EQ(formatInstalledMessage(""), "The  Tockit was successfully installed!");
    EXPECT_EQ(formatInstalledMessage("100%s %d"),
              "The 100%s %d Tockit was successfully installed!");
}

}  // namespace
