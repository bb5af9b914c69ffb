// The texts of the launcher window beside those of the run's report
// (patch/report_texts.h): box texts and the title are UTF-16, as the system
// takes them.
#pragma once

#include <string>
#include <string_view>

#include "patch/report_texts.h"

// A server's line in the list: its UTF-8 name, or, when that is empty or
// longer than 200 UTF-16 units, the name read through the code page.
std::u16string ServerDisplayName(std::string_view name);

// The window's title (the taskbar's text).
inline constexpr char16_t kWindowTitle[] = u"Valdora Oyunu Güncelleyicisi";
// OYNA without a server chosen.
inline constexpr char16_t kChooseServerText[] = u"Lütfen bir sunucu seçiniz.";
inline constexpr char16_t kChooseServerCaption[] = u"Uyarı";

// The promotional pages of panes 1019, 1020 and 1034, on the web site.
inline constexpr const char* kPromoPages[] = {"/LauncherPromo1.aspx", "/LauncherPromo2.aspx",
                                              "/LauncherPromo3.aspx"};
// The game guide the guide button opens with the system's viewer.
inline constexpr const char* kGuideFile = "valdora_oyun_rehberi.pdf";

// Logged once when the web panes' browsers cannot be had (the panes stay
// black): the reason follows.
void LogWebPanesUnavailable(const std::string& reason);
