#include "window/texts.h"

#include "log/launcher_log.h"
#include "platform/codepage.h"
#include "platform/cp1254_literal.h"

using namespace platform::literals;

std::u16string ServerDisplayName(std::string_view name) {
    // UTF-8 names up to 200 UTF-16 units; anything else through the code page.
    std::u16string shown = platform::utf8_to_utf16(name);
    if (shown.empty() || shown.size() > 200) shown = platform::cp1254_to_utf16(name);
    return shown;
}

void LogWebPanesUnavailable(const std::string& reason) {
    WriteLauncherLog("Web panelleri yüklenemedi: %s"_cp1254, reason.c_str());
}
