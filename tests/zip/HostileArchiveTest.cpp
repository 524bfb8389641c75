// Archives made to harm or to mislead: entries that share their data (the small archive that
// inflates to gigabytes), names whose UTF-8 form travels in an extra field, and stored paths
// too long to be split without being cut short.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/zip/ArchiveFixture.h"

namespace {

namespace fs = std::filesystem;

constexpr int refusedAsDamaged = CZipException::badArchive;

std::string littleEndian(std::uint32_t value, int bytes) {
    std::string field;
    for (int index = 0; index < bytes; ++index) {
        field += static_cast<char>((value >> (8 * index)) & 0xFF);
    }
    return field;
}

// An extra-field block carrying the UTF-8 form of a name.
std::string unicodePathField(std::string_view utf8Name, std::uint32_t crc, char version = 1) {
    return littleEndian(0x7075, 2) +
           littleEndian(static_cast<std::uint32_t>(5 + utf8Name.size()), 2) + version +
           littleEndian(crc, 4) + std::string(utf8Name);
}

// ---- Entries that share data ----------------------------------------------------------------

struct OverlapCase {
    const char* behaviour;
    ZipArchiveBuilder archive;
    int cause;  // 0: the archive opens
};

void PrintTo(const OverlapCase& row, std::ostream* out) {
    *out << row.behaviour;
}

// `count` entries whose central headers all name the first entry's local header and data.
ZipArchiveBuilder entriesSharingOneStream(int count) {
    ZipArchiveBuilder builder;
    const std::string content(1 << 20, '\0');
    for (int number = 0; number < count; ++number) {
        PlannedEntry entry{.name = "bomb" + std::to_string(1000 + number) + ".bin",
                           .content = number == 0 ? content : std::string()};
        if (number > 0) {
            entry.storedData = "";
            entry.central = {.crc32 = ZipArchiveBuilder::crcOf(content),
                             .compressedSize = static_cast<std::uint32_t>(
                                 ZipArchiveBuilder::deflateRaw(content).size()),
                             .uncompressedSize = static_cast<std::uint32_t>(content.size()),
                             .localHeaderOffset = 0};
        }
        builder.add(entry);
    }
    return builder;
}

class OverlappingEntries : public testing::TestWithParam<OverlapCase> {};

TEST_P(OverlappingEntries, AreRefusedWhenTheDirectoryIsRead) {
    OpenedArchive archive(GetParam().archive.build(), false);
    EXPECT_EQ(zipErrorOf([&] {
                  archive.reader.openArchive(archive.path.c_str(), CZipStore::openReadOnly, 0);
              }).cause,
              GetParam().cause);
}

const std::string someData(5000, 'd');

INSTANTIATE_TEST_SUITE_P(
    HostileArchiveTest, OverlappingEntries,
    testing::Values(OverlapCase{"many entries sharing one compressed stream",
                                entriesSharingOneStream(50), refusedAsDamaged},
                    OverlapCase{"a local header inside the data of the entry before it",
                                ZipArchiveBuilder()
                                    .addStoredFile("a.bin", someData)
                                    .add({.name = "b.bin",
                                          .content = "b",
                                          .central = {.localHeaderOffset = 100}}),
                                refusedAsDamaged},
                    OverlapCase{"data that runs into the central directory",
                                ZipArchiveBuilder()
                                    .addStoredFile("a.bin", "abc")
                                    .add({.name = "z.bin",
                                          .content = "z",
                                          .method = 0,
                                          .central = {.compressedSize = 2}}),
                                refusedAsDamaged},
                    OverlapCase{"entries back to back, with descriptors and a stub before them",
                                ZipArchiveBuilder()
                                    .prependStub("stub")
                                    .add({.name = "a.bin",
                                          .content = someData,
                                          .descriptor = DataDescriptor::withSignature})
                                    .add({.name = "b.bin",
                                          .content = "b",
                                          .descriptor = DataDescriptor::withoutSignature})
                                    .addFolder("dir/"),
                                0}),
    [](const auto& info) {
        std::string name = info.param.behaviour;
        for (char& character : name) {
            character = std::isalnum(static_cast<unsigned char>(character)) ? character : '_';
        }
        return name;
    });

// ---- Names in a Unicode Path extra field -----------------------------------------------------

// Bytes of a UTF-8 name stored without flag bit 11, as some tools on Linux store it.
const std::string storedUtf8 = "caf\xC3\xA9.txt";
const std::string intended = "caf\xC3\xA9.txt";
// What the same bytes mean in code page 437.
const std::string readAsCodePage = "caf\xE2\x94\x9C\xE2\x8C\x90.txt";

struct UnicodePathCase {
    const char* behaviour;
    std::string storedName;
    std::uint16_t flags;
    std::string extraField;
    std::string expectedName;
};

void PrintTo(const UnicodePathCase& row, std::ostream* out) {
    *out << row.behaviour;
}

class UnicodePathField : public testing::TestWithParam<UnicodePathCase> {};

TEST_P(UnicodePathField, GivesTheNameOnlyWhenWholeCurrentAndMatching) {
    const UnicodePathCase& row = GetParam();
    OpenedArchive archive(ZipArchiveBuilder()
                              .add({.name = row.storedName,
                                    .content = "accented",
                                    .flags = row.flags,
                                    .extraField = row.extraField})
                              .build());
    CZipEntry info;
    ASSERT_TRUE(archive.reader.getEntryInfo(info, 0));
    EXPECT_EQ(info.fileNameString(), row.expectedName);
    ASSERT_TRUE(archive.extract(0));
    EXPECT_EQ(archive.extracted(row.expectedName), "accented");
}

const std::uint32_t storedCrc = ZipArchiveBuilder::crcOf(storedUtf8);
const std::string timestampBlock = littleEndian(0x5455, 2) + littleEndian(5, 2) +
                                   "\x03"
                                   "abcd";

INSTANTIATE_TEST_SUITE_P(
    HostileArchiveTest, UnicodePathField,
    testing::Values(
        UnicodePathCase{"field_matching_the_stored_name", storedUtf8, 0,
                        unicodePathField(intended, storedCrc), intended},
        UnicodePathCase{"field_after_another_block", storedUtf8, 0,
                        timestampBlock + unicodePathField(intended, storedCrc), intended},
        UnicodePathCase{"no_field_reads_the_code_page", storedUtf8, 0, "", readAsCodePage},
        UnicodePathCase{"field_of_a_renamed_entry_has_a_stale_crc", storedUtf8, 0,
                        unicodePathField("old.txt", storedCrc + 1), readAsCodePage},
        UnicodePathCase{"field_of_another_version", storedUtf8, 0,
                        unicodePathField(intended, storedCrc, 2), readAsCodePage},
        UnicodePathCase{"field_cut_short", storedUtf8, 0,
                        unicodePathField(intended, storedCrc).substr(0, 12), readAsCodePage},
        UnicodePathCase{"field_holding_no_utf8", storedUtf8, 0,
                        unicodePathField("caf\xE9.txt", storedCrc), readAsCodePage},
        UnicodePathCase{"flag_bit_11_keeps_the_stored_name", storedUtf8, 0x0800,
                        unicodePathField("other.txt", storedCrc), intended},
        UnicodePathCase{"code_page_name_longer_in_utf8_still_matches_its_local_header",
                        "caf\x82.txt", 0, "", intended}),
    [](const auto& info) { return std::string(info.param.behaviour); });

TEST(HostileArchiveTest, RealZipArchiveOfANonAsciiNameExtractsUnderThatName) {
    if (std::system("command -v zip >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "zip is not installed";
    }
    testsupport::ScratchFolder scratch;
    fs::create_directory(scratch.pathOf("src"));
    scratch.writeFile("src/" + intended, "accented");
    // zip marks non-ASCII names only under a UTF-8 locale other than C.
    const std::string command = "cd '" + scratch.pathOf("src") +
                                "' && LC_ALL=en_US.UTF-8 zip -q ../real.zip * </dev/null "
                                ">/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    CZipReader reader;
    reader.openArchive(scratch.pathOf("real.zip").c_str(), CZipStore::openReadOnly, 0);
    CZipEntry info;
    ASSERT_TRUE(reader.getEntryInfo(info, 0));
    const std::string extra(reinterpret_cast<const char*>(info.extraField.data()),
                            info.extraField.size());
    if (!info.hasUtf8Name() && extra.find("\x75\x70") == std::string::npos) {
        GTEST_SKIP() << "the locale let zip store the name unmarked";
    }
    EXPECT_EQ(info.fileNameString(), intended);
    ASSERT_TRUE(reader.extractEntry(0, scratch.pathOf("out").c_str(), true, 65535));
    EXPECT_EQ(testsupport::ScratchFolder::readFile(scratch.pathOf("out/" + intended)), "accented");
}

// ---- Stored paths too long to split ------------------------------------------------------------

struct LongPathCase {
    const char* behaviour;
    std::string name;
    bool folderEntry;
    bool extracted;
};

void PrintTo(const LongPathCase& row, std::ostream* out) {
    *out << row.behaviour;
}

class LongStoredPath : public testing::TestWithParam<LongPathCase> {};

TEST_P(LongStoredPath, IsExtractedWhereItSaysOrRefusedBeforeAnythingIsCreated) {
    const LongPathCase& row = GetParam();
    ZipArchiveBuilder builder;
    if (row.folderEntry) {
        builder.addFolder(row.name);
    } else {
        builder.addFile(row.name, "long");
    }
    OpenedArchive archive(builder.build());
    if (row.extracted) {
        EXPECT_TRUE(archive.extract(0));
        EXPECT_TRUE(fs::exists(archive.folder + "/" + row.name)) << row.name;
        return;
    }
    EXPECT_EQ(zipErrorOf([&] { archive.extract(0); }).cause, refusedAsDamaged);
    EXPECT_FALSE(fs::exists(archive.folder));
    // The entry can be read all the same: the refusal left no entry open.
    EXPECT_TRUE(archive.reader.openEntryForRead(0) || row.folderEntry);
}

const std::string longFolder = std::string(100, 'f') + "/" + std::string(100, 'g') + "/";

INSTANTIATE_TEST_SUITE_P(
    HostileArchiveTest, LongStoredPath,
    testing::Values(LongPathCase{"name_and_extension_of_255_bytes", std::string(251, 'n') + ".bin",
                                 false, true},
                    LongPathCase{"name_of_256_bytes", std::string(256, 'n') + ".bin", false, false},
                    LongPathCase{"extension_of_256_bytes", "a." + std::string(255, 'e'), false,
                                 false},
                    LongPathCase{"folder_of_the_name_over_255_bytes",
                                 longFolder + std::string(60, 'h') + "/a.bin", false, false},
                    LongPathCase{"folder_entry_over_255_bytes",
                                 longFolder + std::string(60, 'h') + "/", true, false}),
    [](const auto& info) { return std::string(info.param.behaviour); });

}  // namespace
