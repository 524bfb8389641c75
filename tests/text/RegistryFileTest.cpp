// The registry file, one row per rule: file bytes in, the host key's value or its refusal out.
// Then drive letters mapped through a Wine prefix, which file the environment names, and that a
// large file is read in bounded memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "text/RegistryFile.h"
#include "tests/support/BehaviourName.h"
#include "tests/support/EnvironmentVariable.h"
#include "tests/support/ScratchFolder.h"

namespace {

using behaviourcases::PrintTo;
using text::RegistryFile;
using testsupport::EnvironmentVariable;
namespace fs = std::filesystem;

const std::string exportHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string hostSection = "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\r\n";
const std::string wine =
    "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n"
    "#arch=win64\n[Software\\\\Corvane\\\\Syndal USB] 1700000000\n#time=1d\n";
const std::string_view hostKey[] = {"Software\\Corvane\\Syndal USB"};

std::string utf16(std::string_view ascii, std::string mark = "\xFF\xFE") {
    for (char c : ascii) {
        mark += {c, '\0'};
    }
    return mark;
}

// The host key's value `name` as "type:data", or what stands in its way.
std::string lookup(const RegistryFile& file, std::string_view name = "Path") {
    const text::RegistryKey* key = file.openKey(hostKey[0]);
    if (key == nullptr) {
        return "no key";
    }
    const auto [status, value] = key->queryValue(name, 260);
    using Status = text::RegistryKey::QueryStatus;
    return status == Status::notFound ? "not found"
                                      : (status == Status::moreData ? "more data " : "") +
                                            std::to_string(value.type) + ":" + value.data;
}

// Values of every form, each named after the rule it follows, and lines to skip.
const std::string values = exportHeader + hostSection + R"("String"="/opt/syndal/Syndal"
"Escapes"="C:\\A\\\"H\"\\H.exe"
"OtherBackslash"="a\nb"
  "Spaced"  =  "x"  
@="default"
"Expandable"=hex(2):25,00,58,00,25,00,00,00
"Continued"=hex(2):25,00,\
  58,00,\
  25,00,00,00
"StringAsHex"=hex(1):41,00,00,00
"Dword"=dword:0000010a
"Binary"=hex:de,ad,00,01
"UPPER"="x"
"Duplicate"="a"
"duplicate"="b"
"Unterminated"="x
"NineDigits"=dword:123456789
"NotHex"=hex:zz
"MultiString"=hex(7):41,00,00,00
"HugeType"=hex(ffffffffffff):00
"WineNoQuote"=str(2)
"Fits"=")" + std::string(258, 'p') +
                           "\"\n\"TooLong\"=\"" + std::string(259, 'p') +
                           "\"\n[\n\"AfterBadSection\"=\"x\"\n";

TEST(RegistryFile, ValuesAreReadInEveryForm) {
    const std::pair<const char*, std::string> rows[] = {
        {"String", "1:/opt/syndal/Syndal"},
        {"Escapes", R"(1:C:\A\"H"\H.exe)"},
        {"OtherBackslash", R"(1:a\nb)"},
        {"spaced", "1:x"},
        {"", "1:default"},
        {"Expandable", "2:%X%"},
        {"Continued", "2:%X%"},
        {"StringAsHex", "1:A"},
        {"Dword", std::string("4:\x0a\x01\0\0", 6)},
        {"Binary", std::string("3:\xde\xad\0\x01", 6)},
        {"upper", "1:x"},
        {"Duplicate", "1:b"},  // the later one wins
        {"Fits", "1:" + std::string(258, 'p')},
        {"TooLong", "more data 1:"},  // 259 characters and the terminator do not fit
        {"Unterminated", "not found"},
        {"NineDigits", "not found"},
        {"NotHex", "not found"},
        {"MultiString", "not found"},
        {"HugeType", "not found"},
        {"WineNoQuote", "not found"},
        {"AfterBadSection", "not found"},
    };
    for (const auto& file :
         {RegistryFile::fromText(values), RegistryFile::fromText(utf16(values))}) {
        for (const auto& [name, expected] : rows) {
            EXPECT_EQ(lookup(file, name), expected) << name;
        }
    }
}

struct RegistryCase {
    const char* behaviour;
    std::string bytes;
    std::string expected;  // the value "Path"
};

const std::string path = hostSection + "\"Path\"=\"";
const RegistryCase cases[] = {
    {"REGEDIT4 has ANSI hex strings",
     "REGEDIT4\n\n" + hostSection + "\"Path\"=hex(2):25,58,25,00\n", "2:%X%"},
    {"UTF-8 with byte-order mark", "\xEF\xBB\xBF" + exportHeader + path + "/h/\xC3\xA9\"",
     "1:/h/\xC3\xA9"},
    {"Wine string", wine + R"("Path"="C:\\S\\S.exe")", R"(1:C:\S\S.exe)"},
    {"Wine expandable string", wine + R"("Path"=str(2):"%P%\\S")", R"(2:%P%\S)"},
    {"UTF-16LE surrogate pair split between the chunks the file is read in",
     utf16(exportHeader + ";" + std::string(32766 - exportHeader.size() - 2 - path.size(), 'x') +
           "\n" + path) +
         std::string("\x3D\xD8\x00\xDE", 4) + utf16("\"", ""),
     "1:\xF0\x9F\x98\x80"},
    {"UTF-16LE at the edges of each UTF-8 length, lone surrogate replaced",
     utf16(exportHeader + path) +
         std::string("\x7F\0\x80\0\xFF\x07\0\x08\xFF\xFF\0\xD8\0\xDC\0\xDC", 16) + utf16("\"", ""),
     "1:\x7F\u0080\u07FF\u0800\uFFFF\U00010000\uFFFD"},
    {"key path matched without case",
     exportHeader + "[hkey_local_machine\\SOFTWARE\\corvane\\SYNDAL usb]", "not found"},
    {"huge unterminated string", exportHeader + path + std::string(1 << 20, 'x'), "not found"},
    {"huge hex continuation",
     exportHeader + hostSection + "\"Path\"=hex:" + std::string(1 << 20, ',') + "\\", "not found"},
    {"unknown header", "Registry Export\n" + hostSection, "no key"},
    {"no header", hostSection, "no key"},
    {"empty file", "", "no key"},
    {"other hive", exportHeader + "[HKEY_CURRENT_USER\\Software\\Corvane\\Syndal USB]", "no key"},
    {"parent key only", exportHeader + "[HKEY_LOCAL_MACHINE\\Software\\Corvane]", "no key"},
    {"deleted key", exportHeader + "[-HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]",
     "no key"},
    {"relative key in an exported file", exportHeader + "[Software\\Corvane\\Syndal USB]",
     "no key"},
    {"UTF-16LE without its mark", utf16(exportHeader + hostSection, ""), "no key"},
    {"UTF-16LE lone surrogate at an odd end", std::string("\xFF\xFE\x00\xD8\x41", 5), "no key"},
};

class RegistryFiles : public testing::TestWithParam<RegistryCase> {};

TEST_P(RegistryFiles, GiveTheHostKeysValueOrRefuse) {
    const std::string& bytes = GetParam().bytes;
    // A Wine system.reg names its keys relative to HKEY_LOCAL_MACHINE.
    const auto root = bytes.starts_with("WINE") ? "HKEY_LOCAL_MACHINE" : "";
    EXPECT_EQ(lookup(RegistryFile::fromText(bytes, root)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryFiles, testing::ValuesIn(cases), BehaviourName{});

// TOCKIT_REGISTRY comes first, then WINEPREFIX, then ~/.wine; the prefix maps drive letters.
TEST(RegistryFile, TheEnvironmentNamesTheFileToReadAndThePrefixToMapDrivesIn) {
    testsupport::ScratchFolder scratch;
    scratch.writeFile("export.reg", exportHeader + hostSection + R"("Path"="/explicit")");
    for (const std::string prefix : {"prefix", "home/.wine"}) {
        fs::create_directories(scratch.pathOf(prefix + "/dosdevices"));
        scratch.writeFile(prefix + "/system.reg", wine + "\"Path\"=\"" + prefix + "\"");
    }
    fs::create_directory_symlink("..", scratch.pathOf("prefix/dosdevices/c:"));
    fs::create_directory_symlink("../nowhere", scratch.pathOf("prefix/dosdevices/e:"));
    // TOCKIT_REGISTRY, WINEPREFIX and HOME in the scratch folder (null: unset); the value.
    const std::pair<std::array<const char*, 3>, std::string> cases[] = {
        {{"export.reg", "prefix", "home"}, "1:/explicit"},
        {{"missing.reg", "prefix", "home"}, "no key"},
        {{nullptr, nullptr, "home"}, "1:home/.wine"},
        {{nullptr, "nowhere", nullptr}, "no key"},
        {{nullptr, "prefix", nullptr}, "1:prefix"},  // the last: its file maps drives below
    };
    std::optional<RegistryFile> file;
    std::optional<EnvironmentVariable> variables[3];
    for (const auto& [values, expected] : cases) {
        for (int index = 0; index < 3; ++index) {
            const std::string value = scratch.pathOf(values[index] ? values[index] : "");
            variables[index].reset();
            variables[index].emplace(std::array{"TOCKIT_REGISTRY", "WINEPREFIX", "HOME"}[index],
                                     values[index] ? value.c_str() : nullptr);
        }
        file = RegistryFile::fromEnvironment(hostKey);
        EXPECT_EQ(lookup(*file), expected);
    }
    const std::pair<const char*, std::optional<std::string>> drives[] = {
        {"C:\\Program Files\\X\\x.exe",
         scratch.pathOf("prefix/dosdevices/c:/Program Files/X/x.exe")},
        {"c:", scratch.pathOf("prefix/dosdevices/c:")},
        {"a:/x", std::nullopt},  // no link for the drive
        {"z:/x", std::nullopt},
        {"E:\\X\\x.exe", std::nullopt},  // a dangling link
        {"/opt/syndal/Syndal", "/opt/syndal/Syndal"},
        {"1:x", "1:x"},
    };
    for (const auto& [path, mapped] : drives) {
        EXPECT_EQ(file->mapDrivePath(path), mapped) << path;
    }
    EXPECT_EQ(RegistryFile::fromText("").mapDrivePath("C:\\X\\x.exe"), std::nullopt);
}

// A field of /proc/self/status in KiB, such as the resident memory and its high-water mark.
long statusKiB(std::string_view field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with(field)) {
            return std::stol(line.substr(field.size()));
        }
    }
    return -1;
}

// Some 17 MB of UTF-16 keys that are not asked for, then the host key: reading it takes a few
// hundred kilobytes, where holding the file would take more than its size.
TEST(RegistryFile, LargeFileIsReadInBoundedMemory) {
    testsupport::ScratchFolder scratch;
    {
        std::ofstream out(scratch.pathOf("large.reg"), std::ios::binary);
        out << utf16(exportHeader);
        const std::string filler = utf16("[HKEY_LOCAL_MACHINE\\Software\\Filler]\r\n\"Value\"=\"" +
                                             std::string(1000, 'v') + "\"\r\n",
                                         "");
        for (int i = 0; i < 8 * 1024; ++i) {
            out << filler;
        }
        out << utf16(hostSection + "\"Path\"=\"/large\"\r\n", "");
    }
    const EnvironmentVariable registry("TOCKIT_REGISTRY", scratch.pathOf("large.reg").c_str());
    // Writing 5 resets the high-water mark of resident memory to the present.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKiB("VmRSS:");
    if (before < 0 || statusKiB("VmHWM:") > before + 1024) {
        GTEST_SKIP() << "the peak of resident memory cannot be reset here";
    }
    EXPECT_EQ(lookup(RegistryFile::fromEnvironment(hostKey)), "1:/large");
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer keeps freed memory for a while
    EXPECT_LT(statusKiB("VmHWM:") - before, 4 * 1024);
#endif
}

}  // namespace
