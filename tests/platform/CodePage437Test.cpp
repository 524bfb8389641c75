// Code page 437 to UTF-8: known glyphs, ASCII untouched, and a table without duplicates.
#include <gtest/gtest.h>

#include <set>

#include "text/CodePage437.h"

TEST(CodePage437Test, UpperHalfBecomesItsGlyphsAndAsciiStays) {
    const std::pair<std::string, std::string> cases[] = {
        {"\x80", "Ç"},
        {"\x81", "ü"},
        {"\x9E", "₧"},
        {"\xB0", "░"},
        {"\xE1", "ß"},
        {"\xEA", "Ω"},
        {"\xFE", "■"},
        {"\xFF", "\u00A0"},
        {"na\x84ve_\x9A.txt", "naäve_Ü.txt"},
        {"dir\\File 1.bin~", "dir\\File 1.bin~"},
    };
    for (const auto& [oem, utf8] : cases) {
        EXPECT_EQ(text::codePage437ToUtf8(oem), utf8);
    }
}

TEST(CodePage437Test, EveryUpperByteGivesADistinctNonAsciiCharacter) {
    std::set<std::string> seen;
    for (int byte = 0x80; byte <= 0xFF; ++byte) {
        const std::string utf8 =
            text::codePage437ToUtf8(std::string(1, static_cast<char>(byte)));
        ASSERT_GE(utf8.size(), 2u) << byte;
        EXPECT_GE(static_cast<unsigned char>(utf8[0]), 0xC2u) << byte;
        seen.insert(utf8);
    }
    EXPECT_EQ(seen.size(), 128u);
}
