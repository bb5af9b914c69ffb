// The game's graphics settings, as the launcher keeps them between the
// settings file and the settings dialog.
#pragma once

#include <cstdint>

// The combo-box indices are stored as read, unchecked: -1 means the dialog's
// list had no selection, and anything outside a table simply has no derived
// lines in the file.
struct LaunchPreferences {
    bool hdrEnabled = false;            // "Parlama Efekti"
    bool fullscreen = false;            // every read of the file sets it
    std::int32_t textureFiltering = 0;  // 0-3
    std::int32_t anisotropyLevel = 0;   // 0-4
    std::int32_t screenResolution = 0;  // 0-16
    std::int32_t lightmapDetail = 0;    // 0-2, "Gölge Detayı"
    std::int32_t textureDetail = 0;     // 0-2, "Doku Detayı"
    std::int32_t isp = 3;               // carried through for the game, never edited

    bool operator==(const LaunchPreferences&) const = default;
};
