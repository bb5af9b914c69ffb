// Windows code page 1254 (Turkish), the launcher's "ANSI" code page.
//
// Program literals, log lines and update-list paths are CP1254 bytes; the
// file system speaks UTF-8 and the window UTF-16. These are the conversions
// between them. Every one of the 256 bytes maps to one code point (the five
// bytes the code page leaves undefined map to the C1 control of the same
// value, as Windows does), so bytes always survive a round trip.
#pragma once

#include <string>
#include <string_view>

namespace platform {

char16_t cp1254_to_utf16(unsigned char byte);
std::u16string cp1254_to_utf16(std::string_view bytes);
std::string cp1254_to_utf8(std::string_view bytes);

// Returns false, leaving `out` unspecified, when the text holds a character
// that CP1254 cannot represent (or is not well-formed).
bool utf16_to_cp1254(std::u16string_view text, std::string& out);
bool utf8_to_cp1254(std::string_view text, std::string& out);

std::string utf16_to_utf8(std::u16string_view text);
// Ill-formed UTF-8 decodes to U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);

// Whole texts equal when A-Z and a-z are taken as the same; every other byte
// must match exactly (lstrcmpi on names that are plain ASCII).
bool equal_ignoring_ascii_case(std::string_view a, std::string_view b);

}  // namespace platform
