#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "app/CommandLine.h"

namespace {

struct ParseCase {
    std::vector<std::string_view> arguments;
    CommandLine::Action action;
    std::string source;
};

class Parsing : public testing::TestWithParam<ParseCase> {};

TEST_P(Parsing, TellsWhatTheArgumentsAskFor) {
    const CommandLine commandLine = parseCommandLine(GetParam().arguments);
    EXPECT_EQ(commandLine.action, GetParam().action);
    EXPECT_EQ(commandLine.source, GetParam().source);
    EXPECT_EQ(commandLine.problem.empty(), GetParam().action != CommandLine::wrong);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, Parsing,
    testing::Values(ParseCase{{}, CommandLine::wizard, ""},
                    ParseCase{{"t.zip"}, CommandLine::wizard, "t.zip"},
                    ParseCase{{"--quiet", "t.zip"}, CommandLine::quiet, "t.zip"},
                    ParseCase{{"t.zip", "--quiet"}, CommandLine::quiet, "t.zip"},
                    ParseCase{{"--quiet", "--", "-t.zip"}, CommandLine::quiet, "-t.zip"},
                    ParseCase{{"--", "--help"}, CommandLine::wizard, "--help"},
                    ParseCase{{"-"}, CommandLine::wizard, "-"},
                    ParseCase{{"--quiet", ""}, CommandLine::quiet, ""},
                    ParseCase{{"--help"}, CommandLine::help, ""},
                    ParseCase{{"--version"}, CommandLine::version, ""},
                    ParseCase{{"--quiet"}, CommandLine::wrong, ""},
                    ParseCase{{"--quiet", "--"}, CommandLine::wrong, ""},
                    ParseCase{{"--verbose", "t.zip"}, CommandLine::wrong, ""},
                    ParseCase{{"-q", "t.zip"}, CommandLine::wrong, ""},
                    ParseCase{{"a.zip", "b.zip"}, CommandLine::wrong, ""},
                    ParseCase{{"--quiet", "a.zip", "b.zip"}, CommandLine::wrong, ""},
                    ParseCase{{"--help", "t.zip"}, CommandLine::wrong, ""},
                    ParseCase{{"--version", "--help"}, CommandLine::wrong, ""}));

struct Invocation {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> wizardSources;
};

Invocation run(std::vector<std::string_view> arguments) {
    Invocation result;
    std::ostringstream out;
    std::ostringstream err;
    result.status =
        runCommandLine(parseCommandLine(arguments), out, err, [&result](const std::string& source) {
            result.wizardSources.push_back(source);
            return 7;
        });
    result.out = out.str();
    result.err = err.str();
    return result;
}

TEST(Running, WizardGetsTheSourceAndItsStatusIsTheProgramsStatus) {
    const Invocation started = run({"t.zip"});
    EXPECT_EQ(started.status, 7);
    EXPECT_EQ(started.wizardSources, std::vector<std::string>{"t.zip"});
    EXPECT_EQ(run({}).wizardSources, std::vector<std::string>{""});
}

TEST(Running, VersionPrintsTheProgramsVersion) {
    const Invocation version = run({"--version"});
    EXPECT_EQ(version.status, exitInstalled);
    EXPECT_EQ(version.out, "Tockit Installer 1.0.0.11\n");
    EXPECT_EQ(version.err, "");
}

TEST(Running, HelpNamesUsageOptionsEnvironmentStatusesAndTheManual) {
    const Invocation help = run({"--help"});
    EXPECT_EQ(help.status, exitInstalled);
    EXPECT_TRUE(help.out.starts_with("Usage: tockit-installer "));
    for (const char* part : {"--quiet", "--help", "--version", "TOCKIT_REGISTRY", "WINEPREFIX",
                             "XDG_CACHE_HOME", "TMPDIR", "\n  3  "}) {
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    }
    EXPECT_TRUE(help.out.ends_with("See tockit-installer(1).\n"));
    EXPECT_TRUE(help.wizardSources.empty());
}

TEST(Running, WrongCommandLineSaysWhyAndShowsTheUsageOnStandardError) {
    const Invocation wrong = run({"--frobnicate"});
    EXPECT_EQ(wrong.status, exitWrongCommandLine);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err, "tockit-installer: unknown option --frobnicate\n" + usageText());
    EXPECT_TRUE(wrong.wizardSources.empty());
}

}  // namespace
