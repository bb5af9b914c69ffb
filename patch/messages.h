// The messages the patch worker posts to its window. Arguments are in
// PatchDownloader's header and in progress_text.h.
#pragma once

#include "platform/message_target.h"

inline constexpr platform::UINT WM_PATCH_PROGRESS = platform::WM_USER + 1;
inline constexpr platform::UINT WM_PATCH_DONE = platform::WM_USER + 2;
inline constexpr platform::UINT WM_PATCH_FAILED = platform::WM_USER + 3;
inline constexpr platform::UINT WM_PATCH_SPEED = platform::WM_USER + 4;
inline constexpr platform::UINT WM_SERVERLIST_READY = platform::WM_USER + 5;
inline constexpr platform::UINT WM_PATCH_QUIT = platform::WM_USER + 6;
inline constexpr platform::UINT WM_RUN_LAUNCH_HELPER = platform::WM_USER + 7;
