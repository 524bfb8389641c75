// The program loads what it uses and no more: the libraries the dynamic loader initialises for
// each kind of run (LD_DEBUG=libs), what a program without its modules still does and how it
// says what is missing, and the one symbol each module exports.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/app/BehaviourName.h"
#include "tests/app/TestPackages.h"
#include "tests/support/LoopbackHttpServer.h"
#include "tests/support/ScratchFolder.h"

namespace {

using behaviourcases::PrintTo;

using testsupport::ScratchFolder;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// A host to install into, a package, and the program run against them.
class ProgramRuns : public testing::Test {
protected:
    ProgramRuns() {
        std::filesystem::create_directories(scratch.pathOf("host/Syndal"));
        scratch.writeFile("registry.reg",
                          "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n"
                          "\"Path\"=\"" +
                              scratch.pathOf("host/Syndal") + "\"\n");
        testpackages::writePackage(testpackages::validPackage(), scratch.pathOf("t.zip"));
        server.serveBody("/t.zip", ScratchFolder::readFile(scratch.pathOf("t.zip")));
    }

    Outcome run(const std::string& program, const std::string& arguments,
                const std::string& environment = "") {
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY TOCKIT_REGISTRY='" +
                                    scratch.pathOf("registry.reg") + "' XDG_CACHE_HOME='" +
                                    scratch.pathOf("cache") + "' " + environment + " '" + program +
                                    "' " + arguments + " >'" + scratch.pathOf("out") + "' 2>'" +
                                    scratch.pathOf("err") + "'";
        const int waited = std::system(command.c_str());
        return {WIFEXITED(waited) ? WEXITSTATUS(waited) : -1,
                ScratchFolder::readFile(scratch.pathOf("out")),
                ScratchFolder::readFile(scratch.pathOf("err"))};
    }

    // The file names of the libraries the loader initialised, in the order it did.
    static std::vector<std::string> initialisedLibraries(const std::string& loaderLog) {
        static const std::regex initialising(R"(calling init: (\S+))");
        std::vector<std::string> names;
        for (auto match = std::sregex_iterator(loaderLog.begin(), loaderLog.end(), initialising);
             match != std::sregex_iterator(); ++match) {
            names.push_back(std::filesystem::path((*match)[1].str()).filename().string());
        }
        return names;
    }

    ScratchFolder scratch;
    testsupport::LoopbackHttpServer server;
};

struct LoadCase {
    const char* behaviour;
    std::string source;  // "@" stands for the loopback server's address
    std::set<std::string> loaded;
    std::set<std::string> notLoaded;
};

class LoadedLibraries : public ProgramRuns, public testing::WithParamInterface<LoadCase> {};

bool loadedAny(const std::vector<std::string>& libraries, const std::string& prefix) {
    return std::ranges::any_of(libraries,
                               [&](const std::string& name) { return name.starts_with(prefix); });
}

TEST_P(LoadedLibraries, QuietInstallLoadsOnlyWhatItsSourceNeeds) {
    std::string source = GetParam().source;
    if (source == "@") {
        source = server.url("/t.zip");
    } else {
        source = scratch.pathOf(source);
    }
    const Outcome result =
        run(TOCKIT_INSTALLER_PROGRAM, "--quiet '" + source + "'", "LD_DEBUG=libs");

    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("host/App/a.bin")), "code");
    const std::vector<std::string> libraries = initialisedLibraries(result.err);
    ASSERT_TRUE(loadedAny(libraries, "libc.so")) << "LD_DEBUG printed nothing:\n" << result.err;
    for (const std::string& prefix : GetParam().loaded) {
        EXPECT_TRUE(loadedAny(libraries, prefix)) << prefix;
    }
    for (const std::string& prefix : GetParam().notLoaded) {
        EXPECT_FALSE(loadedAny(libraries, prefix)) << prefix;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sources, LoadedLibraries,
    testing::Values(
        LoadCase{"local package", "t.zip", {}, {"libQt6", "libcurl", "wizard.so", "downloader.so"}},
        LoadCase{
            "package at an address", "@", {"downloader.so", "libcurl"}, {"libQt6", "wizard.so"}}),
    BehaviourName{});

struct MissingModuleCase {
    const char* behaviour;
    std::string arguments;  // "@" stands for the loopback server's address
    std::string missing;
};

class ProgramWithoutModules : public ProgramRuns,
                              public testing::WithParamInterface<MissingModuleCase> {
protected:
    // The program alone in a tree of its own, its module folder absent.
    std::string lonelyProgram() {
        std::filesystem::create_directories(scratch.pathOf("alone/bin"));
        const std::string copy = scratch.pathOf("alone/bin/tockit-installer");
        std::filesystem::copy_file(TOCKIT_INSTALLER_PROGRAM, copy);
        return copy;
    }
};

TEST_P(ProgramWithoutModules, NamesTheMissingModuleAndEndsWithItsStatus) {
    std::string arguments = GetParam().arguments;
    if (const auto at = arguments.find('@'); at != std::string::npos) {
        arguments.replace(at, 1, server.url("/t.zip"));
    }
    const Outcome result = run(lonelyProgram(), arguments);

    EXPECT_EQ(result.status, 4);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("tockit-installer: cannot load module: " +
                                       scratch.pathOf("alone/lib/")))
        << result.err;
    EXPECT_NE(result.err.find(GetParam().missing + ": cannot open shared object file"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(std::ranges::count(result.err, '\n'), 1) << result.err;
    EXPECT_FALSE(std::filesystem::exists(scratch.pathOf("host/App/a.bin")));
}

INSTANTIATE_TEST_SUITE_P(
    Runs, ProgramWithoutModules,
    testing::Values(MissingModuleCase{"wizard", "", "wizard.so"},
                    MissingModuleCase{"wizard with a source", "'@'", "wizard.so"},
                    MissingModuleCase{"quiet download", "--quiet '@'", "downloader.so"}),
    BehaviourName{});

TEST_F(ProgramRuns, LocalPackageInstallsWithoutAnyModule) {
    std::filesystem::create_directories(scratch.pathOf("alone/bin"));
    std::filesystem::copy_file(TOCKIT_INSTALLER_PROGRAM, scratch.pathOf("alone/bin/p"));
    const Outcome result =
        run(scratch.pathOf("alone/bin/p"), "--quiet '" + scratch.pathOf("t.zip") + "'");

    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ScratchFolder::readFile(scratch.pathOf("host/App/a.bin")), "code");
}

TEST_F(ProgramRuns, EachModuleExportsOnlyItsEntryPoint) {
    const std::vector<std::pair<std::string, std::string>> modules{
        {TOCKIT_WIZARD_MODULE, "tockit_run_wizard"},
        {TOCKIT_DOWNLOADER_MODULE, "tockit_create_downloader"},
    };
    for (const auto& [module, entryPoint] : modules) {
        SCOPED_TRACE(module);
        const Outcome result = run("nm", "-D --defined-only --format=posix '" + module + "'");
        ASSERT_EQ(result.status, 0) << result.err;
        std::vector<std::string> functions;
        std::istringstream lines(result.out);
        for (std::string name, type, rest; lines >> name >> type && std::getline(lines, rest);) {
            if (type == "T" || type == "W") {
                functions.push_back(name);
            }
        }
        EXPECT_EQ(functions, std::vector<std::string>{entryPoint});
    }
}

}  // namespace
