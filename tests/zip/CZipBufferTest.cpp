// The owned byte buffer: reuse on equal sizes, release, and deep copies.
#include <gtest/gtest.h>

#include <cstring>

#include "zip/CZipBuffer.h"

TEST(CZipBufferTest, AllocateReusesTheBlockOfTheSameSizeAndZeroFillsItOnRequest) {
    CZipBuffer buffer(4, false);
    std::uint8_t* block = buffer.data();
    std::memcpy(block, "abcd", 4);
    EXPECT_EQ(buffer.allocate(4, false), block);
    EXPECT_EQ(std::memcmp(block, "abcd", 4), 0);
    EXPECT_EQ(buffer.allocate(4, true), block);
    EXPECT_EQ(std::memcmp(block, "\0\0\0\0", 4), 0);
    buffer.allocate(8, true);
    EXPECT_EQ(buffer.size(), 8u);
    EXPECT_EQ(std::memcmp(buffer.data(), "\0\0\0\0\0\0\0\0", 8), 0);
}

TEST(CZipBufferTest, SizeZeroAndReleaseLeaveTheBufferEmpty) {
    CZipBuffer buffer(16, true);
    EXPECT_EQ(buffer.allocate(0, true), nullptr);
    EXPECT_EQ(buffer.size(), 0u);
    buffer.allocate(3, false);
    buffer.release();
    EXPECT_EQ(buffer.data(), nullptr);
    EXPECT_EQ(buffer.size(), 0u);
}

TEST(CZipBufferTest, CopiesOwnTheirBytes) {
    CZipBuffer original(3, false);
    std::memcpy(original.data(), "xyz", 3);
    CZipBuffer copy(original);
    CZipBuffer assigned(10, true);
    assigned = original;
    original.data()[0] = 'X';
    original.release();
    for (const CZipBuffer* buffer : {&copy, &assigned}) {
        ASSERT_EQ(buffer->size(), 3u);
        EXPECT_EQ(std::memcmp(buffer->data(), "xyz", 3), 0);
    }
    assigned = original;  // an empty source empties the target
    EXPECT_EQ(assigned.data(), nullptr);
    CZipBuffer& sameBuffer = copy;
    copy = sameBuffer;
    EXPECT_EQ(std::memcmp(copy.data(), "xyz", 3), 0);
}
