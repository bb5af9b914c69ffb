// The messages the patch worker posts to its window. Arguments are in
// PatchDownloader's header and in window/texts.h.
#pragma once

#include "platform/message_target.h"

inline constexpr platform::UINT WM_PATCH_PROGRESS = platform::WM_USER + 1;
inline constexpr platform::UINT WM_PATCH_DONE = platform::WM_USER + 2;
inline constexpr platform::UINT WM_PATCH_FAILED = platform::WM_USER + 3;
inline constexpr platform::UINT WM_PATCH_SPEED = platform::WM_USER + 4;
inline constexpr platform::UINT WM_SERVERLIST_READY = platform::WM_USER + 5;
inline constexpr platform::UINT WM_PATCH_QUIT = platform::WM_USER + 6;
inline constexpr platform::UINT WM_RUN_LAUNCH_HELPER = platform::WM_USER + 7;

// wParam of WM_PATCH_FAILED for a downloaded file whose bytes are not the
// ones the signed manifest lists (the other values: 1 "~temp.dat", 2 the
// update list, code << 16 | 3 a failed transfer).
inline constexpr platform::WPARAM kFailedNotSigned = 4;
