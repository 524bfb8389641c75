// The INI reader's rules, one row per rule: the value of a key of section "Tockit".
#include <gtest/gtest.h>

#include "text/IniFile.h"

namespace {

const std::string longValue(300, 'v');
// Every key but the first two belongs to the first "Tockit" section.
const std::string text =
    "Early=x\n[Other]\nOther=other section\n[  tOCKIt  ]\r\n"
    ";Hidden=comment\n  ;Indented=comment\n   AZ   =   a.bin  \n"
    "\tTabbed\t=\tb.bin\t\nFirst=1\nfirst=2\nName=Big Clock\r\n"
    "Double=\"  Big Clock \"\nSingle='Clock'\nUnmatched=\"Clock'\nLone=\"\n"
    "Two=\"\"\nSemi=A;B ; C\nNoEquals\nEquals=a=b\nEmpty=\nLong=" +
    longValue + "\n[Tockit]\nLate=late";

TEST(IniFile, ReadsValuesAsTheWindowsReaderWould) {
    const std::pair<const char*, std::string> rows[] = {
        {"az", "a.bin"},             // keys and sections matched without case, blanks trimmed
        {"tabbed", "b.bin"},         // tabs are blanks too
        {"FIRST", "1"},              // the first matching key wins
        {"Name", "Big Clock"},       // a value keeps its case; CR LF line end
        {"Double", "  Big Clock "},  // quotes removed
        {"Single", "Clock"},
        {"Unmatched", "\"Clock'"},  // unmatched quotes kept
        {"Lone", "\""},
        {"Two", ""},
        {"Semi", "A;B ; C"},  // a semicolon inside a value is kept
        {"Equals", "a=b"},
        {"Empty", ""},                       // an empty value is not the default
        {"Long", longValue.substr(0, 259)},  // cut to the buffer
        {"Hidden", "<default>"},  // a semicolon at the start of a line makes it a comment
        {"Indented", "<default>"},
        {"NoEquals", "<default>"},  // a line without equals is ignored
        {"Early", "<default>"},     // nor a key before any section
        {"Other", "<default>"},     // a key of another section is not taken
        {"Late", "<default>"},      // only the first matching section is read
    };
    for (const auto& [key, expected] : rows) {
        EXPECT_EQ(text::IniFile(text).getString("Tockit", key, "<default>"), expected) << key;
    }
    // A byte-order mark is skipped; a section header may lack its closing bracket.
    EXPECT_EQ(text::IniFile("\xEF\xBB\xBF[Tockit]\nCODE=a").getString("Tockit", "CODE"), "a");
    EXPECT_EQ(text::IniFile("[Tockit\nName=n").getString("tockit", "name"), "n");
    EXPECT_EQ(text::IniFile("CODE=x\n[Tockit]").getString("Tockit", "CODE", longValue),
              longValue.substr(0, 259));
    EXPECT_EQ(text::IniFile("").getString("Tockit", "CODE"), "");
}

}  // namespace
