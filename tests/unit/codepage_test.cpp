#include "platform/codepage.h"

#include <gtest/gtest.h>

#include "platform/cp1254_literal.h"

using namespace platform::literals;

namespace {

struct Letter {
    const char* utf8;
    unsigned char cp1254;
};

// The Turkish letters and their bytes in code page 1254 (from the code
// page's published table).
constexpr Letter kTurkish[] = {
    {"ç", 0xE7}, {"Ç", 0xC7}, {"ğ", 0xF0}, {"Ğ", 0xD0}, {"ı", 0xFD}, {"I", 0x49}, {"i", 0x69},
    {"İ", 0xDD}, {"ö", 0xF6}, {"Ö", 0xD6}, {"ş", 0xFE}, {"Ş", 0xDE}, {"ü", 0xFC}, {"Ü", 0xDC},
};

TEST(Codepage, TurkishLettersBothWays) {
    for (const auto& letter : kTurkish) {
        SCOPED_TRACE(letter.utf8);
        std::string encoded;
        ASSERT_TRUE(platform::utf8_to_cp1254(letter.utf8, encoded));
        ASSERT_EQ(encoded, std::string(1, static_cast<char>(letter.cp1254)));
        EXPECT_EQ(platform::cp1254_to_utf8(encoded), letter.utf8);

        const std::u16string wide = platform::utf8_to_utf16(letter.utf8);
        EXPECT_EQ(platform::cp1254_to_utf16(encoded), wide);
        std::string back;
        ASSERT_TRUE(platform::utf16_to_cp1254(wide, back));
        EXPECT_EQ(back, encoded);
    }
}

TEST(Codepage, EveryByteSurvivesARoundTrip) {
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        std::string back;
        ASSERT_TRUE(platform::utf8_to_cp1254(platform::cp1254_to_utf8(byte), back)) << b;
        EXPECT_EQ(back, byte) << b;
        ASSERT_TRUE(platform::utf16_to_cp1254(platform::cp1254_to_utf16(byte), back)) << b;
        EXPECT_EQ(back, byte) << b;
    }
}

TEST(Codepage, RejectsWhatTheCodePageCannotHold) {
    std::string out;
    EXPECT_FALSE(platform::utf8_to_cp1254("日本", out));
    EXPECT_FALSE(platform::utf8_to_cp1254("\xC3", out));      // cut short
    EXPECT_FALSE(platform::utf8_to_cp1254("\xC0\xAF", out));  // overlong "/"
    EXPECT_FALSE(platform::utf16_to_cp1254(u"\u0100", out));
    EXPECT_TRUE(platform::utf8_to_cp1254("€", out));
    EXPECT_EQ(out, "\x80");
}

TEST(Codepage, CompileTimeLiteralsAreCp1254Bytes) {
    EXPECT_STREQ("http hatası: %d"_cp1254, "http hatas\xFD: %d");
    EXPECT_STREQ("Güncelleme tamamlandı !"_cp1254, "G\xFCncelleme tamamland\xFD !");
    EXPECT_STREQ("Dosya yazma hatası: %d"_cp1254, "Dosya yazma hatas\xFD: %d");
    EXPECT_STREQ("plain"_cp1254, "plain");
}

}  // namespace
