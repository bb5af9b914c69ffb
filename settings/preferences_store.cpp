#include "settings/preferences_store.h"

#include <cstdio>
#include <string>

#include "log/launcher_log.h"
#include "platform/codepage.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "settings/settings_file.h"

using namespace platform::literals;

namespace {

constexpr std::uint32_t kMiB = 1024 * 1024;
// The launcher refuses to set defaults for, or start on, less than this.
constexpr std::uint32_t kMinimumMiB = 300;

struct MemoryTier {
    std::uint32_t fromMiB;
    bool hdrEnabled;
    std::int32_t textureDetail;
    std::int32_t lightmapDetail;
};
// Highest first. Every tier takes good filtering, 4X and 1024*768.
constexpr MemoryTier kTiers[] = {
    {1700, true, 2, 1},
    {600, true, 1, 0},
    {kMinimumMiB, false, 0, 0},
};

constexpr char16_t kMemoryCaption[] = u"Hata!";
constexpr char16_t kMemoryText[] =
    u"Valdora oyununu çalıştırabilmeniz için en az 512 MB hafızanız olmalıdır.\n"
    u"Diğer sistem gereksinimlerini ana sayfadan görebilirsiniz.";

}  // namespace

PreferencesStore::PreferencesStore(platform::MessageBoxes* messageTarget, MemoryQuery totalMemory)
    : messageTarget_(messageTarget),
      totalMemory_(totalMemory ? std::move(totalMemory) : platform::total_physical_memory) {}

bool PreferencesStore::ReadSettingsFile() {
    platform::File file = platform::File::open_for_reading(settings::kSettingsFilePath);
    if (!file) {
        preferences_.fullscreen = true;
        return false;
    }
    settings::SettingsFileReader reader(preferences_);
    char buffer[4096];
    // A read error ends the file where it broke off, as a failed stream would.
    for (long n; (n = file.read_some(buffer, sizeof buffer)) > 0;) {
        reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
    }
    reader.Finish();
    preferences_.fullscreen = true;
    return true;
}

void PreferencesStore::WriteSettingsFile() {
    platform::create_directory(settings::kSettingsDirectory);  // usually there already
    // Truncating the file in place would lose the player's settings to a full
    // disk or a crash half-way; the old file is replaced only by a whole one.
    platform::write_file_whole(settings::kSettingsFilePath,
                               settings::FormatSettingsFile(preferences_));
}

void PreferencesStore::ApplyMemoryDefaults() {
    const std::optional<std::uint32_t> bytes = totalMemory_();
    if (!bytes) {
        // Never a reason to refuse the player: the lowest tier that runs.
        WriteLauncherLog("Bellek miktarı okunamadı: %s"_cp1254,
                         platform::error_text(platform::last_error()).c_str());
    }
    const std::uint32_t mib = bytes ? *bytes / kMiB : kMinimumMiB;
    if (mib < kMinimumMiB) RefuseTooLittleMemory();
    for (const MemoryTier& tier : kTiers) {
        if (mib < tier.fromMiB) continue;
        preferences_.hdrEnabled = tier.hdrEnabled;
        preferences_.fullscreen = true;
        preferences_.textureFiltering = 2;
        preferences_.anisotropyLevel = 1;
        preferences_.screenResolution = 0;
        preferences_.textureDetail = tier.textureDetail;
        preferences_.lightmapDetail = tier.lightmapDetail;
        return;
    }
}

void PreferencesStore::LoadSettingsAtStartup() {
    if (ReadSettingsFile()) {
        WriteSettingsFile();
        return;
    }
    ApplyMemoryDefaults();
    WriteSettingsFile();
    ReadSettingsFile();
}

PreferencesStore::MessageRoute PreferencesStore::MemoryMessageRoute() {
    return {messageTarget_, platform::BoxOwner::None};
}

void PreferencesStore::RefuseTooLittleMemory() {
    const MessageRoute route = MemoryMessageRoute();
    if (route.target != nullptr) {
        route.target->MessageBox(kMemoryText, kMemoryCaption, platform::BoxIcon::None, route.owner);
    } else {
        const std::string text = platform::utf16_to_utf8(kMemoryText);
        std::fprintf(stderr, "%s\n", text.c_str());
    }
    // At once, without clean-up or a log line.
    platform::exit_process(0);
}
