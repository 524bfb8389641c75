#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "app/HostLocator.h"
#include "tests/support/ScratchFolder.h"

namespace {

const std::string syndalKey = "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n";
const std::string strivanaKey = "[HKEY_LOCAL_MACHINE\\Software\\Veltrane\\Strivana]\n";

std::string exported(const std::string& body) {
    return "Windows Registry Editor Version 5.00\n\n" + body;
}

std::string pathValue(const std::string& path) {
    return "\"Path\"=\"" + path + "\"\n";
}

struct LookupCase {
    const char* behaviour;
    std::string registryText;
    std::string installFolder;  // expected when located
    std::optional<StringId> refusal;
};

class HostLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(HostLookup, FindsTheInstallFolderOrRefuses) {
    const LookupCase& lookup = GetParam();
    const HostLocation location = locateHost(platform::RegistryFile::fromText(lookup.registryText));
    EXPECT_EQ(location.refusal, lookup.refusal);
    EXPECT_EQ(location.installFolder, lookup.installFolder);
}

// "Path" values of a given length in bytes, terminator not counted.
std::string pathOfLength(std::size_t length) {
    std::string path = "/opt/";
    path.append(length - path.size() - 4, 'x');
    return path + "/h.x";
}

INSTANTIATE_TEST_SUITE_P(
    Registry, HostLookup,
    testing::Values(
        LookupCase{"key 1 is read", exported(syndalKey + pathValue("/opt/syndal/Syndal")),
                   "/opt/syndal\\App", std::nullopt},
        LookupCase{"only key 2 exists", exported(strivanaKey + pathValue("/opt/strivana/Strivana")),
                   "/opt/strivana\\App", std::nullopt},
        LookupCase{
            "key 1 wins over key 2",
            exported(strivanaKey + pathValue("/opt/two/s") + syndalKey + pathValue("/opt/one/s")),
            "/opt/one\\App", std::nullopt},
        LookupCase{"key 1 without Path does not fall back to key 2",
                   exported(syndalKey + "\"Other\"=\"/opt/x/y\"\n" + strivanaKey +
                            pathValue("/opt/strivana/Strivana")),
                   "", IDS_REGISTRY_ERROR},
        LookupCase{"neither key", exported("[HKEY_LOCAL_MACHINE\\Software\\Other]\n"), "",
                   IDS_HOST_NOT_FOUND},
        LookupCase{"no registry at all", "", "", IDS_HOST_NOT_FOUND},
        LookupCase{"a trailing separator cuts only itself",
                   exported(syndalKey + pathValue("/opt/apps/host/")), "/opt/apps/host\\App",
                   std::nullopt},
        LookupCase{"a folder loses its last component",
                   exported(syndalKey + pathValue("/opt/apps/host")), "/opt/apps\\App",
                   std::nullopt},
        LookupCase{"backslashes separate too",
                   exported(syndalKey + pathValue("\\\\opt\\\\apps\\\\host.exe")),
                   "\\opt\\apps\\App", std::nullopt},
        LookupCase{"expandable string refused",
                   exported(syndalKey + "\"Path\"=hex(2):2f,00,6f,00,2f,00,78,00,00,00\n"), "",
                   IDS_REGISTRY_ERROR},
        LookupCase{"dword refused", exported(syndalKey + "\"Path\"=dword:00000001\n"), "",
                   IDS_REGISTRY_ERROR},
        LookupCase{"259 bytes with the terminator fit",
                   exported(syndalKey + pathValue(pathOfLength(258))),
                   pathOfLength(258).substr(0, 254) + "\\App", std::nullopt},
        LookupCase{"260 bytes with the terminator do not fit",
                   exported(syndalKey + pathValue(pathOfLength(259))), "", IDS_REGISTRY_ERROR},
        LookupCase{"no separator at all", exported(syndalKey + pathValue("Syndal.exe")), "",
                   IDS_REGISTRY_ERROR},
        LookupCase{"relative path refused", exported(syndalKey + pathValue("apps/Syndal.exe")), "",
                   IDS_REGISTRY_ERROR},
        LookupCase{"drive letter without a Wine prefix",
                   exported(syndalKey + pathValue("C:\\\\Apps\\\\Syndal.exe")), "",
                   IDS_REGISTRY_ERROR}),
    [](const testing::TestParamInfo<LookupCase>& info) {
        std::string name = info.param.behaviour;
        for (char& character : name) {
            character = std::isalnum(static_cast<unsigned char>(character)) ? character : '_';
        }
        return name;
    });

class WinePrefixLookup : public testing::Test {
protected:
    HostLocation locate(const std::string& path) const {
        const std::string systemReg =
            "WINE REGISTRY Version 2\n\n[Software\\\\Corvane\\\\Syndal USB] 1700000000\n" +
            pathValue(path);
        return locateHost(
            platform::RegistryFile::fromText(systemReg, "HKEY_LOCAL_MACHINE", prefix.path()));
    }

    testsupport::ScratchFolder prefix;
};

TEST_F(WinePrefixLookup, DriveLetterPathIsMappedThroughDosDevices) {
    std::filesystem::create_directories(prefix.pathOf("dosdevices/c:"));
    const HostLocation location = locate("C:\\\\Program Files\\\\Syndal\\\\Syndal.exe");
    EXPECT_EQ(location.refusal, std::nullopt);
    EXPECT_EQ(location.installFolder, prefix.pathOf("dosdevices/c:/Program Files/Syndal\\App"));
}

TEST_F(WinePrefixLookup, UnmappedDriveIsRefusedRatherThanTakenAsRelative) {
    std::filesystem::create_directories(prefix.pathOf("dosdevices/c:"));
    const HostLocation location = locate("D:\\\\Syndal\\\\Syndal.exe");
    EXPECT_EQ(location.refusal, IDS_REGISTRY_ERROR);
    EXPECT_EQ(location.installFolder, "");
}

}  // namespace
