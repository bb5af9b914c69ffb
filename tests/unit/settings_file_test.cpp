#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>

#include "platform/last_error.h"
#include "settings/preferences_store.h"
#include "support/files.h"
#include "support/launcher_log.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::read_bytes;
using testsupport::write_bytes;

namespace {

constexpr std::uint32_t kMiB = 1048576;
const char* const kPrefs = "base/pref_launch.prefs";

// hdr full filtering aniso resolution light texture isp
std::string text(const LaunchPreferences& p) {
    std::string out;
    for (long v :
         {long{p.hdrEnabled}, long{p.fullscreen}, long{p.textureFiltering}, long{p.anisotropyLevel},
          long{p.screenResolution}, long{p.lightmapDetail}, long{p.textureDetail}, long{p.isp}}) {
        // Appended: GCC 12 at -O3 takes `" " + std::to_string(v)` for an
        // overlapping copy (a false -Wrestrict, fatal with -Werror).
        out.append(out.empty() ? "" : " ").append(std::to_string(v));
    }
    return out;
}

// Counts how often the memory is asked for; nothing stands for a failed query.
struct Memory {
    std::optional<std::uint32_t> bytes;
    int calls = 0;
    PreferencesStore::MemoryQuery query() {
        return [this] {
            if (!bytes) platform::set_last_error(ENOSYS);
            return ++calls, bytes;
        };
    }
};

const char kMiddleTierFile[] =
    "HDREnabled 1\r\nFullscreen 1\r\nTextureFiltering 2\r\nTextureFilteringMin 3\r\n"
    "TextureFilteringMag 2\r\nTextureMipmap 1\r\nTextureAnisotropy 4\r\n"
    "TextureAnisotropy_PREF 1\r\nScreenResolution_PREF 0\r\nScreenWidth 1024\r\n"
    "ScreenHeight 768\r\nLightmapDetail 0\r\nTextureDetail 1\r\nISP 3\r\n";
const char kInitialValuesFile[] =
    "HDREnabled 0\r\nFullscreen 1\r\nTextureFiltering 0\r\nTextureFilteringMin 2\r\n"
    "TextureFilteringMag 1\r\nTextureMipmap 1\r\nTextureAnisotropy 2\r\n"
    "TextureAnisotropy_PREF 0\r\nScreenResolution_PREF 0\r\nScreenWidth 1024\r\n"
    "ScreenHeight 768\r\nLightmapDetail 0\r\nTextureDetail 0\r\nISP 3\r\n";

TEST(SettingsFile, StartUpWritesTheKnownFilesByteForByte) {
    // No file on 1 GiB; an empty file on too little memory, which is never asked.
    for (const auto& [existing, memory, expected, checks] :
         {std::tuple{static_cast<const char*>(nullptr), 1024 * kMiB, kMiddleTierFile, 1},
          {"", 10 * kMiB, kInitialValuesFile, 0},
          {kMiddleTierFile, 0u, kMiddleTierFile, 0}}) {
        testsupport::TempDir dir;
        if (existing != nullptr) write_bytes(kPrefs, existing);
        Memory m{memory};
        PreferencesStore store(nullptr, m.query());
        store.LoadSettingsAtStartup();
        EXPECT_EQ(read_bytes(kPrefs), expected);
        EXPECT_EQ(m.calls, checks);
        EXPECT_EQ(std::distance(fs::directory_iterator("base"), {}), 1);  // no leftovers
    }
}

TEST(SettingsFile, ReaderPairsTokensAndStartUpWritesBackWhatItUnderstood) {
    // File; record read; "+line" written, "-key" left out.
    const std::tuple<std::string, const char*, const char*> cases[] = {
        {"Fullscreen 0\r\nHDREnabled 1 HDREnabled 01\r\nhdrenabled 1 Isp 5 ScreenResolution_PREF 7 "
         "ScreenWidth 800",
         "0 1 0 0 7 0 0 3", "+Fullscreen 1|+HDREnabled 0|+ISP 3|+ScreenWidth 1336"},
        {"TextureFiltering 7 TextureAnisotropy_PREF -1 ScreenResolution_PREF 17",
         "0 1 7 -1 17 0 0 3",
         "+TextureFiltering 7|-TextureFilteringMin|-TextureMipmap|-TextureAnisotropy|-ScreenWidth"},
        // A key without a value shifts the pairs; one at the end reads as 0.
        {"TextureFiltering 3\r\nTextureFiltering\r\nLightmapDetail 2\r\nTextureDetail",
         "0 1 0 0 0 0 0 3", ""},
        {"TextureDetail 12abc\tLightmapDetail\v+2\fISP -0x10\rTextureAnisotropy_PREF -4294967297 "
         "ScreenResolution_PREF 99999999999999999999 HDREnabled" +
             std::string(1000, 'x') + " 1",
         "0 1 0 -2147483648 2147483647 2 12 0", "+ScreenResolution_PREF 2147483647"},
    };
    for (const auto& [file, expected, checks] : cases) {
        SCOPED_TRACE(file);
        testsupport::TempDir dir;
        write_bytes(kPrefs, file);
        Memory memory{0};
        PreferencesStore store(nullptr, memory.query());
        store.LoadSettingsAtStartup();
        EXPECT_EQ(text(store.preferences()), expected);
        const std::string written = "\r\n" + read_bytes(kPrefs);
        std::string check;
        for (std::istringstream in(checks); std::getline(in, check, '|');) {
            const bool found = written.find("\r\n" + check.substr(1) +
                                            (check[0] == '+' ? "\r\n" : " ")) != std::string::npos;
            EXPECT_EQ(found, check[0] == '+') << check;
        }
    }
}

// The player's file is never lost or half-written, a read-only one is left
// as it is, and a symlinked one is written through to its target.
TEST(SettingsFile, WritesReplaceTheFileWholeThroughSymlinksAndNeverAReadOnlyOne) {
    testsupport::TempDir dir;
    PreferencesStore store;
    store.preferences().textureDetail = 2;
    EXPECT_FALSE(store.ReadSettingsFile());
    EXPECT_FALSE(fs::exists("base"));  // only the writer makes it

    write_bytes(kPrefs, "HDREnabled 1\r\n");
    fs::create_directory("base/pref_launch.prefs.~new");  // the new file cannot be made
    store.WriteSettingsFile();
    fs::remove("base/pref_launch.prefs.~new");
    fs::permissions(kPrefs, fs::perms(0444));
    store.WriteSettingsFile();
    EXPECT_EQ(read_bytes(kPrefs), "HDREnabled 1\r\n");

    write_bytes("elsewhere/prefs", "old");
    fs::permissions("elsewhere/prefs", fs::perms(0640));
    fs::remove(kPrefs);
    fs::create_symlink("../elsewhere/prefs", kPrefs);
    store.WriteSettingsFile();
    EXPECT_TRUE(fs::is_symlink(kPrefs));
    EXPECT_EQ(read_bytes("elsewhere/prefs").substr(0, 14), "HDREnabled 0\r\n");
    EXPECT_EQ(fs::status("elsewhere/prefs").permissions(), fs::perms(0640));
    EXPECT_EQ(std::distance(fs::directory_iterator("elsewhere"), {}), 1);
}

// A first start, with no settings file, on each side of the tier bounds;
// memory that cannot be read takes the lowest tier and is logged.
TEST(SettingsFile, MemoryTiersAndTheMemoryRequirementAtFirstStart) {
    const std::pair<std::optional<std::uint32_t>, const char*> cases[] = {
        {0, nullptr},
        {300 * kMiB - 1, nullptr},
        {300 * kMiB, "0 1 2 1 0 0 0 42"},
        {600 * kMiB - 1, "0 1 2 1 0 0 0 42"},
        {600 * kMiB, "1 1 2 1 0 0 1 42"},
        {1700 * kMiB - 1, "1 1 2 1 0 0 1 42"},
        {1700 * kMiB, "1 1 2 1 0 1 2 42"},
        {std::nullopt, "0 1 2 1 0 0 0 42"}};
    for (const auto& [bytes, tier] : cases) {
        SCOPED_TRACE(bytes.value_or(1));
        testsupport::TempDir dir;
        Memory memory{bytes};
        PreferencesStore store(nullptr, memory.query());  // the message goes to stderr
        store.preferences() = {false, false, 3, 4, 16, 2, 2, 42};
        // In a process of its own either way: the refusal ends the process.
        const auto start = [&] {
            store.LoadSettingsAtStartup();
            std::fprintf(stderr, "tier %s", text(store.preferences()).c_str());
            std::_Exit(7);
        };
        if (tier != nullptr) {
            EXPECT_EXIT(start(), ::testing::ExitedWithCode(7), std::string("^tier ") + tier + "$");
        } else {
            EXPECT_EXIT(start(), ::testing::ExitedWithCode(0),
                        "^Valdora oyununu çalıştırabilmeniz için en az 512 MB "
                        "hafızanız olmalıdır.\nDiğer sistem gereksinimlerini ana sayfadan "
                        "görebilirsiniz.\n$");
            EXPECT_FALSE(fs::exists("base"));  // nothing written
        }
        EXPECT_EQ(testsupport::log_messages("."),
                  bytes ? std::vector<std::string>{}
                        : std::vector<std::string>{"Bellek miktar\xFD okunamad\xFD: " +
                                                   std::string(std::strerror(ENOSYS))});
    }
}

}  // namespace
