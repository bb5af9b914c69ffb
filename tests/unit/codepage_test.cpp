#include "platform/codepage.h"

#include <gtest/gtest.h>

#include "platform/cp1254_literal.h"

using namespace platform::literals;

namespace {

// The Turkish letters against the code page's published table, both ways.
TEST(Codepage, TurkishLettersAndEveryByteSurviveARoundTrip) {
    const std::pair<const char*, unsigned char> letters[] = {
        {"ç", 0xE7}, {"Ç", 0xC7}, {"ğ", 0xF0}, {"Ğ", 0xD0}, {"ı", 0xFD}, {"İ", 0xDD}, {"ö", 0xF6},
        {"Ö", 0xD6}, {"ş", 0xFE}, {"Ş", 0xDE}, {"ü", 0xFC}, {"Ü", 0xDC}, {"€", 0x80}};
    for (const auto& [utf8, byte] : letters) {
        std::string encoded, back;
        ASSERT_TRUE(platform::utf8_to_cp1254(utf8, encoded));
        EXPECT_EQ(encoded, std::string(1, static_cast<char>(byte))) << utf8;
        EXPECT_EQ(platform::cp1254_to_utf16(encoded), platform::utf8_to_utf16(utf8)) << utf8;
    }
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        std::string back8, back16;
        ASSERT_TRUE(platform::utf8_to_cp1254(platform::cp1254_to_utf8(byte), back8)) << b;
        ASSERT_TRUE(platform::utf16_to_cp1254(platform::cp1254_to_utf16(byte), back16)) << b;
        EXPECT_EQ(back8 + back16, byte + byte) << b;
    }
    EXPECT_STREQ("Dosya yazma hatası: %d"_cp1254, "Dosya yazma hatas\xFD: %d");
}

TEST(Codepage, RejectsWhatTheCodePageCannotHoldOrIsNotUtf8) {
    std::string out;
    for (const char* text : {"日本", "\xC3", "\xC0\xAF"}) {
        EXPECT_FALSE(platform::utf8_to_cp1254(text, out)) << text;
    }
    EXPECT_FALSE(platform::utf16_to_cp1254(u"\u0100", out));
}

}  // namespace
