// "Güncelleniyor: "_cp1254 — a program literal written as readable UTF-8 in
// the source and stored as CP1254 bytes in the program, converted at compile
// time. A character outside the code page is a compile error.
#pragma once

#include <array>
#include <cstddef>

namespace platform::detail {

// Unicode code points of the bytes 0x80..0xFF.
inline constexpr char32_t kCp1254High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x008E, 0x008F,  // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x009E, 0x0178,  // 98
    0x00A0, 0x00A1, 0x00A2, 0x00A3, 0x00A4, 0x00A5, 0x00A6, 0x00A7,  // A0
    0x00A8, 0x00A9, 0x00AA, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x00AF,  // A8
    0x00B0, 0x00B1, 0x00B2, 0x00B3, 0x00B4, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x00B8, 0x00B9, 0x00BA, 0x00BB, 0x00BC, 0x00BD, 0x00BE, 0x00BF,  // B8
    0x00C0, 0x00C1, 0x00C2, 0x00C3, 0x00C4, 0x00C5, 0x00C6, 0x00C7,  // C0
    0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,  // C8
    0x011E, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x00D7,  // D0
    0x00D8, 0x00D9, 0x00DA, 0x00DB, 0x00DC, 0x0130, 0x015E, 0x00DF,  // D8
    0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,  // E0
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF,  // E8
    0x011F, 0x00F1, 0x00F2, 0x00F3, 0x00F4, 0x00F5, 0x00F6, 0x00F7,  // F0
    0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x0131, 0x015F, 0x00FF,  // F8
};

// The byte for a code point, or -1 when the code page has none.
constexpr int cp1254_byte(char32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    for (int i = 0; i < 128; ++i) {
        if (kCp1254High[i] == cp) return 0x80 + i;
    }
    return -1;
}

// Decodes one UTF-8 sequence at s[i]; advances i. Returns U+FFFFFFFF when
// the sequence is ill-formed.
constexpr char32_t decode_utf8(const char* s, std::size_t n, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    int extra = 0;
    char32_t cp = 0;
    if (b0 < 0x80) {
        ++i;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        ++i;
        return 0xFFFFFFFF;
    }
    if (i + extra >= n) {
        i = n;
        return 0xFFFFFFFF;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            i += k;
            return 0xFFFFFFFF;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    i += extra + 1;
    constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFFFFFF;
    return cp;
}

template <std::size_t N>
struct Utf8Text {
    char bytes[N]{};
    consteval Utf8Text(const char (&s)[N]) {
        for (std::size_t i = 0; i < N; ++i) bytes[i] = s[i];
    }
    consteval std::size_t code_points() const {
        std::size_t count = 0;
        for (std::size_t i = 0; i + 1 < N;) {
            decode_utf8(bytes, N - 1, i);
            ++count;
        }
        return count;
    }
};

template <Utf8Text S>
consteval auto encode_cp1254() {
    std::array<char, S.code_points() + 1> out{};
    std::size_t o = 0;
    for (std::size_t i = 0; i + 1 < sizeof(S.bytes);) {
        const int b = cp1254_byte(decode_utf8(S.bytes, sizeof(S.bytes) - 1, i));
        if (b < 0) throw "character not representable in code page 1254";
        out[o++] = static_cast<char>(static_cast<unsigned char>(b));
    }
    out[o] = '\0';
    return out;
}

template <Utf8Text S>
inline constexpr auto kCp1254Literal = encode_cp1254<S>();

}  // namespace platform::detail

namespace platform::literals {

// A NUL-terminated CP1254 string with static storage.
template <detail::Utf8Text S>
consteval const char* operator""_cp1254() {
    return detail::kCp1254Literal<S>.data();
}

}  // namespace platform::literals
