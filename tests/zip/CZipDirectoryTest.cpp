// Where the central directory finds the end record and the archive's data: the backward search,
// the byte shift of prepended data, and the table of headers.
#include <gtest/gtest.h>

#include "tests/support/ScratchFolder.h"
#include "tests/support/ZipArchiveBuilder.h"
#include "zip/CZipDirectory.h"
#include "zip/CZipStore.h"

namespace {

class DirectoryOnDisk {
public:
    explicit DirectoryOnDisk(const ZipArchiveBuilder& builder) : size(builder.build().size()) {
        store.open(scratch.writeFile("archive.zip", builder.build()).c_str(),
                   CZipStore::openReadOnly, 0);
        directory.store = &store;
        directory.readDirectory();
    }
    testsupport::ScratchFolder scratch;
    std::size_t size;
    CZipStore store;
    CZipDirectory directory;
};

}  // namespace

TEST(CZipDirectoryTest, EndRecordIsFoundWhereverItsSignatureMeetsTheSearchChunks) {
    // The last chunk covers the final 32768 bytes; from these distances to the end of the file
    // the signature lies across the boundary, or just inside the search window.
    for (std::size_t distance : {22u, 32769u, 32770u, 32771u, 32772u, 65557u}) {
        SCOPED_TRACE(distance);
        const std::string comment(distance - 22, 'c');
        DirectoryOnDisk archive(ZipArchiveBuilder().addFile("a.bin", "a").setComment(comment));
        EXPECT_EQ(archive.directory.endRecordPosition, archive.size - distance);
        EXPECT_EQ(archive.directory.archiveComment.size(), comment.size());
        EXPECT_EQ(archive.directory.entryCountInTable(), 1);
    }
}

TEST(CZipDirectoryTest, SignatureInTheCommentIsTakenAsTheRecord) {
    // The comment holds a complete record of an empty archive, which is nearer the end.
    DirectoryOnDisk archive(
        ZipArchiveBuilder().addFile("a.bin", "a").setComment(ZipArchiveBuilder().build()));
    EXPECT_EQ(archive.directory.endRecordPosition, archive.size - 22);
    EXPECT_EQ(archive.directory.entryCountInTable(), 0);
}

TEST(CZipDirectoryTest, PrependedBytesShiftEveryOffset) {
    DirectoryOnDisk archive(ZipArchiveBuilder()
                                .addStoredFile("a.bin", "first")
                                .addStoredFile("b.bin", "second")
                                .prependStub(std::string(1000, 'S')));
    CZipDirectory& directory = archive.directory;
    EXPECT_EQ(directory.byteShift, 1000u);
    ASSERT_EQ(directory.entryCountInTable(), 2);
    directory.openEntry(1);
    EXPECT_EQ(directory.openedEntry, directory.entryAt(1));
    char data[6] = {};
    archive.store.read(data, 6, false);
    EXPECT_EQ(std::string(data, 6), "second");
    directory.closeEntry();
    EXPECT_EQ(directory.openedEntry, nullptr);
    directory.closeEntry();  // nothing opened: nothing happens
}

TEST(CZipDirectoryTest, HeadersAreListedInCentralDirectoryOrderWithBackslashes) {
    DirectoryOnDisk archive(
        ZipArchiveBuilder().addFile("z.bin", "z").addFile("dir/sub/f.bin", "f").addFolder("dir/"));
    ASSERT_EQ(archive.directory.entryCountInTable(), 3);
    EXPECT_EQ(archive.directory.entryAt(0)->fileNameString(), "z.bin");
    EXPECT_EQ(archive.directory.entryAt(1)->fileNameString(), "dir\\sub\\f.bin");
    EXPECT_EQ(archive.directory.entryAt(2)->fileNameString(), "dir\\");
}
