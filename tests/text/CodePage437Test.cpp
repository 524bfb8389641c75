// Code page 437 to UTF-8: the upper half becomes the code page's glyphs, ASCII stays as it is.
#include <gtest/gtest.h>

#include "text/CodePage437.h"

TEST(CodePage437, UpperHalfBecomesItsGlyphsAndAsciiStays) {
    EXPECT_EQ(text::codePage437ToUtf8("\x7F na\x84ve_\x9A \x80\x9E\xB0\xE1\xEA\xFE\xFF"),
              "\x7F naäve_Ü Ç₧░ßΩ■\u00A0");
}
