// The registry file: headers and encodings, value types and escapes, case-insensitive lookup,
// the query buffer limit, Wine's system.reg, drive-letter mapping, which file the environment
// names, and that a large file is read in bounded memory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>

#include "text/RegistryFile.h"
#include "tests/app/BehaviourName.h"
#include "tests/support/EnvironmentVariable.h"
#include "tests/support/ScratchFolder.h"

namespace {

using behaviourcases::PrintTo;

using namespace text;
using Status = RegistryKey::QueryStatus;
using testsupport::EnvironmentVariable;

const std::string exportHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string hostSection = "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\r\n";
const std::string wineHeader = "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n";
const std::string wineSection = "[Software\\\\Corvane\\\\Syndal USB] 1700000000\n#time=1d9a0b\n";

// An exported file holding the host key with `lines` in it, each ended with CR LF.
std::string exported(std::initializer_list<std::string> lines) {
    std::string text = exportHeader + hostSection;
    for (const std::string& line : lines) {
        text += line + "\r\n";
    }
    return text;
}

std::string utf16LittleEndianWithMark(std::string_view ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes += {c, '\0'};
    }
    return bytes;
}

// A Wine system.reg names its keys relative to HKEY_LOCAL_MACHINE; an exported file in full.
RegistryFile parse(const std::string& text) {
    return RegistryFile::fromText(text, text.starts_with("WINE") ? "HKEY_LOCAL_MACHINE" : "");
}

const std::string_view hostKey[] = {"Software\\Corvane\\Syndal USB"};

// The value `name` of the host key, or nullopt when the key does not open.
std::optional<RegistryKey::QueryResult> queryHost(const RegistryFile& file,
                                                  std::string_view name = "Path") {
    const RegistryKey* key = file.openKey(hostKey[0]);
    return key ? std::optional(key->queryValue(name, 260)) : std::nullopt;
}

struct ValueCase {
    const char* behaviour;
    std::string fileText;
    std::string data;
    RegistryType type = REG_SZ;
    Status status = Status::ok;
    const char* name = "Path";
};

const ValueCase valueCases[] = {
    {"string", exported({R"("Path"="/opt/syndal/Syndal")"}), "/opt/syndal/Syndal"},
    {"escaped backslashes and quotes", exported({R"("Path"="C:\\A\\\"H\"\\H.exe")"}),
     R"(C:\A\"H"\H.exe)"},
    {"other backslash kept", exported({R"("Path"="a\nb")"}), R"(a\nb)"},
    {"spaces around equals", exported({R"("Path" = "x")"}), "x"},
    {"default value is the empty name", exported({R"(@="default")"}), "default", REG_SZ, Status::ok,
     ""},
    {"expandable string as hex(2) UTF-16", exported({R"("Path"=hex(2):25,00,58,00,25,00,00,00)"}),
     "%X%", REG_EXPAND_SZ},
    {"expandable string as hex(2) continued over lines",
     exported({R"("Path"=hex(2):25,00,\)", R"(  58,00,\)", "  25,00,00,00"}), "%X%", REG_EXPAND_SZ},
    {"expandable string as hex(2) ANSI in REGEDIT4",
     "REGEDIT4\n\n" + hostSection + "\"Path\"=hex(2):25,58,25,00\n", "%X%", REG_EXPAND_SZ},
    {"string written as hex(1)", exported({R"("Path"=hex(1):41,00,00,00)"}), "A"},
    {"dword", exported({R"("Path"=dword:0000010a)"}), std::string("\x0a\x01\0\0", 4), REG_DWORD},
    {"binary", exported({R"("Path"=hex:de,ad,00,01)"}), std::string("\xde\xad\0\x01", 4),
     REG_BINARY},
    {"value name matched without case", exported({R"("PATH"="x")"}), "x"},
    {"later duplicate wins", exported({R"("Path"="a")", R"("path"="b")"}), "b"},
    {"258 characters fit", exported({"\"Path\"=\"" + std::string(258, 'p') + "\""}),
     std::string(258, 'p')},
    {"259 characters and terminator do not fit",
     exported({"\"Path\"=\"" + std::string(259, 'p') + "\""}), "", REG_SZ, Status::moreData},
    {"UTF-16LE file", utf16LittleEndianWithMark(exported({R"("Path"="/h/x")"})), "/h/x"},
    {"UTF-16LE surrogate pair split between the chunks the file is read in",
     [] {
         // The high surrogate ends the first 64 KiB, the byte-order mark included.
         const std::string value = hostSection + "\"Path\"=\"";
         const std::string ascii =
             exportHeader + ";" + std::string(32766 - exportHeader.size() - 2 - value.size(), 'x') +
             "\n" + value;
         return utf16LittleEndianWithMark(ascii) + std::string("\x3D\xD8\x00\xDE", 4) +
                utf16LittleEndianWithMark("\"\r\n").substr(2);
     }(),
     "\xF0\x9F\x98\x80"},
    {"UTF-8 file with byte-order mark", "\xEF\xBB\xBF" + exported({"\"Path\"=\"/h/\xC3\xA9\""}),
     "/h/\xC3\xA9"},
    {"Wine string", wineHeader + wineSection + R"("Path"="C:\\Syndal\\S.exe")",
     R"(C:\Syndal\S.exe)"},
    {"Wine expandable string", wineHeader + wineSection + R"("Path"=str(2):"%P%\\S")", R"(%P%\S)",
     REG_EXPAND_SZ},
};

class RegistryValues : public testing::TestWithParam<ValueCase> {};

TEST_P(RegistryValues, QueryGivesStatusTypeAndData) {
    const ValueCase& row = GetParam();
    const auto result = queryHost(parse(row.fileText), row.name);
    ASSERT_TRUE(result.has_value()) << "the key did not open";
    EXPECT_EQ(result->status, row.status);
    if (row.status != Status::notFound) {
        EXPECT_EQ(result->value.type, row.type);
    }
    EXPECT_EQ(result->value.data, row.data);
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryValues, testing::ValuesIn(valueCases), BehaviourName{});

struct OpenCase {
    const char* behaviour;
    std::string fileText;
    bool opens;
};

const OpenCase openCases[] = {
    {"exported file", exported({}), true},
    {"REGEDIT4 header", "REGEDIT4\n\n" + hostSection, true},
    {"Wine header with relative keys", wineHeader + "#arch=win64\n\n" + wineSection, true},
    {"key path matched without case",
     exportHeader + "[hkey_local_machine\\SOFTWARE\\corvane\\SYNDAL usb]\n", true},
    {"unknown header", "Registry Export\n" + hostSection, false},
    {"no header", hostSection, false},
    {"empty text", "", false},
    {"other hive", exportHeader + "[HKEY_CURRENT_USER\\Software\\Corvane\\Syndal USB]\n", false},
    {"parent section only", exportHeader + "[HKEY_LOCAL_MACHINE\\Software\\Corvane]\n", false},
    {"deleted key entry", exportHeader + "[-HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n",
     false},
    {"relative section in an exported file", exportHeader + "[Software\\Corvane\\Syndal USB]\n",
     false},
    {"UTF-16LE without its mark", utf16LittleEndianWithMark(exported({})).substr(2), false},
};

class RegistryKeys : public testing::TestWithParam<OpenCase> {};

TEST_P(RegistryKeys, KeyOpensOnlyWhenItsSectionIsPresentInAKnownFormat) {
    EXPECT_EQ(parse(GetParam().fileText).openKey("Software\\Corvane\\Syndal USB") != nullptr,
              GetParam().opens);
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryKeys, testing::ValuesIn(openCases), BehaviourName{});

TEST(RegistryFile, MalformedOrMisplacedValuesAndGarbageYieldNoValue) {
    std::string garbage = exportHeader;
    for (int i = 0; i < 20000; ++i) {
        garbage += static_cast<char>((i * 7919) % 256);
    }
    const std::string texts[] = {
        exported({}),
        exported({"[HKEY_LOCAL_MACHINE\\Software\\Other]", R"("Path"="x")"}),
        exported({R"("Path"="x)"}),  // unterminated
        exported({R"("Path"=dword:123456789)"}),
        exported({R"("Path"=hex:zz)"}),
        exported({R"("Path"=hex(7):41,00,00,00)"}),  // a type the reader does not take
        exported({R"("Path"=hex(ffffffffffff):00)", R"("x"=str(2)", "[", "[]", "@", "\""}),
        exported({"\"Path\"=\"" + std::string(1 << 20, 'x')}),  // huge, unterminated
        exported({"\"Path\"=hex:" + std::string(1 << 20, ',') + "\\"}),
        garbage,
        std::string("\xFF\xFE\x00\xD8\x41", 5),  // lone surrogate, odd length
        std::string("\xFF\xFE", 2),
    };
    for (const std::string& text : texts) {
        const auto result = queryHost(RegistryFile::fromText(text));
        EXPECT_TRUE(!result || result->status == Status::notFound) << text.substr(0, 120);
    }
}

TEST(RegistryFile, DriveLettersAreMappedThroughTheDosdevicesLinksOfThePrefix) {
    testsupport::ScratchFolder prefix;
    ASSERT_EQ(::mkdir(prefix.pathOf("drive_c").c_str(), 0700), 0);
    ASSERT_EQ(::mkdir(prefix.pathOf("dosdevices").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("../drive_c", prefix.pathOf("dosdevices/c:").c_str()), 0);
    ASSERT_EQ(::symlink("../nowhere", prefix.pathOf("dosdevices/e:").c_str()), 0);
    const RegistryFile withPrefix = RegistryFile::fromText("", {}, prefix.path());
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"C:\\Program Files\\X\\x.exe", prefix.pathOf("dosdevices/c:/Program Files/X/x.exe")},
        {"c:/x", prefix.pathOf("dosdevices/c:/x")},
        {"D:\\X\\x.exe", std::nullopt},  // no link for the drive
        {"E:\\X\\x.exe", std::nullopt},  // a dangling link
        {"/opt/syndal/Syndal", "/opt/syndal/Syndal"},
        {"Syndal.exe", "Syndal.exe"},
    };
    for (const auto& [path, mapped] : cases) {
        EXPECT_EQ(withPrefix.mapDrivePath(path), mapped) << path;
    }
    EXPECT_EQ(RegistryFile::fromText("").mapDrivePath("C:\\X\\x.exe"), std::nullopt);
}

// Which registry the environment names: TOCKIT_REGISTRY, else WINEPREFIX, else ~/.wine. Paths
// are relative to a scratch folder that holds export.reg (Path "/explicit"), prefix/system.reg
// (Path "C:\Syndal") and home/.wine/system.reg (Path "/home-wine"); null unsets the variable.
struct EnvironmentCase {
    const char* behaviour;
    const char* registry;
    const char* winePrefix;
    const char* home;
    const char* hostPath;
};

const EnvironmentCase environmentCases[] = {
    {"explicit file comes first", "export.reg", "prefix", "home", "/explicit"},
    {"missing explicit file opens no key", "missing.reg", "prefix", "home", "<no key>"},
    {"folder instead of a file opens no key", "", nullptr, "home", "<no key>"},
    {"Wine prefix comes next", nullptr, "prefix", "home", "C:\\Syndal"},
    {"home's .wine is the last resort", nullptr, nullptr, "home", "/home-wine"},
    {"no registry anywhere opens no key", nullptr, "empty-prefix", "nowhere", "<no key>"},
};

class RegistryEnvironment : public testing::TestWithParam<EnvironmentCase> {};

TEST_P(RegistryEnvironment, NamesTheFileToRead) {
    testsupport::ScratchFolder scratch;
    scratch.writeFile("export.reg", exported({R"("Path"="/explicit")"}));
    for (const auto& [folder, path] :
         {std::pair{"prefix", "C:\\\\Syndal"}, std::pair{"home/.wine", "/home-wine"}}) {
        std::filesystem::create_directories(scratch.pathOf(folder));
        scratch.writeFile(std::string(folder) + "/system.reg",
                          wineHeader + wineSection + "\"Path\"=\"" + path + "\"\n");
    }
    const auto inScratch = [&](const char* relative) {
        return relative ? std::optional(scratch.pathOf(relative)) : std::nullopt;
    };
    const auto registry = inScratch(GetParam().registry);
    const auto winePrefix = inScratch(GetParam().winePrefix);
    const auto home = inScratch(GetParam().home);
    const EnvironmentVariable registryVariable("TOCKIT_REGISTRY",
                                               registry ? registry->c_str() : nullptr);
    const EnvironmentVariable prefixVariable("WINEPREFIX",
                                             winePrefix ? winePrefix->c_str() : nullptr);
    const EnvironmentVariable homeVariable("HOME", home ? home->c_str() : nullptr);
    const RegistryFile file = RegistryFile::fromEnvironment(hostKey);
    const auto result = queryHost(file);
    EXPECT_EQ(result ? result->value.data : "<no key>", GetParam().hostPath);
    if (GetParam().hostPath == std::string("C:\\Syndal")) {
        // The prefix that supplied the registry also maps its drives.
        ASSERT_EQ(::mkdir(scratch.pathOf("prefix/dosdevices").c_str(), 0700), 0);
        ASSERT_EQ(::symlink("/", scratch.pathOf("prefix/dosdevices/c:").c_str()), 0);
        EXPECT_EQ(file.mapDrivePath("C:\\Syndal\\S.exe"),
                  scratch.pathOf("prefix/dosdevices/c:/Syndal/S.exe"));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryEnvironment, testing::ValuesIn(environmentCases),
                         BehaviourName{});

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
        const std::string filler = "[HKEY_LOCAL_MACHINE\\Software\\Filler]\r\n\"Value\"=\"" +
                                   std::string(1000, 'v') + "\"\r\n";
        out << utf16LittleEndianWithMark(exportHeader);
        const std::string fillerBytes = utf16LittleEndianWithMark(filler).substr(2);
        for (int i = 0; i < 8 * 1024; ++i) {
            out << fillerBytes;
        }
        out << utf16LittleEndianWithMark(hostSection + "\"Path\"=\"/large\"\r\n").substr(2);
    }
    const EnvironmentVariable registry("TOCKIT_REGISTRY", scratch.pathOf("large.reg").c_str());
    // Writing 5 resets the high-water mark of resident memory to the present.
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = statusKiB("VmRSS:");
    if (before < 0 || statusKiB("VmHWM:") > before + 1024) {
        GTEST_SKIP() << "the peak of resident memory cannot be reset here";
    }
    const auto result = queryHost(RegistryFile::fromEnvironment(hostKey));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->value.data, "/large");
#if !defined(__SANITIZE_ADDRESS__)  // the sanitizer keeps freed memory for a while
    EXPECT_LT(statusKiB("VmHWM:") - before, 4 * 1024);
#endif
}

}  // namespace
