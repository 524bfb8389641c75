// The built program run as a user runs it, without a window: its arguments, environment,
// output streams and exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "tests/app/TestPackages.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"

using namespace testpackages;

namespace {

std::string quoted(const std::string& text) {
    std::string result = "'";
    for (char character : text) {
        result += character == '\'' ? std::string("'\\''") : std::string(1, character);
    }
    return result + "'";
}

class Program : public testing::Test {
protected:
    struct Outcome {
        int status = -1;
        std::string out;
        std::string err;
    };

    void SetUp() override {
        writeRegistry("[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n\"Path\"=\"" +
                      scratch.pathOf("host/Syndal") + "\"\n");
        writePackage(validPackage(), scratch.pathOf("t.zip"));
    }

    void writeRegistry(const std::string& keys) const {
        scratch.writeFile("registry.reg", "Windows Registry Editor Version 5.00\n\n" + keys);
    }

    Outcome run(const std::vector<std::string>& arguments) const {
        std::string command =
            "env -u WINEPREFIX TOCKIT_REGISTRY=" + quoted(scratch.pathOf("registry.reg")) +
            " XDG_CACHE_HOME=" + quoted(scratch.pathOf("cache")) +
            " HOME=" + quoted(scratch.path()) + " " + quoted(TOCKIT_INSTALLER_PROGRAM);
        for (const std::string& argument : arguments) {
            command += " " + quoted(argument);
        }
        command += " >" + quoted(scratch.pathOf("out")) + " 2>" + quoted(scratch.pathOf("err"));
        const int waited = std::system(command.c_str());
        return {WIFEXITED(waited) ? WEXITSTATUS(waited) : -1,
                testsupport::ScratchFolder::readFile(scratch.pathOf("out")),
                testsupport::ScratchFolder::readFile(scratch.pathOf("err"))};
    }

    testsupport::ScratchFolder scratch;
};

TEST_F(Program, QuietInstallationOfALocalPackage) {
    const Outcome outcome = run({"--quiet", scratch.pathOf("t.zip")});
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "The Mode X Tockit was successfully installed!\n");
    EXPECT_EQ(outcome.err, "");
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("host/App/p.bin")), "par");
}

TEST_F(Program, QuietInstallationOfADownloadedPackageKeepsTheDownloadInTheCache) {
    testsupport::LoopbackHttpServer server;
    server.serveBody("/t.zip", testsupport::ScratchFolder::readFile(scratch.pathOf("t.zip")));
    const Outcome outcome = run({"--quiet", server.url("/t.zip")});
    EXPECT_EQ(outcome.status, 0) << outcome.err;
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("host/App/a.bin")), "code");
    EXPECT_TRUE(std::filesystem::exists(scratch.pathOf("cache/tockit-installer/temp.txt")));
}

struct StatusCase {
    const char* behaviour;
    std::vector<std::string> arguments;  // "@" stands for the scratch folder
    int status;
    std::string out;
    std::string errStart;
};

class ProgramStatus : public Program, public testing::WithParamInterface<StatusCase> {};

TEST_P(ProgramStatus, EndsWithItsStatusAndMessage) {
    std::vector<std::string> arguments;
    for (std::string argument : GetParam().arguments) {
        if (argument.starts_with('@')) {
            argument = scratch.path() + argument.substr(1);
        }
        arguments.push_back(argument);
    }
    scratch.writeFile("notes.txt", "not a zip");
    const Outcome outcome = run(arguments);
    EXPECT_EQ(outcome.status, GetParam().status);
    EXPECT_EQ(outcome.out, GetParam().out);
    EXPECT_TRUE(outcome.err.starts_with(GetParam().errStart)) << outcome.err;
    EXPECT_FALSE(std::filesystem::exists(scratch.pathOf("host/App")));
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, ProgramStatus,
    testing::Values(
        StatusCase{"version", {"--version"}, 0, "Tockit Installer 1.0.0.11\n", ""},
        StatusCase{"missing file",
                   {"--quiet", "@/absent.zip"},
                   1,
                   "",
                   "The file does not exist. Please select another file and try again.\n"},
        StatusCase{"not a package",
                   {"--quiet", "@/notes.txt"},
                   1,
                   "",
                   "The file selected is not a valid Tockit Zip file. Please select a different "
                   "file to continue.  NOTE: "},
        StatusCase{"empty source", {"--quiet", ""}, 1, "", "A file name or a Web address"},
        StatusCase{"unknown option",
                   {"--force", "@/t.zip"},
                   2,
                   "",
                   "tockit-installer: unknown option --force\nUsage: "},
        StatusCase{"quiet without a source", {"--quiet"}, 2, "", "tockit-installer: "},
        StatusCase{"two sources", {"--quiet", "@/t.zip", "@/t.zip"}, 2, "", "tockit-installer: "}),
    [](const testing::TestParamInfo<StatusCase>& info) {
        std::string name = info.param.behaviour;
        for (char& character : name) {
            character = std::isalnum(static_cast<unsigned char>(character)) ? character : '_';
        }
        return name;
    });

TEST_F(Program, HostNotLocatedEndsWithStatusThree) {
    writeRegistry("[HKEY_LOCAL_MACHINE\\Software\\Elsewhere]\n");
    const Outcome notFound = run({"--quiet", scratch.pathOf("t.zip")});
    EXPECT_EQ(notFound.status, 3);
    EXPECT_EQ(notFound.err,
              "We were unable to find the Syndal software. Please make sure the application is "
              "installed and run this software again.\n");

    writeRegistry("[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n\"Path\"=dword:1\n");
    const Outcome unreadable = run({"--quiet", scratch.pathOf("t.zip")});
    EXPECT_EQ(unreadable.status, 3);
    EXPECT_EQ(unreadable.err,
              "There was an error while trying to read the installation directory from the "
              "Registry.\n");
}

}  // namespace
