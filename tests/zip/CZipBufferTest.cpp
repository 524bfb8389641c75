// The owned byte buffer: reuse on equal sizes, zero fill, release, and deep copies.
#include <gtest/gtest.h>

#include <cstring>

#include "zip/CZipBuffer.h"

namespace {

bool holds(const CZipBuffer& buffer, const char* bytes, std::uint32_t size) {
    return buffer.size() == size && std::memcmp(buffer.data(), bytes, size) == 0;
}

}  // namespace

TEST(CZipBufferTest, AllocateReusesAnEqualSizeZeroFillsOnRequestAndEmptiesAtZero) {
    CZipBuffer buffer(4, false);
    std::uint8_t* block = buffer.data();
    std::memcpy(block, "abcd", 4);
    EXPECT_EQ(buffer.allocate(4, false), block);
    EXPECT_TRUE(holds(buffer, "abcd", 4));
    EXPECT_EQ(buffer.allocate(4, true), block);
    EXPECT_TRUE(holds(buffer, "\0\0\0\0", 4));
    buffer.allocate(8, true);
    EXPECT_TRUE(holds(buffer, "\0\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(buffer.allocate(0, true), nullptr);
    EXPECT_EQ(buffer.size(), 0u);
}

TEST(CZipBufferTest, CopiesOwnTheirBytes) {
    CZipBuffer original(3, false);
    std::memcpy(original.data(), "xyz", 3);
    CZipBuffer copy(original);
    CZipBuffer assigned(10, true);
    assigned = original;
    copy = *&copy;  // self-assignment keeps the bytes
    original.data()[0] = 'X';
    original.release();
    EXPECT_EQ(original.data(), nullptr);
    EXPECT_TRUE(holds(copy, "xyz", 3));
    EXPECT_TRUE(holds(assigned, "xyz", 3));
    assigned = original;  // an empty source empties the target
    EXPECT_EQ(assigned.data(), nullptr);
}
