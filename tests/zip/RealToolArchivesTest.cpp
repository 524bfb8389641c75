// Archives made at test time by other Zip tools, extracted and compared byte for byte with the
// files they were made from. A tool that is not installed skips its test. The last test checks
// the test archive builder itself against a tool's own archive test.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "tests/zip/ArchiveFixture.h"

namespace {

namespace fs = std::filesystem;

bool isInstalled(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command in `folder`, with no input, so that a tool can never wait for a prompt.
int runIn(const std::string& folder, const std::string& command) {
    return std::system(
        ("cd '" + folder + "' && " + command + " </dev/null >/dev/null 2>&1").c_str());
}

// The files and folders that a tool archives, under `<scratch>/src`.
class SourceTree {
public:
    explicit SourceTree(bool withUtf8Name) : root(scratch.pathOf("src")) {
        fs::create_directories(root + "/nested/deeper");
        fs::create_directories(root + "/nested/empty");
        files = {{"text.txt", std::string(40000, 'w') + "end of text"},
                 {"big.bin", randomBytes(200000)},
                 {"empty.bin", ""},
                 {"nested/deeper/data.bin", randomBytes(5000)}};
        if (withUtf8Name) {
            files["caf\xC3\xA9.txt"] = "accented";
        }
        for (const auto& [name, content] : files) {
            scratch.writeFile("src/" + name, content);
        }
    }

    // Opens the archive with a reader, extracts every entry and compares with the sources.
    void expectExtractedIntact(const std::string& archive) const {
        const std::string out = scratch.pathOf("out");
        CZipReader reader;
        reader.openArchive(archive.c_str(), CZipStore::openReadOnly, 0);
        for (int index = 0; index < reader.entryCount(); ++index) {
            CZipEntry info;
            reader.getEntryInfo(info, static_cast<CZipReader::WORD>(index));
            EXPECT_TRUE(
                reader.extractEntry(static_cast<CZipReader::WORD>(index), out.c_str(), true, 65535))
                << info.fileNameString();
        }
        for (const auto& [name, content] : files) {
            const std::string path = out + "/" + name;
            ASSERT_TRUE(fs::is_regular_file(path)) << name;
            EXPECT_EQ(testsupport::ScratchFolder::readFile(path), content) << name;
        }
        EXPECT_TRUE(fs::is_directory(out + "/nested/empty"));
    }

    testsupport::ScratchFolder scratch;
    std::string root;
    std::map<std::string, std::string> files;
};

struct Tool {
    const char* name;
    const char* program;
    const char* command;  // run in the source folder; writes ../tool.zip
    bool keepsUtf8Names;  // marks non-ASCII names with flag bit 11
};

const Tool tools[] = {
    {"InfoZip", "zip", "zip -q -r ../tool.zip .", false},
    {"Bsdtar", "bsdtar", "bsdtar --format zip -cf ../tool.zip *", true},
    {"SevenZip", "7z", "7z a -tzip ../tool.zip *", true},
    {"PythonZipfile", "python3", "python3 -m zipfile -c ../tool.zip *", true},
};

void PrintTo(const Tool& tool, std::ostream* out) {
    *out << tool.name;
}

class RealToolArchiveTest : public testing::TestWithParam<Tool> {};

}  // namespace

TEST_P(RealToolArchiveTest, EveryEntryIsExtractedIntact) {
    const Tool& tool = GetParam();
    if (!isInstalled(tool.program)) {
        GTEST_SKIP() << tool.program << " is not installed";
    }
    SourceTree tree(tool.keepsUtf8Names);
    ASSERT_EQ(runIn(tree.root, tool.command), 0);
    tree.expectExtractedIntact(tree.scratch.pathOf("tool.zip"));
}

INSTANTIATE_TEST_SUITE_P(RealToolArchivesTest, RealToolArchiveTest, testing::ValuesIn(tools),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RealToolArchivesTest, SplitArchiveRenamedToNumberedVolumesIsExtractedIntact) {
    if (!isInstalled("zip")) {
        GTEST_SKIP() << "zip is not installed";
    }
    SourceTree tree(false);
    ASSERT_EQ(runIn(tree.root, "zip -q -r -s 64k ../split.zip ."), 0);
    // The tool names its volumes .z01, .z02, ...; the reader expects .000, .001, ...
    int volumes = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(tree.scratch.path())) {
        const std::string extension = entry.path().extension().string();
        if (extension.size() == 4 && extension.starts_with(".z") && extension != ".zip") {
            const int number = std::stoi(extension.substr(2)) - 1;
            std::string renamed = std::to_string(number);
            renamed.insert(0, 3 - renamed.size(), '0');
            fs::rename(entry.path(), tree.scratch.pathOf("split." + renamed));
            ++volumes;
        }
    }
    ASSERT_GE(volumes, 2);
    tree.expectExtractedIntact(tree.scratch.pathOf("split.zip"));
}

TEST(RealToolArchivesTest, BuilderArchivesPassTheToolsOwnTest) {
    if (!isInstalled("unzip")) {
        GTEST_SKIP() << "unzip is not installed";
    }
    testsupport::ScratchFolder scratch;
    ZipArchiveBuilder()
        .addFile("deflated.bin", randomBytes(30000))
        .addStoredFile("dir/stored.txt", "stored")
        .addFolder("dir/")
        .add({.name = "signed.bin", .content = "s", .descriptor = DataDescriptor::withSignature})
        .add({.name = "unsigned.bin",
              .content = "u",
              .descriptor = DataDescriptor::withoutSignature})
        .setComment("comment")
        .writeTo(scratch.pathOf("built.zip"));
    EXPECT_EQ(runIn(scratch.path(), "unzip -tq built.zip"), 0);
}
