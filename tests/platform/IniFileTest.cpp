// The INI reader's rules, one row per rule: (text, section, key) -> value.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "text/IniFile.h"
#include "tests/app/BehaviourName.h"

namespace {

using behaviourcases::PrintTo;

struct IniCase {
    const char* behaviour;
    std::string text;
    const char* section;
    const char* key;
    std::string expected;  // with the default "<default>"
};

const std::string longValue(300, 'v');

const IniCase cases[] = {
    {"plain key", "[Tockit]\nCODE=a.bin\n", "Tockit", "CODE", "a.bin"},
    {"section matched without case", "[TOCKIT]\nCODE=a.bin\n", "tockit", "CODE", "a.bin"},
    {"key matched without case", "[Tockit]\ncode=a.bin\n", "Tockit", "CoDe", "a.bin"},
    {"value keeps its case", "[Tockit]\nName=Big Clock\n", "Tockit", "name", "Big Clock"},
    {"spaces around section, key and value trimmed", "[  Tockit  ]\n   CODE   =   a.bin  \n",
     "Tockit", "CODE", "a.bin"},
    {"tabs trimmed too", "[Tockit]\n\tCODE\t=\ta.bin\t\n", "Tockit", "CODE", "a.bin"},
    {"first matching key wins", "[Tockit]\nCODE=first\nCODE=second\n", "Tockit", "CODE", "first"},
    {"only the first matching section is read", "[Tockit]\nPAR=p.bin\n[Tockit]\nCODE=late\n",
     "Tockit", "CODE", "<default>"},
    {"key of another section not taken", "[Other]\nCODE=x\n[Tockit]\nPAR=p\n", "Tockit", "CODE",
     "<default>"},
    {"key before any section not taken", "CODE=x\n[Tockit]\n", "Tockit", "CODE", "<default>"},
    {"missing section gives the default", "[Other]\nCODE=x\n", "Tockit", "CODE", "<default>"},
    {"double quotes removed", "[Tockit]\nName=\"  Big Clock \"\n", "Tockit", "Name",
     "  Big Clock "},
    {"single quotes removed", "[Tockit]\nName='Clock'\n", "Tockit", "Name", "Clock"},
    {"unmatched quotes kept", "[Tockit]\nName=\"Clock'\n", "Tockit", "Name", "\"Clock'"},
    {"lone quote kept", "[Tockit]\nName=\"\n", "Tockit", "Name", "\""},
    {"semicolon at line start is a comment", "[Tockit]\n;CODE=hidden\nCODE=shown\n", "Tockit",
     "CODE", "shown"},
    {"semicolon after blanks is a comment", "[Tockit]\n  ;CODE=hidden\n", "Tockit", "CODE",
     "<default>"},
    {"semicolon inside a value is kept", "[Tockit]\nName=A;B ; C\n", "Tockit", "Name", "A;B ; C"},
    {"byte-order mark skipped", "\xEF\xBB\xBF[Tockit]\nCODE=a.bin\n", "Tockit", "CODE", "a.bin"},
    {"line without equals ignored", "[Tockit]\nCODE\nCODE=a.bin\n", "Tockit", "CODE", "a.bin"},
    {"equals inside the value kept", "[Tockit]\nName=a=b\n", "Tockit", "Name", "a=b"},
    {"CRLF line ends", "[Tockit]\r\nCODE=a.bin\r\nPAR=p.bin\r\n", "Tockit", "CODE", "a.bin"},
    {"last line without line end", "[Tockit]\nCODE=a.bin", "Tockit", "CODE", "a.bin"},
    {"empty value is not the default", "[Tockit]\nName=\n", "Tockit", "Name", ""},
    {"value cut to 259 bytes", "[Tockit]\nName=" + longValue + "\n", "Tockit", "Name",
     longValue.substr(0, 259)},
    {"section without closing bracket", "[Tockit\nCODE=a.bin\n", "Tockit", "CODE", "a.bin"},
    {"empty text", "", "Tockit", "CODE", "<default>"},
};

class IniRules : public testing::TestWithParam<IniCase> {};

TEST_P(IniRules, ReadsTheValueAsTheWindowsReaderWould) {
    const IniCase& row = GetParam();
    EXPECT_EQ(text::IniFile(row.text).getString(row.section, row.key, "<default>"),
              row.expected);
}

INSTANTIATE_TEST_SUITE_P(Table, IniRules, testing::ValuesIn(cases), BehaviourName{});

TEST(IniFile, DefaultIsCutToTheBufferTooAndEmptyWhenNoneIsGiven) {
    EXPECT_EQ(text::IniFile("").getString("Tockit", "Name", longValue),
              longValue.substr(0, 259));
    EXPECT_EQ(text::IniFile("").getString("Tockit", "Name"), "");
}

}  // namespace
