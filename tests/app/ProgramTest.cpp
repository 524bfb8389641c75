// The built program run as a user runs it, without a window: arguments, environment, output
// streams and exit status.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "tests/app/BehaviourName.h"
#include "tests/app/TestPackages.h"
#include "tests/support/EnvironmentVariable.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"

using testsupport::ScratchFolder;

namespace {

using behaviourcases::PrintTo;

const std::string hostKey = "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n";

struct RunCase {
    const char* behaviour;
    std::vector<std::string> arguments;  // "@" stands for the scratch folder
    int status;
    std::string outStart;
    std::string errStart;
    std::string registryKeys = hostKey + "\"Path\"=\"@/host/Syndal\"\n";
    std::string shellPrefix = "";  // run before the program, in the same shell
};

class Program : public testing::TestWithParam<RunCase> {
protected:
    Program() { std::filesystem::create_directories(scratch.pathOf("host/Syndal")); }

    std::string expand(const std::string& text) const {
        const std::size_t at = text.find('@');
        return at == std::string::npos ? text
                                       : text.substr(0, at) + scratch.path() + text.substr(at + 1);
    }

    // Runs the program with the registry file and cache below the scratch folder.
    int run(const std::vector<std::string>& arguments, const std::string& registryKeys,
            const std::string& shellPrefix = "") {
        scratch.writeFile("registry.reg", "REGEDIT4\n\n" + expand(registryKeys));
        std::string command = shellPrefix + "env -u WINEPREFIX TOCKIT_REGISTRY='" +
                              scratch.pathOf("registry.reg") + "' XDG_CACHE_HOME='" +
                              scratch.pathOf("cache") + "' " + TOCKIT_INSTALLER_PROGRAM;
        for (const std::string& argument : arguments) {
            command += " '" + expand(argument) + "'";
        }
        const int waited = std::system(
            (command + " >'" + scratch.pathOf("out") + "' 2>'" + scratch.pathOf("err") + "'")
                .c_str());
        out = ScratchFolder::readFile(scratch.pathOf("out"));
        err = ScratchFolder::readFile(scratch.pathOf("err"));
        return WIFEXITED(waited) ? WEXITSTATUS(waited) : -1;
    }

    ScratchFolder scratch;
    std::string out;
    std::string err;
};

TEST_P(Program, EndsWithItsStatusAndMessages) {
    testpackages::writePackage(testpackages::validPackage(), scratch.pathOf("t.zip"));
    testpackages::writePackage(testpackages::validPackage(std::string(1 << 20, 'c')),
                               scratch.pathOf("big.zip"));
    scratch.writeFile("notes.txt", "not a zip");
    EXPECT_EQ(run(GetParam().arguments, GetParam().registryKeys, GetParam().shellPrefix),
              GetParam().status);
    EXPECT_TRUE(out.starts_with(GetParam().outStart)) << out;
    EXPECT_TRUE(err.starts_with(GetParam().errStart)) << err;
    EXPECT_EQ(out.empty(), GetParam().outStart.empty()) << out;
    EXPECT_EQ(err.empty(), GetParam().errStart.empty()) << err;
    EXPECT_EQ(std::filesystem::exists(scratch.pathOf("host/App/a.bin")),
              GetParam().status == 0 && out.starts_with("The "));
}

const std::string installed = "The Mode X Tockit was successfully installed!\n";
const std::string notValid =
    "The file selected is not a valid Tockit Zip file. Please select a "
    "different file to continue.  NOTE: Files must not have a directory "
    "structure within the zip file. Files must also have at a minimum one "
    "APP and two BIN files (application and parameter) to be considered "
    "valid.\n";

INSTANTIATE_TEST_SUITE_P(
    CommandLines, Program,
    testing::Values(
        RunCase{"installed", {"--quiet", "@/t.zip"}, 0, installed, ""},
        RunCase{"version", {"--version"}, 0, "Tockit Installer 1.0.0.11\n", ""},
        RunCase{"missing file", {"--quiet", "@/absent.zip"}, 1, "", "The file does not exist."},
        RunCase{"not a package on one line", {"--quiet", "@/notes.txt"}, 1, "", notValid},
        RunCase{"unknown option", {"--force", "@/t.zip"}, 2, "", "tockit-installer: unknown "},
        RunCase{"quiet without a source", {"--quiet"}, 2, "", "tockit-installer: "},
        RunCase{"source after the end of options", {"--quiet", "--", "@/t.zip"}, 0, installed, ""},
        RunCase{"host not found",
                {"--quiet", "@/t.zip"},
                3,
                "",
                "We were unable to find the Syndal software.",
                "[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n"},
        RunCase{"host folder missing",
                {"--quiet", "@/t.zip"},
                3,
                "",
                "We were unable to find the Syndal software.",
                hostKey + "\"Path\"=\"@/gone/Syndal\"\n"},
        RunCase{"write beyond the file size limit",
                {"--quiet", "@/big.zip"},
                5,
                "",
                "The Tockit could not be installed: ",
                hostKey + "\"Path\"=\"@/host/Syndal\"\n",
                "trap '' XFSZ; ulimit -f 64; "},
        RunCase{"wizard without a display",
                {"@/t.zip"},
                6,
                "",
                "tockit-installer: there is no display to open the wizard on; use --quiet to "
                "install without a window\n",
                hostKey + "\"Path\"=\"@/host/Syndal\"\n",
                "unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM; "},
        RunCase{"host path unreadable",
                {"--quiet", "@/t.zip"},
                3,
                "",
                "There was an error while trying to read the installation directory",
                hostKey + "\"Path\"=dword:1\n"}),
    BehaviourName{});

TEST_F(Program, HelpNamesTheEnvironmentTheStatusesAndTheManual) {
    ASSERT_EQ(run({"--help"}, ""), 0);
    for (const char* part : {"--quiet", "--version", "TOCKIT_REGISTRY", "WINEPREFIX",
                             "XDG_CACHE_HOME", "\n  5  ", "\n  6  "}) {
        EXPECT_NE(out.find(part), std::string::npos) << part;
    }
    EXPECT_TRUE(out.ends_with("\nSee tockit-installer(1).\n"));
}

TEST_F(Program, DownloadedPackageIsInstalledAndLeavesNothingInTheCache) {
    testpackages::writePackage(testpackages::validPackage(), scratch.pathOf("t.zip"));
    testsupport::LoopbackHttpServer server;
    server.serveBody("/t.zip", ScratchFolder::readFile(scratch.pathOf("t.zip")));
    EXPECT_EQ(run({"--quiet", server.url("/t.zip")}, hostKey + "\"Path\"=\"@/host/Syndal\"\n"), 0)
        << err;
    EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("host/App/a.bin")), "code");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.pathOf("cache/tockit-installer")));
}

TEST_F(Program, TerminatedDownloadEndsByTheSignalAndLeavesNothingInTheCache) {
    const std::string registry = scratch.writeFile(
        "registry.reg", "REGEDIT4\n\n" + expand(hostKey + "\"Path\"=\"@/host/Syndal\"\n"));
    const testsupport::EnvironmentVariable registryFile("TOCKIT_REGISTRY", registry.c_str());
    const testsupport::EnvironmentVariable cacheHome("XDG_CACHE_HOME",
                                                     scratch.pathOf("cache").c_str());
    const testsupport::EnvironmentVariable winePrefix("WINEPREFIX", nullptr);
    testsupport::LoopbackHttpServer server;
    server.serveTrickle("/t.zip", std::string(100'000, 'P'), std::chrono::seconds(50), 50);
    const std::string address = server.url("/t.zip");
    char* const argv[] = {const_cast<char*>(TOCKIT_INSTALLER_PROGRAM), const_cast<char*>("--quiet"),
                          const_cast<char*>(address.c_str()), nullptr};
    pid_t child = 0;
    ASSERT_EQ(::posix_spawn(&child, TOCKIT_INSTALLER_PROGRAM, nullptr, nullptr, argv, environ), 0);
    for (int poll = 0; poll < 1000 && server.requestedPaths().empty(); ++poll) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(server.requestedPaths().size(), 1u) << "the download had not started";
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_TRUE(std::filesystem::is_empty(scratch.pathOf("cache/tockit-installer")));
}

// Ten runs download ten packages from one server into one host at once. Each must install its
// own package or be refused: none may report another's name, and the host ends up with every file
// of exactly one package, with no download or staging folder left behind.
TEST_F(Program, TenConcurrentDownloadsEachInstallTheirOwnPackage) {
    constexpr int runs = 10;
    testsupport::LoopbackHttpServer server;
    std::string script;
    for (int run = 0; run < runs; ++run) {
        const std::string name = "P" + std::to_string(run);
        std::vector<PlannedEntry> entries = {
            testpackages::file("x.app", "[Tockit]\nName=" + name + "\nCODE=a.bin\nPAR=p.bin\n"),
            testpackages::file("a.bin", name), testpackages::file("p.bin", name)};
        for (int index = 0; index < 40; ++index) {
            entries.push_back(testpackages::file("data/" + std::to_string(index) + ".bin", name));
        }
        testpackages::writePackage(entries, scratch.pathOf(name + ".zip"));
        server.serveBody("/" + name + ".zip",
                         ScratchFolder::readFile(scratch.pathOf(name + ".zip")));
        const std::string output = scratch.pathOf(name);
        script += "(" + std::string(TOCKIT_INSTALLER_PROGRAM) + " --quiet " +
                  server.url("/" + name + ".zip") + " >" + output + ".out 2>" + output +
                  ".err; echo $? >" + output + ".status) & ";
    }
    scratch.writeFile("registry.reg",
                      "REGEDIT4\n\n" + expand(hostKey + "\"Path\"=\"@/host/Syndal\"\n"));
    const std::string command = "env -u WINEPREFIX TOCKIT_REGISTRY='" +
                                scratch.pathOf("registry.reg") + "' XDG_CACHE_HOME='" +
                                scratch.pathOf("cache") + "' sh -c '" + script + "wait'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    for (int run = 0; run < runs; ++run) {
        const std::string name = "P" + std::to_string(run);
        const std::string status = ScratchFolder::readFile(scratch.pathOf(name + ".status"));
        const std::string output = ScratchFolder::readFile(scratch.pathOf(name + ".out"));
        EXPECT_TRUE(status == "0\n"
                        ? output == "The " + name + " Tockit was successfully installed!\n"
                        : status == "1\n" && output.empty())
            << name << ": status " << status << output
            << ScratchFolder::readFile(scratch.pathOf(name + ".err"));
    }
    const std::string winner = ScratchFolder::readFile(scratch.pathOf("host/App/a.bin"));
    EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("host/App/p.bin")), winner);
    for (int index = 0; index < 40; ++index) {
        EXPECT_EQ(ScratchFolder::readFile(
                      scratch.pathOf("host/App/data/" + std::to_string(index) + ".bin")),
                  winner);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch.pathOf("host")),
                            std::filesystem::directory_iterator()),
              2)
        << "only Syndal and App";
    for (const auto& entry :
         std::filesystem::recursive_directory_iterator(scratch.pathOf("cache"))) {
        EXPECT_FALSE(entry.is_regular_file()) << entry.path();
    }
}

}  // namespace
