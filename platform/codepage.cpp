#include "platform/codepage.h"

#include "platform/cp1254_literal.h"

namespace platform {
namespace {

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Reverse table for the bytes 0x80..0xFF, built once.
struct ReverseTable {
    struct Pair {
        char16_t cp;
        unsigned char byte;
    };
    Pair pairs[128];
    constexpr ReverseTable() : pairs{} {
        for (int i = 0; i < 128; ++i) {
            pairs[i] = {static_cast<char16_t>(detail::kCp1254High[i]),
                        static_cast<unsigned char>(0x80 + i)};
        }
    }
    int find(char32_t cp) const {
        for (const auto& p : pairs) {
            if (p.cp == cp) return p.byte;
        }
        return -1;
    }
};
constexpr ReverseTable kReverse;

int encode(char32_t cp) {
    return cp < 0x80 ? static_cast<int>(cp) : kReverse.find(cp);
}

}  // namespace

char16_t cp1254_to_utf16(unsigned char byte) {
    return byte < 0x80 ? byte : static_cast<char16_t>(detail::kCp1254High[byte - 0x80]);
}

std::string cp1254_to_utf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            append_utf8(out, detail::kCp1254High[b - 0x80]);
        }
    }
    return out;
}

// Windows converts with the system's code page 1254 (win32/codepage.cpp).
#ifndef _WIN32
std::u16string cp1254_to_utf16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    for (char c : bytes) out += cp1254_to_utf16(static_cast<unsigned char>(c));
    return out;
}

bool utf16_to_cp1254(std::u16string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (char16_t u : text) {
        const int b = encode(u);
        if (b < 0) return false;
        out += static_cast<char>(b);
    }
    return true;
}
#endif

bool utf8_to_cp1254(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char32_t cp = detail::decode_utf8(text.data(), text.size(), i);
        const int b = cp == 0xFFFFFFFF ? -1 : encode(cp);
        if (b < 0) return false;
        out += static_cast<char>(b);
    }
    return true;
}

std::string utf16_to_utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        append_utf8(out, cp);
    }
    return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        char32_t cp = detail::decode_utf8(text.data(), text.size(), i);
        if (cp == 0xFFFFFFFF) cp = 0xFFFD;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

bool equal_ignoring_ascii_case(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace platform
