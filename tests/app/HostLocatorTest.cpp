// Where the host program is found: the two registry keys in order, the "Path" value's limits
// and forms, the host folder that must exist, and drive letters in a Wine prefix.
#include <gtest/gtest.h>

#include <filesystem>

#include "install/HostLocator.h"
#include "tests/app/BehaviourName.h"
#include "tests/support/ScratchFolder.h"

namespace {

using behaviourcases::PrintTo;

const std::string key1 = "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n";
const std::string key2 = "[HKEY_LOCAL_MACHINE\\Software\\Veltrane\\Strivana]\n";

std::string path(const std::string& value) {
    return "\"Path\"=\"" + value + "\"\n";
}

// A "Path" value of `length` bytes, terminator not counted, below `root`.
std::string pathOfLength(const std::string& root, std::size_t length) {
    return root + "/" + std::string(length - root.size() - 5, 'x') + "/h.x";
}

// The folder the table's host paths lie in, with the host programs that exist.
const std::string root = [] {
    static const testsupport::ScratchFolder scratch;
    for (const char* program : {"syndal/Syndal", "strivana/S", "1/s", "2/s", "host/h.exe"}) {
        std::filesystem::create_directories(
            scratch.pathOf(program).substr(0, scratch.pathOf(program).rfind('/')));
        scratch.writeFile(program, "");
    }
    const std::string longPath = pathOfLength(scratch.path(), 258);
    std::filesystem::create_directory(longPath.substr(0, longPath.rfind('/')));
    scratch.writeFile(longPath.substr(scratch.path().size() + 1), "");
    return scratch.path();
}();

// The install folder, or "#" and the refusal's string id.
std::string outcomeOf(const HostLocation& location) {
    return location.refusal ? "#" + std::to_string(*location.refusal) : location.installFolder;
}

struct LookupCase {
    const char* behaviour;
    std::string keys;
    std::string outcome;
};

class HostLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(HostLookup, FindsTheInstallFolderOrRefuses) {
    const std::string text = "Windows Registry Editor Version 5.00\n\n" + GetParam().keys;
    EXPECT_EQ(outcomeOf(locateHost(text::RegistryFile::fromText(text))), GetParam().outcome);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, HostLookup,
    testing::Values(
        LookupCase{"key 1 is read", key1 + path(root + "/syndal/Syndal"), root + "/syndal\\App"},
        LookupCase{"only key 2", key2 + path(root + "/strivana/S"), root + "/strivana\\App"},
        LookupCase{"key 1 before key 2", key2 + path(root + "/2/s") + key1 + path(root + "/1/s"),
                   root + "/1\\App"},
        LookupCase{"key 1 without Path is no reason to read key 2",
                   key1 + "\"Other\"=\"/opt/x/y\"\n" + key2 + path(root + "/strivana/S"), "#105"},
        LookupCase{"neither key", "[HKEY_LOCAL_MACHINE\\Software\\Other]\n", "#110"},
        LookupCase{"host folder missing", key1 + path(root + "/gone/Syndal"), "#110"},
        LookupCase{"host program missing", key1 + path(root + "/host/gone.exe"), "#110"},
        LookupCase{"trailing separator cut alone", key1 + path(root + "/host/"),
                   root + "/host\\App"},
        LookupCase{"backslashes separate too", key1 + path(root + "\\\\host\\\\h.exe"),
                   root + "\\host\\App"},
        LookupCase{"expandable string", key1 + "\"Path\"=hex(2):2f,00,61,00,2f,00,00,00\n", "#105"},
        LookupCase{"259 bytes fit", key1 + path(pathOfLength(root, 258)),
                   pathOfLength(root, 258).substr(0, 254) + "\\App"},
        LookupCase{"260 bytes do not fit", key1 + path(pathOfLength(root, 259)), "#105"},
        LookupCase{"no separator", key1 + path("Syndal.exe"), "#105"},
        LookupCase{"relative path", key1 + path("apps/Syndal.exe"), "#105"},
        LookupCase{"drive letter without a Wine prefix", key1 + path("C:\\\\A\\\\S.exe"), "#105"}),
    BehaviourName{});

TEST(HostLookupInWinePrefix, DriveLetterIsMappedThroughDosDevicesOrRefused) {
    testsupport::ScratchFolder prefix;
    std::filesystem::create_directories(prefix.pathOf("dosdevices/c:/Program Files/Syndal"));
    prefix.writeFile("dosdevices/c:/Program Files/Syndal/S.exe", "");
    const auto locate = [&prefix](const std::string& value) {
        return outcomeOf(locateHost(text::RegistryFile::fromText(
            "WINE REGISTRY Version 2\n\n[Software\\\\Corvane\\\\Syndal USB] 1\n" + path(value),
            "HKEY_LOCAL_MACHINE", prefix.path())));
    };
    EXPECT_EQ(locate("C:\\\\Program Files\\\\Syndal\\\\S.exe"),
              prefix.pathOf("dosdevices/c:/Program Files/Syndal\\App"));
    EXPECT_EQ(locate("D:\\\\Syndal\\\\S.exe"), "#105");
}

}  // namespace
