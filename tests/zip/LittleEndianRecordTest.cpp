// Fields of an in-memory record: little-endian at any offset, no alignment needed.
#include <gtest/gtest.h>

#include "zip/LittleEndianRecord.h"

TEST(LittleEndianRecordTest, FieldsAreLittleEndianAtUnalignedOffsets) {
    LittleEndianRecord<7> record{{0x50, 0x4B, 0x05, 0x06, 0xFF, 0x01, 0x80}};
    EXPECT_EQ(record.doubleWord<0>(), 0x06054B50u);
    EXPECT_EQ(record.word<1>(), 0x054Bu);
    EXPECT_EQ(record.doubleWord<3>(), 0x8001FF06u);
    EXPECT_EQ(record.word<5>(), 0x8001u);
    EXPECT_EQ(record.size(), 7u);
}
