// The built program run as a user runs it: a shell in a scratch folder that holds a host program,
// its App folder with files of an earlier install, a registry file naming the host and a
// package, also served by a loopback server. Each row ends with its exit status, its first line
// and the App folder it leaves: after a refusal, exactly as it was.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>

#include "tests/app/BehaviourName.h"
#include "tests/app/InstallerTesting.h"
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

// Whether `text` is `pattern`, each * in it standing for any text.
bool matches(std::string_view pattern, std::string_view text) {
    const std::size_t star = pattern.find('*');
    if (star == std::string_view::npos || !text.starts_with(pattern.substr(0, star))) {
        return pattern == text;
    }
    for (std::size_t at = star; at <= text.size(); ++at) {
        if (matches(pattern.substr(star + 1), text.substr(at))) {
            return true;
        }
    }
    return false;
}

struct Call {
    const char* behaviour;
    // Shell commands in the scratch folder: $P is the program, @ the scratch folder and % the
    // loopback server's host and port.
    std::string command;
    int status;
    // The first line on standard output after success, else on standard error (the other
    // stream stays empty); * matches any text.
    std::string line;
    std::string app = "";  // the App folder's listing afterwards; empty: as it was
    std::string packageBytes = zipOf(validPackage());  // t.zip, also served as /t.zip
    std::string registryText = regedit + key1 + hostPath("@/host/Syndal");
    std::string setupCommands = "";  // run before the App folder is recorded

    Call package(std::string bytes) const { return with(&Call::packageBytes, std::move(bytes)); }
    Call registry(std::string text) const { return with(&Call::registryText, std::move(text)); }
    Call setup(std::string commands) const {
        return with(&Call::setupCommands, std::move(commands));
    }
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

    void prepare(const Call& row) {
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
        ASSERT_EQ(shell(row.setupCommands), 0) << row.setupCommands;
    }

    std::string out() const { return ScratchFolder::readFile(scratch.pathOf("out")); }
    std::string err() const { return ScratchFolder::readFile(scratch.pathOf("err")); }

    ScratchFolder scratch;
    testsupport::LoopbackHttpServer server;
};

TEST_P(Program, EndsWithItsStatusLineAndAppFolder) {
    const Call& row = GetParam();
    prepare(row);
    const std::string before = listing(scratch.pathOf("host"), Times::ofAll);

    EXPECT_EQ(shell(row.command), row.status);

    const std::string shown = row.status == 0 ? out() : err();
    EXPECT_EQ(row.status == 0 ? err() : out(), "");
    const std::string line = shown.substr(0, shown.find('\n'));
    EXPECT_TRUE(matches(expand(row.line), line)) << line;
    if (row.app.empty()) {
        EXPECT_EQ(listing(scratch.pathOf("host"), Times::ofAll), before);
    } else {
        EXPECT_EQ(listing(scratch.pathOf("host/App")), row.app);
    }
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
const std::string alone = "mkdir -p alone/bin && cp $P alone/bin/";
const std::string moduleMissing = "tockit-installer: cannot load module: @/alone/lib/*/";
const std::string inWinePrefix =
    "mkdir -p wine/dosdevices && ln -s ../.. wine/dosdevices/c: && cp registry.reg wine/system.reg";
const std::string wineKey = "WINE REGISTRY Version 2\n\n[Software\\\\Corvane\\\\Syndal USB] 1\n";

const PlannedEntry code = file("a.bin", "code");
const PlannedEntry parameters = file("p.bin", "par");
PlannedEntry folder(std::string name) {
    return {.name = std::move(name), .method = 0, .externalAttributes = 0x10};
}
PlannedEntry encrypted(std::string name) {
    return {.name = std::move(name), .content = "secret", .method = 0, .flags = 0x0001};
}
PlannedEntry withData(PlannedEntry entry, std::string data) {
    entry.storedData = std::move(data);
    return entry;
}
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
    std::vector<PlannedEntry> huge(available / 0xFFFFFFFF + 1, file("huge", "x"));
    std::string zip = packageWith(huge);
    for (std::size_t at = zip.find("PK\1\2"), index = 0; at != std::string::npos;
         at = zip.find("PK\1\2", at + 1), ++index) {
        if (index >= 3) {
            zip.replace(at + 24, 4, "\xff\xff\xff\xff");
        }
    }
    return zip;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, Program,
    testing::Values(
        // The command line.
        Call{"local package", "$P --quiet t.zip", 0, success, installed},
        Call{"options after the source", "$P t.zip --quiet", 0, success, installed},
        Call{"source after the end of options", "$P --quiet -- -x", 0, success, installed}.setup(
            "cp t.zip ./-x"),
        Call{"dash alone is a source", "$P --quiet -", 1, missing},
        Call{"unknown option", "$P --quiet -x", 2, "tockit-installer: unknown option -x"},
        Call{"quiet without a source", "$P --quiet", 2, "tockit-installer: --quiet needs a source"},
        Call{"two sources", "$P a b", 2, "tockit-installer: only one source may be given"},
        Call{"help with a source", "$P --help x", 2, "tockit-installer: --help stands alone"},
        Call{"help", "$P --help", 0, "Usage: tockit-installer [--quiet] [--] [SOURCE]"},
        Call{"version", "$P --version", 0, "Tockit Installer 1.0.0.11"},
        Call{"wizard without a display", "$P t.zip", 6,
             "tockit-installer: there is no display to open the wizard on; use --quiet to install "
             "without a window"},
        // The source.
        Call{"empty source", "$P --quiet ''", 1,
             "A file name or a Web address is required. Please enter a valid file name or Web "
             "address to continue."},
        Call{"missing file", "$P --quiet absent.zip", 1, missing},
        Call{"folder", "$P --quiet host", 1, missing},
        Call{"FIFO, refused without waiting for a writer", "$P --quiet fifo", 1, missing}.setup(
            "mkfifo fifo"),
        Call{"device", "$P --quiet /dev/null", 1, missing},
        Call{"ftp and http without two slashes name paths", "$P --quiet ftp://h/http:/t.zip", 1,
             missing},
        Call{"file that is no package, on one line", "$P --quiet notes.txt", 1, notValid},
        Call{"address in any letter case", "$P --quiet hTtP://%/t.zip", 0, success, installed},
        Call{"text holding an address", "$P --quiet 'see http://%/t.zip'", 1, downloadFailed},
        Call{"download broken midway", "$P --quiet http://%/cut.zip", 1, downloadFailed},
        Call{"downloaded page that is no package", "$P --quiet http://%/page.zip", 1, notValid},
        Call{"download ended by a signal",
             "$P --quiet http://%/slow.zip & for i in $(seq 200); do ls cache/*/download-* && "
             "break; "
             "sleep 0.05; done >/dev/null 2>&1; kill $!; wait $!",
             128 + SIGTERM, "tockit-installer: stopped by a signal; nothing was installed"},
        // The host.
        Call{"no host key", "$P --quiet t.zip", 3, notFound}.registry(regedit +
                                                                      "[HKEY_LOCAL_MACHINE]\n"),
        Call{"second host key", "$P --quiet t.zip", 0, success, installed}.registry(
            regedit + key2 + hostPath("@/host/Syndal")),
        Call{"first host key before the second", "$P --quiet t.zip", 0, success, installed}
            .registry(regedit + key2 + hostPath("@/other/s") + key1 + hostPath("@/host/Syndal"))
            .setup("mkdir other && touch other/s"),
        Call{"first host key without Path is no reason to read the second", "$P --quiet t.zip", 3,
             registryError}
            .registry(regedit + key1 + key2 + hostPath("@/host/Syndal")),
        Call{"Path that is no plain string", "$P --quiet t.zip", 3, registryError}.registry(
            regedit + key1 + "\"Path\"=hex(2):2f,00,61,00,00,00\n"),
        Call{"Path of 260 bytes", "$P --quiet t.zip", 3, registryError}.registry(
            regedit + key1 + hostPath("/" + std::string(257, 'x') + "/")),
        Call{"Path without a separator", "$P --quiet t.zip", 3, registryError}.registry(
            regedit + key1 + hostPath("Syndal")),
        Call{"relative Path", "$P --quiet t.zip", 3, registryError}.registry(
            regedit + key1 + hostPath("host/Syndal")),
        Call{"drive letter outside a Wine prefix", "$P --quiet t.zip", 3, registryError}.registry(
            regedit + key1 + hostPath("C:\\\\host\\\\Syndal")),
        Call{"host folder missing", "$P --quiet t.zip", 3, notFound}.registry(
            regedit + key1 + hostPath("@/gone/Syndal")),
        Call{"host program missing", "$P --quiet t.zip", 3, notFound}.registry(
            regedit + key1 + hostPath("@/host/gone")),
        Call{"Path ending in a separator names the host folder", "$P --quiet t.zip", 0, success,
             installed}
            .registry(regedit + key1 + hostPath("@/host/")),
        Call{"backslashes separate", "$P --quiet t.zip", 0, success, installed}.registry(
            regedit + key1 + hostPath("@\\\\host\\\\Syndal")),
        Call{"drive letter mapped through the Wine prefix",
             "unset TOCKIT_REGISTRY; WINEPREFIX=@/wine $P --quiet t.zip", 0, success, installed}
            .registry(wineKey + hostPath("C:\\\\host\\\\Syndal"))
            .setup(inWinePrefix),
        Call{"drive letter that the Wine prefix does not map",
             "unset TOCKIT_REGISTRY; WINEPREFIX=@/wine $P --quiet t.zip", 3, registryError}
            .registry(wineKey + hostPath("D:\\\\host\\\\Syndal"))
            .setup(inWinePrefix),
        // The package.
        Call{"first .app after other entries is the descriptor, a later one a file",
             "$P --quiet t.zip", 0, success, installed + "y.app=[Tockit]|CODE=none|\n",
             zipOf({code, parameters, file("x.app", descriptor()),
                    file("y.app", "[Tockit]\nCODE=none\n")})},
        Call{"descriptor read is the last of its name", "$P --quiet t.zip", 1, notValid}.package(
            packageWith({file("x.app", descriptor("gone.bin"))})),
        Call{"upper-case .APP is no descriptor", "$P --quiet t.zip", 1, notValid}.package(
            zipOf({file("X.APP", descriptor()), code, parameters})),
        Call{"CODE and PAR may name one entry", "$P --quiet t.zip", 0, success,
             "a.bin=code\nsub/\nx.apps=[Tockit]|Name=Mode X|CODE=a.bin|PAR=a.bin|\n",
             zipOf({file("x.apps", descriptor("a.bin", "a.bin")), code})},
        Call{"names compare without regard to case", "$P --quiet t.zip", 0, success,
             "A.BIN=c\na.bin(ro)=old\np.BIN=p\nsub/\nx.app=[Tockit]|Name=Mode "
             "X|CODE=a.bin|PAR=P.bin|\n",
             zipOf({file("x.app", descriptor("a.bin", "P.bin")), file("A.BIN", "c"),
                    file("p.BIN", "p")})},
        Call{"entries in a folder need the folder in CODE and PAR", "$P --quiet t.zip", 1, notValid}
            .package(zipOf({file("d/x.app", descriptor()), file("d/a.bin", "c"),
                            file("d/p.bin", "p")})),
        Call{"entries in a folder named with the folder install below it", "$P --quiet t.zip", 0,
             success,
             "a.bin(ro)=old\nd/\nd/a.bin=c\nd/p.bin=p\nd/x.app=[Tockit]|Name=Mode X|CODE=d\\a.bin|"
             "PAR=d\\p.bin|\ne/\nsub/\n",
             zipOf({file("d/x.app", descriptor("d\\a.bin", "d\\p.bin")), file("d/a.bin", "c"),
                    file("d/p.bin", "p"), folder("e/")})},
        Call{"descriptor without Name", "$P --quiet t.zip", 0,
             "The  Tockit was successfully installed!",
             "a.bin=code\nsub/\nx.app=[Tockit]|CODE=a.bin|PAR=a.bin|\n",
             zipOf({file("x.app", "[Tockit]\nCODE=a.bin\nPAR=a.bin\n"), code})},
        Call{"descriptor without CODE", "$P --quiet t.zip", 1, notValid}.package(
            zipOf({file("x.app", "[Tockit]\nPAR=a.bin\n"), code})),
        Call{"stored entries with data descriptors", "$P --quiet t.zip", 0, success, installed,
             zipOf(
                 {{.name = "x.app",
                   .content = descriptor(),
                   .method = 0,
                   .descriptor = DataDescriptor::withSignature},
                  {.name = "a.bin", .content = "code", .descriptor = DataDescriptor::withSignature},
                  parameters})},
        Call{"descriptor of one mebibyte", "$P --quiet t.zip", 0, success,
             installedOver(mebibyteDescriptor),
             zipOf({file("x.app", mebibyteDescriptor), code, parameters})},
        Call{"descriptor over one mebibyte", "$P --quiet t.zip", 1, notValid}.package(
            zipOf({file("x.app", mebibyteDescriptor + ";"), code, parameters})),
        Call{"encrypted descriptor", "$P --quiet t.zip", 1, notValid}.package(
            zipOf({encrypted("x.app"), code, parameters})),
        Call{"descriptor failing its CRC", "$P --quiet t.zip", 1, notValid}.package(
            zipOf({{.name = "x.app",
                    .content = descriptor(),
                    .method = 0,
                    .storedData = descriptor("b.bin")},
                   code,
                   parameters})),
        Call{"later entry of one name wins", "$P --quiet t.zip", 0, success, installed,
             zipOf({file("x.app", descriptor()), file("a.bin", "first"), parameters, code})},
        Call{"stored path climbing out of the App folder", "$P --quiet t.zip", 1, notValid}.package(
            packageWith({file("../up.bin", "x")})),
        Call{"folder entry where a file entry went", "$P --quiet t.zip", 1, notValid}.package(
            packageWith({folder("a.bin/")})),
        Call{"damaged last entry after entries that replace files", "$P --quiet t.zip", 1, notValid}
            .package(packageWith({withData(file("z.bin", "last"), "\xff\xff\xff\xff")})),
        Call{"deflate data ending before the declared size", "$P --quiet t.zip", 1, notValid}
            .package(packageWith({withData(file("z.bin", "0123456789"),
                                           ZipArchiveBuilder::deflateRaw("01"))})),
        Call{"encrypted last entry", "$P --quiet t.zip", 1, notValid}.package(
            packageWith({encrypted("z.bin")})),
        Call{"archive that ends early", "truncate -s -100 t.zip && $P --quiet t.zip", 1, notValid},
        Call{"folder where the App folder has a file", "$P --quiet t.zip", 1, notValid}.package(
            zipOf({file("x.app", descriptor("p.bin")), parameters, file("a.bin/x", "")})),
        Call{"file where the App folder has a folder", "$P --quiet t.zip", 1, notValid}.package(
            packageWith({file("sub", "x")})),
        Call{"link inside the App folder in the way", "$P --quiet t.zip", 1,
             "The Tockit could not be installed: @/host/App/link is a link, and the installer does "
             "not write through links inside the App folder."}
            .package(packageWith({file("link/new.bin", "x")}))
            .setup("mkdir host/outside && ln -s ../outside host/App/link"),
        Call{"first installation makes the App folder", "$P --quiet t.zip", 0, success,
             "a.bin=code\np.bin=par\nx.app=[Tockit]|Name=Mode X|CODE=a.bin|PAR=p.bin|\n"}
            .setup("rm -rf host/App"),
        // Places that cannot be written.
        Call{"App folder that is a file", "$P --quiet t.zip", 5,
             notWritten + "/App could not be written (Not a directory)."}
            .setup("rm -rf host/App && touch host/App"),
        Call{"App folder that cannot be written", "$P --quiet t.zip", 5,
             notWritten + "/App/a.bin could not be written (*)."}
            .setup("chattr +i host/App 2>/dev/null || chmod 555 host/App"),
        Call{"host folder that cannot be written", "$P --quiet t.zip", 5,
             notWritten + "/.tockit-staging-* could not be written (*)."}
            .setup("chattr +i host 2>/dev/null || chmod 555 host"),
        Call{"package bigger than the free space", "$P --quiet t.zip", 5,
             notWritten + " could not be written (No space left on device)."}
            .package(biggerThanTheDisk()),
        Call{"write that fails partway", "ulimit -f 64; trap '' XFSZ; $P --quiet t.zip", 5,
             notWritten + "/.tockit-staging-*/package/a.bin could not be written (File too large)."}
            .package(zipOf(validPackage(std::string(1 << 20, 'c')))),
        // The modules, loaded on demand.
        Call{"program without its modules installs a local package",
             alone + " && alone/bin/tockit-installer --quiet t.zip", 0, success, installed},
        Call{"program without its modules cannot download",
             alone + " && alone/bin/tockit-installer --quiet http://%/t.zip", 4,
             moduleMissing + "downloader.so: cannot open shared object file: No such file or "
                             "directory"},
        Call{"program without its modules cannot open the wizard",
             alone + " && alone/bin/tockit-installer", 4,
             moduleMissing +
                 "wizard.so: cannot open shared object file: No such file or directory"}),
    BehaviourName{});

// The loader's own account (LD_DEBUG): a local package loads neither the wizard nor the
// downloader, an address only the downloader.
TEST_F(Program, QuietInstallLoadsOnlyTheModulesItsSourceNeeds) {
    prepare({});
    for (const std::string source : {"t.zip", "http://%/t.zip"}) {
        SCOPED_TRACE(source);
        EXPECT_EQ(shell("LD_DEBUG=libs $P --quiet " + source), 0);
        const std::string log = err();
        const bool downloaded = source != "t.zip";
        EXPECT_NE(log.find("calling init:"), std::string::npos);
        EXPECT_EQ(log.find("downloader.so") != std::string::npos, downloaded);
        EXPECT_EQ(log.find("libcurl") != std::string::npos, downloaded);
        EXPECT_EQ(log.find("wizard.so"), std::string::npos);
        EXPECT_EQ(log.find("libQt6"), std::string::npos);
    }
}

}  // namespace
