// The registry file: headers and encodings, value types and escapes, case-insensitive lookup,
// the query buffer limit, Wine's system.reg, drive-letter mapping and which file the
// environment names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "platform/RegistryFile.h"
#include "tests/support/EnvironmentVariable.h"
#include "tests/support/ScratchFolder.h"

namespace {

using platform::RegistryFile;
using platform::RegistryKey;
using Status = RegistryKey::QueryStatus;
using testsupport::EnvironmentVariable;

constexpr std::size_t pathBuffer = 260;
const std::string exportHeader = "Windows Registry Editor Version 5.00\r\n\r\n";
const std::string hostSection = "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\r\n";

std::string utf16LittleEndianWithMark(std::string_view ascii) {
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

// The value "Path" of the host key, or nullopt when the key does not open.
std::optional<RegistryKey::QueryResult> queryHostPath(const RegistryFile& file,
                                                      std::string_view name = "Path") {
    const RegistryKey* key = file.openKey("Software\\Corvane\\Syndal USB");
    if (key == nullptr) {
        return std::nullopt;
    }
    return key->queryValue(name, pathBuffer);
}

struct ValueCase {
    const char* behaviour;
    std::string fileText;
    Status status;
    platform::RegistryType type;
    std::string data;
};

void PrintTo(const ValueCase& row, std::ostream* out) {
    *out << row.behaviour;
}

const ValueCase valueCases[] = {
    {"string", exportHeader + hostSection + "\"Path\"=\"/opt/syndal/Syndal\"\r\n", Status::ok,
     platform::REG_SZ, "/opt/syndal/Syndal"},
    {"escaped backslashes and quotes",
     exportHeader + hostSection + R"("Path"="C:\\Apps\\\"Host\"\\Host.exe")" + "\r\n", Status::ok,
     platform::REG_SZ, R"(C:\Apps\"Host"\Host.exe)"},
    {"other backslash kept", exportHeader + hostSection + R"("Path"="a\nb")" + "\n", Status::ok,
     platform::REG_SZ, R"(a\nb)"},
    {"spaces around equals", exportHeader + hostSection + "\"Path\" = \"x\"\n", Status::ok,
     platform::REG_SZ, "x"},
    {"expandable string as hex(2) UTF-16",
     exportHeader + hostSection + "\"Path\"=hex(2):25,00,58,00,25,00,00,00\n", Status::ok,
     platform::REG_EXPAND_SZ, "%X%"},
    {"expandable string as hex(2) continued over lines",
     exportHeader + hostSection + "\"Path\"=hex(2):25,00,\\\n  58,00,\\\n  25,00,00,00\n",
     Status::ok, platform::REG_EXPAND_SZ, "%X%"},
    {"expandable string as hex(2) ANSI in REGEDIT4",
     "REGEDIT4\n\n" + hostSection + "\"Path\"=hex(2):25,58,25,00\n", Status::ok,
     platform::REG_EXPAND_SZ, "%X%"},
    {"string written as hex(1)", exportHeader + hostSection + "\"Path\"=hex(1):41,00,00,00\n",
     Status::ok, platform::REG_SZ, "A"},
    {"dword", exportHeader + hostSection + "\"Path\"=dword:0000010a\n", Status::ok,
     platform::REG_DWORD, std::string("\x0a\x01\x00\x00", 4)},
    {"binary", exportHeader + hostSection + "\"Path\"=hex:de,ad,00,01\n", Status::ok,
     platform::REG_BINARY, std::string("\xde\xad\x00\x01", 4)},
    {"value name matched without case", exportHeader + hostSection + "\"PATH\"=\"x\"\n", Status::ok,
     platform::REG_SZ, "x"},
    {"later duplicate wins", exportHeader + hostSection + "\"Path\"=\"a\"\n\"path\"=\"b\"\n",
     Status::ok, platform::REG_SZ, "b"},
    {"value in another key not taken",
     exportHeader + hostSection + "[HKEY_LOCAL_MACHINE\\Software\\Other]\n\"Path\"=\"x\"\n",
     Status::notFound, platform::REG_NONE, ""},
    {"unterminated string skipped", exportHeader + hostSection + "\"Path\"=\"x\n", Status::notFound,
     platform::REG_NONE, ""},
    {"bad dword skipped", exportHeader + hostSection + "\"Path\"=dword:123456789\n",
     Status::notFound, platform::REG_NONE, ""},
    {"bad hex skipped", exportHeader + hostSection + "\"Path\"=hex:zz\n", Status::notFound,
     platform::REG_NONE, ""},
    {"unsupported type skipped", exportHeader + hostSection + "\"Path\"=hex(7):41,00,00,00\n",
     Status::notFound, platform::REG_NONE, ""},
    {"258 characters fit",
     exportHeader + hostSection + "\"Path\"=\"" + std::string(258, 'p') + "\"\n", Status::ok,
     platform::REG_SZ, std::string(258, 'p')},
    {"259 characters and terminator do not fit",
     exportHeader + hostSection + "\"Path\"=\"" + std::string(259, 'p') + "\"\n", Status::moreData,
     platform::REG_SZ, ""},
    {"UTF-16LE file",
     utf16LittleEndianWithMark(exportHeader + hostSection + "\"Path\"=\"/h/x\"\r\n"), Status::ok,
     platform::REG_SZ, "/h/x"},
    {"UTF-8 file with byte-order mark",
     "\xEF\xBB\xBF" + exportHeader + hostSection + "\"Path\"=\"/h/\xC3\xA9\"\n", Status::ok,
     platform::REG_SZ, "/h/\xC3\xA9"},
};

class RegistryValues : public testing::TestWithParam<ValueCase> {};

TEST_P(RegistryValues, QueryGivesStatusTypeAndData) {
    const ValueCase& row = GetParam();
    const auto result = queryHostPath(RegistryFile::fromText(row.fileText));
    ASSERT_TRUE(result.has_value()) << row.behaviour << ": the key did not open";
    EXPECT_EQ(result->status, row.status) << row.behaviour;
    if (row.status != Status::notFound) {
        EXPECT_EQ(result->value.type, row.type) << row.behaviour;
    }
    EXPECT_EQ(result->value.data, row.data) << row.behaviour;
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryValues, testing::ValuesIn(valueCases));

struct OpenCase {
    const char* behaviour;
    std::string fileText;
    std::string_view keyRoot;
    bool opens;
};

void PrintTo(const OpenCase& row, std::ostream* out) {
    *out << row.behaviour;
}

const OpenCase openCases[] = {
    {"exported file", exportHeader + hostSection, {}, true},
    {"REGEDIT4 header", "REGEDIT4\n\n" + hostSection, {}, true},
    {"Wine header with relative keys",
     "WINE REGISTRY Version 2\n;; All keys relative to \\\\Machine\n\n#arch=win64\n\n"
     "[Software\\\\Corvane\\\\Syndal USB] 1700000000\n#time=1d9a0b0c0d0e0f0\n",
     "HKEY_LOCAL_MACHINE", true},
    {"key path matched without case",
     exportHeader + "[hkey_local_machine\\SOFTWARE\\corvane\\SYNDAL usb]\n",
     {},
     true},
    {"unknown header", "Registry Export\n" + hostSection, {}, false},
    {"no header", hostSection, {}, false},
    {"empty text", "", {}, false},
    {"other hive",
     exportHeader + "[HKEY_CURRENT_USER\\Software\\Corvane\\Syndal USB]\n",
     {},
     false},
    {"parent section only", exportHeader + "[HKEY_LOCAL_MACHINE\\Software\\Corvane]\n", {}, false},
    {"deleted key entry",
     exportHeader + "[-HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n",
     {},
     false},
    {"relative section in an exported file",
     exportHeader + "[Software\\Corvane\\Syndal USB]\n",
     {},
     false},
    {"UTF-16LE without its mark",
     utf16LittleEndianWithMark(exportHeader + hostSection).substr(2),
     {},
     false},
};

class RegistryKeys : public testing::TestWithParam<OpenCase> {};

TEST_P(RegistryKeys, KeyOpensOnlyWhenItsSectionIsPresentInAKnownFormat) {
    const OpenCase& row = GetParam();
    const RegistryFile file = RegistryFile::fromText(row.fileText, row.keyRoot);
    EXPECT_EQ(file.openKey("Software\\Corvane\\Syndal USB") != nullptr, row.opens) << row.behaviour;
}

INSTANTIATE_TEST_SUITE_P(Table, RegistryKeys, testing::ValuesIn(openCases));

TEST(RegistryFile, KeyWithoutValuesOpensButHasNoPath) {
    const auto result = queryHostPath(RegistryFile::fromText(exportHeader + hostSection));
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->status, Status::notFound);
}

TEST(RegistryFile, DefaultValueIsTheEmptyName) {
    const auto result =
        queryHostPath(RegistryFile::fromText(exportHeader + hostSection + "@=\"default\"\n"), "");
    ASSERT_TRUE(result.has_value());
    EXPECT_EQ(result->value.data, "default");
}

TEST(RegistryFile, WineStringsAndExpandableStrings) {
    const RegistryFile file = RegistryFile::fromText(
        "WINE REGISTRY Version 2\n\n[Software\\\\Corvane\\\\Syndal USB] 1700000000\n"
        "#time=1d9a0b0c0d0e0f0\n\"Path\"=\"C:\\\\Program Files\\\\Syndal\\\\Syndal.exe\"\n"
        "\"Expanded\"=str(2):\"%ProgramFiles%\\\\Syndal\"\n",
        "HKEY_LOCAL_MACHINE");
    const auto path = queryHostPath(file);
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->value.type, platform::REG_SZ);
    EXPECT_EQ(path->value.data, "C:\\Program Files\\Syndal\\Syndal.exe");
    const auto expanded = queryHostPath(file, "expanded");
    EXPECT_EQ(expanded->value.type, platform::REG_EXPAND_SZ);
    EXPECT_EQ(expanded->value.data, "%ProgramFiles%\\Syndal");
}

TEST(RegistryFile, SurvivesGarbageAndOddInput) {
    std::string garbage = exportHeader;
    for (int i = 0; i < 20000; ++i) {
        garbage += static_cast<char>((i * 7919) % 256);
    }
    const std::string odd[] = {
        garbage,
        exportHeader + hostSection + "\"Path\"=\"" +
            std::string(1 << 20, 'x'),  // huge, unterminated
        exportHeader + hostSection + "\"Path\"=hex:" + std::string(1 << 20, ',') + "\\",
        exportHeader + hostSection + "\"Path\"=hex(ffffffffffff):00\n\"x\"=str(2\n[\n[]\n@\n\"",
        std::string("\xFF\xFE\x00\xD8\x41", 5),  // lone surrogate, odd length
        std::string("\xFF\xFE", 2),
    };
    for (const std::string& text : odd) {
        const RegistryFile file = RegistryFile::fromText(text);
        const auto result = queryHostPath(file);
        EXPECT_TRUE(!result || result->status == Status::notFound);
    }
}

class DriveMapping : public testing::Test {
protected:
    testsupport::ScratchFolder prefix;
    RegistryFile withPrefix = RegistryFile::fromText("", {}, prefix.path());

    void linkDriveC() {
        ASSERT_EQ(::mkdir(prefix.pathOf("drive_c").c_str(), 0700), 0);
        ASSERT_EQ(::mkdir(prefix.pathOf("dosdevices").c_str(), 0700), 0);
        ASSERT_EQ(::symlink("../drive_c", prefix.pathOf("dosdevices/c:").c_str()), 0);
    }
};

TEST_F(DriveMapping, DriveLetterGoesThroughDosdevices) {
    linkDriveC();
    EXPECT_EQ(withPrefix.mapDrivePath("C:\\Program Files\\X\\x.exe"),
              prefix.path() + "/dosdevices/c:/Program Files/X/x.exe");
    EXPECT_EQ(withPrefix.mapDrivePath("c:/x"), prefix.path() + "/dosdevices/c:/x");
}

TEST_F(DriveMapping, DriveWithoutDosdevicesEntryIsNotMapped) {
    linkDriveC();
    EXPECT_EQ(withPrefix.mapDrivePath("D:\\X\\x.exe"), std::nullopt);
}

TEST_F(DriveMapping, DanglingDriveLinkIsNotMapped) {
    ASSERT_EQ(::mkdir(prefix.pathOf("dosdevices").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("../nowhere", prefix.pathOf("dosdevices/c:").c_str()), 0);
    EXPECT_EQ(withPrefix.mapDrivePath("C:\\X\\x.exe"), std::nullopt);
}

TEST_F(DriveMapping, PathWithoutDriveLetterComesBackUnchanged) {
    EXPECT_EQ(withPrefix.mapDrivePath("/opt/syndal/Syndal"), "/opt/syndal/Syndal");
    EXPECT_EQ(withPrefix.mapDrivePath("Syndal.exe"), "Syndal.exe");
}

TEST(RegistryFile, DriveLetterWithoutPrefixIsNotMapped) {
    EXPECT_EQ(RegistryFile::fromText("").mapDrivePath("C:\\X\\x.exe"), std::nullopt);
}

class RegistryEnvironment : public testing::Test {
protected:
    testsupport::ScratchFolder scratch;

    std::string hostPathFromEnvironment() {
        const auto result = queryHostPath(RegistryFile::fromEnvironment());
        return result ? result->value.data : "<no key>";
    }
    std::string writeWineRegistry(const std::string& folder, const std::string& path) {
        std::filesystem::create_directories(scratch.pathOf(folder));
        return scratch.writeFile(
            folder + "/system.reg",
            "WINE REGISTRY Version 2\n\n[Software\\\\Corvane\\\\Syndal USB] 1\n"
            "\"Path\"=\"" +
                path + "\"\n");
    }
};

TEST_F(RegistryEnvironment, ExplicitFileComesFirst) {
    const std::string exported =
        scratch.writeFile("export.reg", exportHeader + hostSection + "\"Path\"=\"/explicit/x\"\n");
    writeWineRegistry("prefix", "/prefix/x");
    const EnvironmentVariable registry("TOCKIT_REGISTRY", exported.c_str());
    const EnvironmentVariable winePrefix("WINEPREFIX", scratch.pathOf("prefix").c_str());
    EXPECT_EQ(hostPathFromEnvironment(), "/explicit/x");
}

TEST_F(RegistryEnvironment, MissingExplicitFileOpensNoKeyEvenWithAPrefix) {
    writeWineRegistry("prefix", "/prefix/x");
    const EnvironmentVariable registry("TOCKIT_REGISTRY", scratch.pathOf("missing.reg").c_str());
    const EnvironmentVariable winePrefix("WINEPREFIX", scratch.pathOf("prefix").c_str());
    EXPECT_EQ(hostPathFromEnvironment(), "<no key>");
}

TEST_F(RegistryEnvironment, FolderInsteadOfFileOpensNoKey) {
    const EnvironmentVariable registry("TOCKIT_REGISTRY", scratch.path().c_str());
    EXPECT_EQ(hostPathFromEnvironment(), "<no key>");
}

TEST_F(RegistryEnvironment, WinePrefixComesNextAndMapsDrives) {
    writeWineRegistry("prefix", "C:\\\\Syndal\\\\Syndal.exe");
    writeWineRegistry("home/.wine", "/home-wine/x");
    const EnvironmentVariable registry("TOCKIT_REGISTRY", nullptr);
    const EnvironmentVariable winePrefix("WINEPREFIX", scratch.pathOf("prefix").c_str());
    const EnvironmentVariable home("HOME", scratch.pathOf("home").c_str());
    EXPECT_EQ(hostPathFromEnvironment(), "C:\\Syndal\\Syndal.exe");

    ASSERT_EQ(::mkdir(scratch.pathOf("prefix/dosdevices").c_str(), 0700), 0);
    ASSERT_EQ(::symlink("/", scratch.pathOf("prefix/dosdevices/c:").c_str()), 0);
    EXPECT_EQ(RegistryFile::fromEnvironment().mapDrivePath("C:\\Syndal\\Syndal.exe"),
              scratch.pathOf("prefix/dosdevices/c:/Syndal/Syndal.exe"));
}

TEST_F(RegistryEnvironment, HomeWineIsTheLastResort) {
    writeWineRegistry("home/.wine", "/home-wine/x");
    const EnvironmentVariable registry("TOCKIT_REGISTRY", nullptr);
    const EnvironmentVariable winePrefix("WINEPREFIX", nullptr);
    const EnvironmentVariable home("HOME", scratch.pathOf("home").c_str());
    EXPECT_EQ(hostPathFromEnvironment(), "/home-wine/x");
}

TEST_F(RegistryEnvironment, NoRegistryAnywhereOpensNoKey) {
    const EnvironmentVariable registry("TOCKIT_REGISTRY", nullptr);
    const EnvironmentVariable winePrefix("WINEPREFIX", scratch.pathOf("empty-prefix").c_str());
    EXPECT_EQ(hostPathFromEnvironment(), "<no key>");
}

}  // namespace
