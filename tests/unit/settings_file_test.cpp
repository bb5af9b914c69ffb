#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <tuple>

#include "platform/codepage.h"
#include "settings/preferences_store.h"
#include "support/files.h"
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
        out += (out.empty() ? "" : " ") + std::to_string(v);
    }
    return out;
}

struct Memory {  // counts how often it is asked
    std::uint32_t bytes;
    int calls = 0;
    PreferencesStore::MemoryQuery query() {
        return [this] { return ++calls, bytes; };
    }
};

// Prints the box it shows, for a death test: caption, type, owner, text.
struct BoxPrinter : platform::MessageTarget {
    void PostMessage(platform::UINT, platform::WPARAM, platform::LPARAM) override {}
    int MessageBox(std::u16string_view text, std::u16string_view caption, platform::UINT type,
                   platform::BoxOwner owner) override {
        std::fprintf(stderr, "%s|%u|%s|%s", platform::utf16_to_utf8(caption).c_str(), type,
                     owner == platform::BoxOwner::None ? "none" : "window",
                     platform::utf16_to_utf8(text) == kMemoryText ? "text" : "other text");
        return platform::IDOK;
    }
    const std::string kMemoryText =
        "Valdora oyununu \xC3\xA7\x61l\xC4\xB1\xC5\x9Ft\xC4\xB1rabilmeniz i\xC3\xA7in en az 512 "
        "MB haf\xC4\xB1zan\xC4\xB1z olmal\xC4\xB1\x64\xC4\xB1r.\nDi\xC4\x9F\x65r sistem "
        "gereksinimlerini ana sayfadan g\xC3\xB6rebilirsiniz.";
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
        {"Fullscreen 0\r\n", "0 1 0 0 0 0 0 3", "+Fullscreen 1"},
        {"HDREnabled 1 HDREnabled true\r\n", "0 1 0 0 0 0 0 3", "+HDREnabled 0"},
        {"HDREnabled 1\r\nHDREnabled 01\r\nTextureDetail 2 TextureDetail", "0 1 0 0 0 0 0 3", ""},
        {"TextureFiltering 7\r\nTextureAnisotropy_PREF -1\r\nScreenResolution_PREF 17\r\n",
         "0 1 7 -1 17 0 0 3",
         "+TextureFiltering 7|+TextureAnisotropy_PREF -1|+ScreenResolution_PREF 17|"
         "-TextureFilteringMin|-TextureFilteringMag|-TextureMipmap|-TextureAnisotropy|"
         "-ScreenWidth|-ScreenHeight"},
        {"ScreenResolution_PREF 8\r\nScreenWidth 800\r\nScreenHeight 600\r\n", "0 1 0 0 8 0 0 3",
         "+ScreenWidth 1366|+ScreenHeight 768"},
        {"hdrenabled 1\r\nTEXTUREDETAIL 2\r\nIsp 5\r\n", "0 1 0 0 0 0 0 3", "+ISP 3"},
        {"HDREnabled 1 TextureFiltering 3 TextureAnisotropy_PREF 4 ScreenResolution_PREF 16\r\n",
         "1 1 3 4 16 0 0 3",
         "+TextureFilteringMin 3|+TextureFilteringMag 3|+TextureMipmap 2|+TextureAnisotropy 32|"
         "+ScreenWidth 1920|+ScreenHeight 1200"},
        // TextureFiltering takes the next key as its value; the pairs stay shifted.
        {"TextureFiltering 3\r\nTextureFiltering\r\nLightmapDetail 2\r\nTextureDetail 1\r\n",
         "0 1 0 0 0 0 0 3", ""},
        {"TextureDetail 2\r\nHDREnabled 1\r\nTextureDetail\r\n", "1 1 0 0 0 0 0 3", ""},
        {"ISP -42\r\nLightmapDetail 1\r\nLightmapDetail 2\r\n", "0 1 0 0 0 2 0 -42", "+ISP -42"},
        {"TextureDetail 12abc LightmapDetail +2 ISP -0x10 TextureFiltering 3 TextureFiltering x "
         "ScreenResolution_PREF - TextureAnisotropy_PREF 3-1 ScreenResolution_PREF "
         "99999999999999999999 TextureAnisotropy_PREF -4294967297",
         "0 1 0 -2147483648 2147483647 2 12 0",
         "+TextureDetail 12|+ScreenResolution_PREF 2147483647"},
        {"HDREnabled\t1\vTextureDetail\f2\rLightmapDetail\n1   ISP \r\n 9", "1 1 0 0 0 1 2 9", ""},
        {"HDREnabled" + std::string(1000, 'x') + " 1 HDREnabled 1" + std::string(40, '1') +
             " TextureDetail " + std::string(50, '0') + "2",
         "0 1 0 0 0 0 2 3", ""},
        {std::string("HDREnabled\0 1 ISP \xFE"
                     "5",
                     19),
         "0 1 0 0 0 0 0 0", ""},
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

TEST(SettingsFile, FailedReadsAndWritesLoseNothing) {
    testsupport::TempDir dir;
    PreferencesStore store;
    store.preferences().textureDetail = 2;
    EXPECT_FALSE(store.ReadSettingsFile());
    EXPECT_EQ(text(store.preferences()), "0 1 0 0 0 0 2 3");
    EXPECT_FALSE(fs::exists("base"));  // only the writer makes it

    write_bytes(kPrefs, "HDREnabled 1\r\n");
    fs::create_directory("base/pref_launch.prefs.~new");  // the new file cannot be made
    store.WriteSettingsFile();
    EXPECT_EQ(read_bytes(kPrefs), "HDREnabled 1\r\n");

    fs::remove_all("base");
    write_bytes("base", "not a directory");
    store.WriteSettingsFile();
    EXPECT_EQ(read_bytes("base"), "not a directory");
    EXPECT_FALSE(store.ReadSettingsFile());
}

// A first start, with no settings file, on each side of the tier bounds.
TEST(SettingsFile, MemoryTiersAndTheMemoryRequirementAtFirstStart) {
    const std::pair<std::uint32_t, const char*> cases[] = {
        {0, nullptr},
        {299 * kMiB, nullptr},
        {300 * kMiB - 1, nullptr},
        {300 * kMiB, "0 1 2 1 0 0 0 42"},
        {600 * kMiB - 1, "0 1 2 1 0 0 0 42"},
        {600 * kMiB, "1 1 2 1 0 0 1 42"},
        {1700 * kMiB - 1, "1 1 2 1 0 0 1 42"},
        {1700 * kMiB, "1 1 2 1 0 1 2 42"},
        {UINT32_MAX, "1 1 2 1 0 1 2 42"},
    };
    for (const auto& [bytes, tier] : cases) {
        SCOPED_TRACE(bytes);
        testsupport::TempDir dir;
        BoxPrinter printer;
        Memory memory{bytes};
        PreferencesStore store(&printer, memory.query());
        store.preferences() = {false, false, 3, 4, 16, 2, 2, 42};
        if (tier != nullptr) {
            store.LoadSettingsAtStartup();
            EXPECT_EQ(text(store.preferences()), tier);
        } else {
            EXPECT_EXIT(store.LoadSettingsAtStartup(), ::testing::ExitedWithCode(0),
                        "^Hata!\\|0\\|none\\|text$");
            EXPECT_FALSE(fs::exists("base"));  // nothing written
        }
    }
}

}  // namespace
