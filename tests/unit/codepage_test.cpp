#include "platform/codepage.h"

#include <gtest/gtest.h>

#include "platform/cp1254_literal.h"

using namespace platform::literals;

// The Turkish letters against the code page's published table; every byte
// survives a round trip; what the code page cannot hold is refused.
TEST(Codepage, TurkishLettersEveryByteAndWhatCannotBeHeld) {
    std::string out;
    ASSERT_TRUE(platform::utf8_to_cp1254("çÇğĞıİöÖşŞüÜ€", out));
    EXPECT_EQ(out, "\xE7\xC7\xF0\xD0\xFD\xDD\xF6\xD6\xFE\xDE\xFC\xDC\x80");
    EXPECT_EQ(platform::cp1254_to_utf16(out), u"çÇğĞıİöÖşŞüÜ€");
    EXPECT_STREQ("Dosya yazma hatası: %d"_cp1254, "Dosya yazma hatas\xFD: %d");
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        std::string back8, back16;
        ASSERT_TRUE(platform::utf8_to_cp1254(platform::cp1254_to_utf8(byte), back8)) << b;
        ASSERT_TRUE(platform::utf16_to_cp1254(platform::cp1254_to_utf16(byte), back16)) << b;
        EXPECT_EQ(back8 + back16, byte + byte) << b;
    }
    for (const char* text : {"日本", "\xC3", "\xC0\xAF"}) {
        EXPECT_FALSE(platform::utf8_to_cp1254(text, out)) << text;
    }
    EXPECT_FALSE(platform::utf16_to_cp1254(u"\u0100", out));
}
