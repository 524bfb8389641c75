// The built program run as a user runs it: a shell in a scratch folder that holds a host program,
// its App folder with files of an earlier install, a registry file naming the host and a
// package, also served by a loopback server. Each row ends with its exit status, its first line
// and the App folder it leaves: after a refusal, exactly as it was.
#include <fnmatch.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "tests/support/BehaviourName.h"
#include "tests/install/InstallerTesting.h"
#include "tests/support/LoopbackHttpServer.h"

using namespace installertesting;
using testsupport::ScratchFolder;

namespace {

using behaviourcases::PrintTo;

const std::string regedit = "REGEDIT4\n\n";
const std::string key1 = "[HKEY_LOCAL_MACHINE\\Software\\Corvane\\Syndal USB]\n";
const std::string key2 = "[HKEY_LOCAL_MACHINE\\Software\\Veltrane\\Strivana]\n";
std::string hostPath(const std::string& value) {
    return "\"Path\"=\"" + value + "\"\n";
}

// The App folder after the valid package with the descriptor `text` replaced its earlier files.
std::string installedOver(std::string text) {
    std::ranges::replace(text, '\n', '|');
    return "a.bin=code\np.bin=par\nsub/\nx.app=" + text + "\n";
}

// In every text @ stands for the scratch folder and % for the loopback server's host and port.
struct Call {
    const char* behaviour;
    int status;
    std::string line;      // the first on stdout after success, else on stderr; * matches any text
    std::string app = "";  // the App folder's listing afterwards; empty: as it was
    std::string command = "$P --quiet t.zip";          // shell commands; $P is the program
    std::string packageBytes = zipOf(validPackage());  // t.zip, also served as /t.zip
    std::string registryText = regedit + key1 + hostPath("@/host/Syndal");
    std::string setupCommands = "";  // run before the host folder is recorded

    Call run(std::string text) const { return with(&Call::command, std::move(text)); }
    Call package(std::string bytes) const { return with(&Call::packageBytes, std::move(bytes)); }
    Call registry(std::string text) const { return with(&Call::registryText, regedit + text); }
    Call setup(std::string text) const { return with(&Call::setupCommands, std::move(text)); }
    Call with(std::string Call::*field, std::string value) const {
        Call row = *this;
        row.*field = std::move(value);
        return row;
    }
};

class Program : public testing::TestWithParam<Call> {
protected:
    ~Program() override { shell("chattr -R -i . 2>/dev/null"); }

    std::string expand(std::string text) const {
        for (std::size_t at = 0; (at = text.find_first_of("@%", at)) != std::string::npos;) {
            const std::string by =
                text[at] == '@' ? scratch.path() : "127.0.0.1:" + std::to_string(server.port());
            text.replace(at, 1, by);
            at += by.size();
        }
        return text;
    }

    // Runs `command` without a display, so that no wizard can open and wait for a user.
    int shell(const std::string& command) const {
        const int waited = std::system(
            ("cd " + scratch.path() +
             " && export TOCKIT_REGISTRY=" + scratch.pathOf("registry.reg") +
             " XDG_CACHE_HOME=" + scratch.pathOf("cache") + " P=" + TOCKIT_INSTALLER_PROGRAM +
             " && unset WINEPREFIX DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM && exec >out 2>err; " +
             expand(command))
                .c_str());
        return WIFEXITED(waited) ? WEXITSTATUS(waited) : -1;
    }

    ScratchFolder scratch;
    testsupport::LoopbackHttpServer server;
};

TEST_P(Program, EndsWithItsStatusLineAndAppFolder) {
    const Call& row = GetParam();
    std::filesystem::create_directories(scratch.pathOf("host/App/sub"));
    scratch.writeFile("host/Syndal", "");
    ::chmod(scratch.writeFile("host/App/a.bin", "old").c_str(), 0444);
    scratch.writeFile("t.zip", row.packageBytes);
    scratch.writeFile("notes.txt", "not a zip");
    scratch.writeFile("registry.reg", expand(row.registryText));
    server.serveBody("/t.zip", row.packageBytes);
    server.serveCutBody("/cut.zip", row.packageBytes);
    server.serveBody("/page.zip", "<html>Not found</html>");
    server.serveTrickle("/slow.zip", row.packageBytes, std::chrono::seconds(20), 20);
    ASSERT_EQ(shell(row.setupCommands), 0);
    const std::string before = listing(scratch.pathOf("host"), Times::ofAll);

    EXPECT_EQ(shell(row.command), row.status);

    const std::string out = ScratchFolder::readFile(scratch.pathOf("out"));
    const std::string err = ScratchFolder::readFile(scratch.pathOf("err"));
    EXPECT_EQ(row.status == 0 ? err : out, "");
    const std::string shown = row.status == 0 ? out : err;
    std::string pattern = expand(row.line);
    std::ranges::replace(pattern, '[', '?');  // no character classes, only *
    EXPECT_EQ(::fnmatch(pattern.c_str(), shown.substr(0, shown.find('\n')).c_str(), FNM_NOESCAPE),
              0)
        << shown;
    EXPECT_EQ(listing(scratch.pathOf(row.app.empty() ? "host" : "host/App"),
                      row.app.empty() ? Times::ofAll : Times::none),
              row.app.empty() ? before : row.app);
    EXPECT_EQ(listing(scratch.pathOf("host")).find(".tockit-staging-"), std::string::npos);
    EXPECT_EQ(listing(scratch.pathOf("cache")).find('='), std::string::npos) << "a download left";
}

const std::string installed = installedOver(descriptor());
const std::string success = "The Mode X Tockit was successfully installed!";
const std::string notValid =
    "The file selected is not a valid Tockit Zip file. Please select a different file to "
    "continue.  NOTE: Files must not have a directory structure within the zip file. Files must "
    "also have at a minimum one APP and two BIN files (application and parameter) to be "
    "considered valid.";
const std::string missing = "The file does not exist. Please select another file and try again.";
const std::string notFound =
    "We were unable to find the Syndal software. Please make sure the application is installed "
    "and run this software again.";
const std::string registryError =
    "There was an error while trying to read the installation directory from the Registry.";
const std::string downloadFailed = "Unable to read the Zip file.";
const std::string notWritten = "The Tockit could not be installed: @/host";
const std::string alone = "mkdir -p a/bin && cp $P a/bin/ && a/bin/tockit-installer";
const std::string moduleMissing = "tockit-installer: cannot load module: @/a/lib/*/";
const std::string noFile = ": cannot open shared object file: No such file or directory";
const std::string inWinePrefix =
    "mkdir -p w/dosdevices && ln -s ../.. w/dosdevices/c: && cp registry.reg w/system.reg && "
    "unset TOCKIT_REGISTRY && WINEPREFIX=@/w $P --quiet t.zip";
const std::string wineKey = "WINE REGISTRY Version 2\n\n[Software\\\\Corvane\\\\Syndal USB] 1\n";

const PlannedEntry code = file("a.bin", "code");
const PlannedEntry parameters = file("p.bin", "par");
PlannedEntry folder(std::string name) {
    return {.name = std::move(name), .method = 0, .externalAttributes = 0x10};
}
constexpr DataDescriptor signed_ = DataDescriptor::withSignature;
std::string packageWith(const std::vector<PlannedEntry>& more) {
    std::vector<PlannedEntry> entries = validPackage();
    entries.insert(entries.end(), more.begin(), more.end());
    return zipOf(entries);
}
const std::string mebibyteDescriptor = [] {
    std::string text = descriptor();
    text.resize(1024 * 1024, ';');  // a comment line
    return text;
}();

// Entries after the valid package's whose central headers declare 4 GiB each, more in all than
// the file system holding the scratch folder has free.
std::string biggerThanTheDisk() {
    const std::uintmax_t available = std::filesystem::space(ScratchFolder().path()).available;
    std::string zip = packageWith(std::vector(available / 0xFFFFFFFF + 1, file("huge", "x")));
    for (std::size_t at = 0; (at = zip.find("PK\1\2", at + 1)) != std::string::npos;) {
        if (zip.compare(at + 46, 4, "huge") == 0) {
            zip.replace(at + 24, 4, "\xff\xff\xff\xff");
        }
    }
    return zip;
}

const PlannedEntry damaged = {.name = "z.bin", .content = "last", .storedData = "\xff\xff"};
std::string large(const PlannedEntry& blocking, int position) {
    std::vector<PlannedEntry> entries = largePackage();
    entries.insert(entries.begin() + position, blocking);
    return zipOf(entries);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Program,
    testing::Values(
        // The command line.
        Call{"local package", 0, success, installed},
        Call{"source after the end of options", 0, success, installed}.run(
            "cp t.zip ./-x && $P --quiet -- -x"),
        Call{"dash alone is a source", 1, missing}.run("$P --quiet -"),
        Call{"unknown option", 2, "tockit-installer: unknown option -x"}.run("$P --quiet -x"),
        Call{"quiet without a source", 2, "tockit-installer: --quiet needs a source"}.run(
            "$P --quiet"),
        Call{"two sources", 2, "tockit-installer: only one source may be given"}.run("$P a b"),
        Call{"help with a source", 2, "tockit-installer: --help stands alone"}.run("$P --help x"),
        Call{"help", 0, "Usage: tockit-installer [--quiet] [--] [SOURCE]"}.run("$P --help"),
        Call{"version", 0, "Tockit Installer 1.0.0.11"}.run("$P --version"),
        Call{"wizard without a display", 6,
             "tockit-installer: there is no display to open the wizard on; use --quiet to install "
             "without a window"}
            .run("$P t.zip"),
        // The source.
        Call{"empty source", 1,
             "A file name or a Web address is required. Please enter a valid file name or Web "
             "address to continue."}
            .run("$P --quiet ''"),
        Call{"missing file", 1, missing}.run("$P --quiet absent.zip"),
        Call{"folder", 1, missing}.run("$P --quiet host"),
        Call{"FIFO, without waiting for a writer", 1, missing}.run("mkfifo f && $P --quiet f"),
        Call{"file that is no package, on one line", 1, notValid}.run("$P --quiet notes.txt"),
        Call{"address in any letter case", 0, success, installed}.run("$P --quiet hTtP://%/t.zip"),
        Call{"download broken midway", 1, downloadFailed}.run("$P --quiet http://%/cut.zip"),
        Call{"downloaded page that is no package", 1, notValid}.run("$P --quiet http://%/page.zip"),
        Call{"download ended by a signal", 128 + SIGTERM,
             "tockit-installer: stopped by a signal; nothing was installed"}
            .run("$P --quiet http://%/slow.zip & for i in $(seq 200); do ls cache/*/download-* "
                 "&& break; sleep 0.05; done >/dev/null 2>&1; kill $!; wait $!"),
        // The host.
        Call{"no host key", 3, notFound}.registry("[HKEY_LOCAL_MACHINE]\n"),
        Call{"second host key", 0, success, installed}.registry(key2 + hostPath("@/host/Syndal")),
        Call{"first host key before the second", 0, success, installed}
            .registry(key2 + hostPath("@/o/s") + key1 + hostPath("@/host/Syndal"))
            .setup("mkdir o && touch o/s"),
        Call{"first host key without Path is no reason to read the second", 3, registryError}
            .registry(key1 + key2 + hostPath("@/host/Syndal")),
        Call{"Path that is no plain string", 3, registryError}.registry(
            key1 + "\"Path\"=hex(2):2f,00,61,00,00,00\n"),
        Call{"Path without a separator", 3, registryError}.registry(key1 + hostPath("Syndal")),
        Call{"relative Path", 3, registryError}.registry(key1 + hostPath("host/Syndal")),
        Call{"host program missing", 3, notFound}.registry(key1 + hostPath("@/host/gone")),
        Call{"Path ending in a separator names the host folder", 0, success, installed}.registry(
            key1 + hostPath("@/host/")),
        Call{"drive letter mapped through the Wine prefix", 0, success, installed}
            .run(inWinePrefix)
            .with(&Call::registryText, wineKey + hostPath("C:\\\\host\\\\Syndal")),
        Call{"drive letter that the Wine prefix does not map", 3, registryError}
            .run(inWinePrefix)
            .with(&Call::registryText, wineKey + hostPath("D:\\\\host\\\\Syndal")),
        // The package.
        Call{"first .app after other entries is the descriptor, a later one a file", 0, success,
             installed + "y.app=[Tockit]|CODE=none|\n"}
            .package(zipOf({code, parameters, file("x.app", descriptor()),
                            file("y.app", "[Tockit]\nCODE=none\n")})),
        Call{"descriptor read is the last of its name", 1, notValid}.package(
            packageWith({file("x.app", descriptor("gone.bin"))})),
        Call{"upper-case .APP is no descriptor", 1, notValid}.package(
            zipOf({file("X.APP", descriptor()), code, parameters})),
        Call{"CODE and PAR may name one entry", 0, success,
             "a.bin=code\nsub/\nx.apps=[Tockit]|Name=Mode X|CODE=a.bin|PAR=a.bin|\n"}
            .package(zipOf({file("x.apps", descriptor("a.bin", "a.bin")), code})),
        Call{"names compare without regard to case", 0, success,
             "A.BIN=c\na.bin=old\np.BIN=p\nsub/\nx.app=[Tockit]|Name=Mode X|CODE=a.bin|"
             "PAR=P.bin|\n"}
            .package(zipOf({file("x.app", descriptor("a.bin", "P.bin")), file("A.BIN", "c"),
                            file("p.BIN", "p")})),
        Call{"entries in a folder need the folder in CODE and PAR", 1, notValid}.package(
            zipOf({file("d/x.app", descriptor()), file("d/a.bin", "c"), file("d/p.bin", "p")})),
        Call{"entries in a folder named with the folder install below it", 0, success,
             "a.bin=old\nd/\nd/a.bin=c\nd/p.bin=p\nd/x.app=[Tockit]|Name=Mode X|CODE=d\\a.bin|"
             "PAR=d\\p.bin|\ne/\nsub/\n"}
            .package(zipOf({file("d/x.app", descriptor("d\\a.bin", "d\\p.bin")),
                            file("d/a.bin", "c"), file("d/p.bin", "p"), folder("e/")})),
        Call{"descriptor without Name", 0, "The  Tockit was successfully installed!",
             "a.bin=code\nsub/\nx.app=[Tockit]|CODE=a.bin|PAR=a.bin|\n"}
            .package(zipOf({file("x.app", "[Tockit]\nCODE=a.bin\nPAR=a.bin\n"), code})),
        Call{"descriptor without CODE", 1, notValid}.package(
            zipOf({file("x.app", "[Tockit]\nPAR=a.bin\n"), code})),
        Call{"stored entries with data descriptors", 0, success, installed}.package(
            zipOf({{.name = "x.app", .content = descriptor(), .method = 0, .descriptor = signed_},
                   {.name = "a.bin", .content = "code", .descriptor = signed_},
                   parameters})),
        Call{"descriptor of one mebibyte", 0, success, installedOver(mebibyteDescriptor)}.package(
            zipOf({file("x.app", mebibyteDescriptor), code, parameters})),
        Call{"descriptor over one mebibyte", 1, notValid}.package(
            zipOf({file("x.app", mebibyteDescriptor + ";"), code, parameters})),
        Call{"encrypted descriptor", 1, notValid}.package(
            zipOf({{.name = "x.app", .content = "s", .method = 0, .flags = 1}, code, parameters})),
        Call{"descriptor failing its CRC", 1, notValid}.package(zipOf(
            {{.name = "x.app", .content = descriptor(), .method = 0, .storedData = descriptor("b")},
             code,
             parameters})),
        Call{"entries join a folder the App folder has", 0, success,
             "a.bin=code\np.bin=par\nsub/\nsub/new.bin=n\nx.app=[Tockit]|Name=Mode X|CODE=a.bin|"
             "PAR=p.bin|\n"}
            .package(packageWith({file("sub/new.bin", "n")})),
        Call{"later entry of one name wins", 0, success, installed}.package(
            zipOf({file("x.app", descriptor()), file("a.bin", "first"), parameters, code})),
        Call{"stored path climbing out of the App folder", 1, notValid}.package(
            packageWith({file("../up.bin", "x")})),
        Call{"folder entry where a file entry went", 1, notValid}.package(
            packageWith({folder("a.bin/")})),
        Call{"damaged last entry after entries that replace files", 1, notValid}.package(
            packageWith({damaged})),
        Call{"damaged entry early among many on several workers", 1, notValid}.package(
            large(damaged, 3)),
        // Blamed on the place rather than the package, which is at fault.
        Call{"file where the package put a folder, among many on several workers", 5,
             notWritten + "/.tockit-staging-*/package/t0 could not be written (Is a directory)."}
            .package(large(file("t0", "x"), 123)),
        Call{"folder where the App folder has a file", 1, notValid}.package(
            zipOf({file("x.app", descriptor("p.bin")), parameters, file("a.bin/x", "")})),
        Call{"file where the App folder has a folder", 1, notValid}.package(
            packageWith({file("sub", "x")})),
        Call{"link inside the App folder in the way", 1,
             "The Tockit could not be installed: @/host/App/link is a link, and the installer does "
             "not write through links inside the App folder."}
            .package(packageWith({file("link/new.bin", "x")}))
            .setup("mkdir host/outside && ln -s ../outside host/App/link"),
        Call{"first installation makes the App folder", 0, success,
             "a.bin=code\np.bin=par\nx.app=[Tockit]|Name=Mode X|CODE=a.bin|PAR=p.bin|\n"}
            .setup("rm -rf host/App"),
        // Places that cannot be written.
        Call{"App folder that is a file", 5,
             notWritten + "/App could not be written (Not a directory)."}
            .setup("rm -rf host/App && touch host/App"),
        Call{"App folder that cannot be written", 5,
             notWritten + "/App/a.bin could not be written (*)."}
            .setup("chattr +i host/App 2>/dev/null || chmod 555 host/App"),
        Call{"host folder that cannot be written", 5,
             notWritten + "/.tockit-staging-* could not be written (*)."}
            .setup("chattr +i host 2>/dev/null || chmod 555 host"),
        Call{"package bigger than the free space", 5,
             notWritten + " could not be written (No space left on device)."}
            .package(biggerThanTheDisk()),
        Call{"write that fails partway", 5,
             notWritten + "/.tockit-staging-*/package/a.bin could not be written (File too large)."}
            .run("ulimit -f 64; trap '' XFSZ; $P --quiet t.zip")
            .package(zipOf(validPackage(std::string(1 << 20, 'c')))),
        // The modules, loaded on demand.
        Call{"program without its modules installs a local package", 0, success, installed}.run(
            alone + " --quiet t.zip"),
        Call{"program without its modules cannot download", 4,
             moduleMissing + "downloader.so" + noFile}
            .run(alone + " --quiet http://%/t.zip"),
        Call{"program without its modules cannot open the wizard", 4,
             moduleMissing + "wizard.so" + noFile}
            .run(alone)),
    BehaviourName{});

}  // namespace
