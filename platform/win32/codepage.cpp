// CP1254 and UTF-16 through the system's own table of the code page,
// named outright: the player's ANSI code page may be another one.
#include "platform/codepage.h"

#include <windows.h>

namespace platform {
namespace {

constexpr UINT kTurkish = 1254;

}  // namespace

std::u16string cp1254_to_utf16(std::string_view bytes) {
    if (bytes.empty()) return {};
    std::wstring out(bytes.size(), L'\0');
    // Every byte has a character here (the undefined ones their C1 control),
    // one UTF-16 unit each.
    const int n = ::MultiByteToWideChar(kTurkish, 0, bytes.data(), static_cast<int>(bytes.size()),
                                        out.data(), static_cast<int>(out.size()));
    return std::u16string(out.begin(), out.begin() + (n > 0 ? n : 0));
}

bool utf16_to_cp1254(std::u16string_view text, std::string& out) {
    out.clear();
    if (text.empty()) return true;
    const std::wstring units(text.begin(), text.end());
    out.resize(units.size());
    BOOL lossy = FALSE;
    // No "best fit" (an "ā" must not become "a"): what the code page lacks fails.
    const int n = ::WideCharToMultiByte(kTurkish, WC_NO_BEST_FIT_CHARS, units.data(),
                                        static_cast<int>(units.size()), out.data(),
                                        static_cast<int>(out.size()), nullptr, &lossy);
    if (n <= 0 || lossy) return false;
    out.resize(static_cast<std::size_t>(n));
    return true;
}

}  // namespace platform
