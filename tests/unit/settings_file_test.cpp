#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "settings/preferences_store.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::read_bytes;
using testsupport::write_bytes;

void PrintTo(const LaunchPreferences& p, std::ostream* os) {
    *os << p.hdrEnabled << p.fullscreen << " " << p.textureFiltering << " " << p.anisotropyLevel
        << " " << p.screenResolution << " " << p.lightmapDetail << " " << p.textureDetail << " "
        << p.isp;
}

namespace {

constexpr std::uint32_t kMiB = 1048576;
const char* const kPrefs = "base/pref_launch.prefs";

struct Memory {  // counts how often it is asked
    std::uint32_t bytes;
    int calls = 0;
    PreferencesStore::MemoryQuery query() {
        return [this] { return ++calls, bytes; };
    }
};

// Writes the box it is asked to show to "box.txt", for the parent of a child
// that is about to end.
struct BoxRecorder : platform::MessageTarget {
    void PostMessage(platform::UINT, platform::WPARAM, platform::LPARAM) override {}
    int MessageBox(std::u16string_view text, std::u16string_view caption, platform::UINT type,
                   platform::BoxOwner owner) override {
        write_bytes("box.txt", platform::utf16_to_utf8(caption) + "|" +
                                   platform::utf16_to_utf8(text) + "|" + std::to_string(type) +
                                   (owner == platform::BoxOwner::None ? "|none" : "|window"));
        return platform::IDOK;
    }
};

// The record with fullscreen set, as after any read.
LaunchPreferences rec(bool hdr, int filtering, int aniso, int res, int light, int tex,
                      int isp = 3) {
    return {hdr, true, filtering, aniso, res, light, tex, isp};
}

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
    struct Case {
        std::optional<std::string> existing;
        std::uint32_t memory;
        const char* expected;
        int memoryChecks;
    };
    const Case cases[] = {
        {std::nullopt, 1024 * kMiB, kMiddleTierFile, 1},
        {"", 10 * kMiB, kInitialValuesFile, 0},  // too little memory, but never asked
        {kMiddleTierFile, 10 * kMiB, kMiddleTierFile, 0},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        if (c.existing) write_bytes(kPrefs, *c.existing);
        Memory memory{c.memory};
        PreferencesStore store(nullptr, memory.query());
        store.LoadSettingsAtStartup();
        EXPECT_EQ(read_bytes(kPrefs), c.expected);
        EXPECT_EQ(memory.calls, c.memoryChecks);
        EXPECT_EQ(std::distance(fs::directory_iterator("base"), {}), 1);  // no leftovers
    }
}

TEST(SettingsFile, ReaderPairsTokensAndStartUpWritesBackWhatItUnderstood) {
    struct Case {
        std::string file;
        LaunchPreferences expected;
        std::vector<std::string> linesWritten, keysLeftOut;
    };
    const std::vector<Case> cases = {
        {"Fullscreen 0\r\n", rec(false, 0, 0, 0, 0, 0), {"Fullscreen 1"}, {}},
        {"HDREnabled 1 HDREnabled true\r\n", rec(false, 0, 0, 0, 0, 0), {"HDREnabled 0"}, {}},
        {"HDREnabled 1\r\nHDREnabled 01\r\n", rec(false, 0, 0, 0, 0, 0), {}, {}},
        {"TextureFiltering 7\r\nTextureAnisotropy_PREF -1\r\nScreenResolution_PREF 17\r\n",
         rec(false, 7, -1, 17, 0, 0),
         {"TextureFiltering 7", "TextureAnisotropy_PREF -1", "ScreenResolution_PREF 17"},
         {"TextureFilteringMin", "TextureFilteringMag", "TextureMipmap", "TextureAnisotropy",
          "ScreenWidth", "ScreenHeight"}},
        {"ScreenResolution_PREF 8\r\nScreenWidth 800\r\nScreenHeight 600\r\n",
         rec(false, 0, 0, 8, 0, 0),
         {"ScreenWidth 1366", "ScreenHeight 768"},
         {}},
        {"ScreenResolution_PREF 7", rec(false, 0, 0, 7, 0, 0), {"ScreenWidth 1336"}, {}},
        {"hdrenabled 1\r\nTEXTUREDETAIL 2\r\nIsp 5\r\n", rec(false, 0, 0, 0, 0, 0), {"ISP 3"}, {}},
        {"HDREnabled 1 TextureFiltering 3 TextureAnisotropy_PREF 4 ScreenResolution_PREF 16\r\n",
         rec(true, 3, 4, 16, 0, 0),
         {"TextureFilteringMin 3", "TextureFilteringMag 3", "TextureMipmap 2",
          "TextureAnisotropy 32", "ScreenWidth 1920", "ScreenHeight 1200"},
         {}},
        // TextureFiltering takes the next key as its value; the pairs stay shifted.
        {"TextureFiltering 3\r\nTextureFiltering\r\nLightmapDetail 2\r\nTextureDetail 1\r\n",
         rec(false, 0, 0, 0, 0, 0),
         {},
         {}},
        {"TextureDetail 2\r\nHDREnabled 1\r\nTextureDetail\r\n", rec(true, 0, 0, 0, 0, 0), {}, {}},
        {"HDREnabled 1 HDREnabled", rec(false, 0, 0, 0, 0, 0), {}, {}},
        {"ISP -42\r\nLightmapDetail 1\r\nLightmapDetail 2\r\n",
         rec(false, 0, 0, 0, 2, 0, -42),
         {"ISP -42"},
         {}},
        {"TextureDetail 12abc LightmapDetail +2 ISP -0x10 TextureFiltering 3 TextureFiltering abc "
         "ScreenResolution_PREF - TextureAnisotropy_PREF 3-1",
         rec(false, 0, 3, 0, 2, 12, 0),
         {"TextureDetail 12"},
         {}},
        {"ScreenResolution_PREF 99999999999999999999 TextureAnisotropy_PREF -4294967297",
         rec(false, 0, INT_MIN, INT_MAX, 0, 0),
         {"ScreenResolution_PREF 2147483647", "TextureAnisotropy_PREF -2147483648"},
         {}},
        {"HDREnabled\t1\vTextureDetail\f2\rLightmapDetail\n1   ISP \r\n 9",
         rec(true, 0, 0, 0, 1, 2, 9),
         {},
         {}},
        {"HDREnabled" + std::string(1000, 'x') + " 1 HDREnabled 1" + std::string(40, '1') +
             " TextureDetail " + std::string(50, '0') + "2",
         rec(false, 0, 0, 0, 0, 2),
         {},
         {}},
        {std::string("HDREnabled\0 1 ISP \xFE"
                     "5",
                     19),
         rec(false, 0, 0, 0, 0, 0, 0),
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        testsupport::TempDir dir;
        write_bytes(kPrefs, c.file);
        Memory memory{0};
        PreferencesStore store(nullptr, memory.query());
        store.LoadSettingsAtStartup();
        EXPECT_EQ(store.preferences(), c.expected);
        const std::string written = "\r\n" + read_bytes(kPrefs);
        for (const std::string& line : c.linesWritten) {
            EXPECT_NE(written.find("\r\n" + line + "\r\n"), std::string::npos) << line;
        }
        for (const std::string& key : c.keysLeftOut) {
            EXPECT_EQ(written.find("\r\n" + key + " "), std::string::npos) << key;
        }
    }
}

TEST(SettingsFile, FailedReadsAndWritesLoseNothing) {
    testsupport::TempDir dir;
    PreferencesStore store;
    store.preferences().textureDetail = 2;
    EXPECT_FALSE(store.ReadSettingsFile());
    EXPECT_EQ(store.preferences(), rec(false, 0, 0, 0, 0, 2));
    EXPECT_FALSE(fs::exists("base"));  // only the writer makes it

    const std::string old = "HDREnabled 1\r\nISP 5\r\n";
    write_bytes(kPrefs, old);
    fs::create_directory("base/pref_launch.prefs.~new");  // the new file cannot be made
    store.WriteSettingsFile();
    EXPECT_EQ(read_bytes(kPrefs), old);
    fs::remove("base/pref_launch.prefs.~new");

    fs::remove_all("base");
    write_bytes("base", "not a directory");
    store.WriteSettingsFile();
    EXPECT_EQ(read_bytes("base"), "not a directory");
    EXPECT_FALSE(store.ReadSettingsFile());
}

// The exit status of a child running the body, the box it showed, and
// whether the body came back.
std::tuple<int, std::string, bool> run_until_exit(const std::function<void()>& body) {
    const int status = testsupport::run_in_child([&] {
        body();
        write_bytes("returned", "");
    });
    return {status, fs::exists("box.txt") ? read_bytes("box.txt") : "", fs::exists("returned")};
}

const std::string kMemoryBox =
    "Hata!|Valdora oyununu \xC3\xA7\x61l\xC4\xB1\xC5\x9Ft\xC4\xB1rabilmeniz i\xC3\xA7in en az 512 "
    "MB haf\xC4\xB1zan\xC4\xB1z olmal\xC4\xB1\x64\xC4\xB1r.\nDi\xC4\x9F\x65r sistem "
    "gereksinimlerini ana sayfadan g\xC3\xB6rebilirsiniz.|0|none";

TEST(SettingsFile, MemoryTiersAndTheMemoryRequirement) {
    struct Case {
        std::uint32_t bytes;
        std::optional<LaunchPreferences> tier;  // none: refused
    };
    const Case cases[] = {
        {0, std::nullopt},
        {299 * kMiB, std::nullopt},
        {300 * kMiB - 1, std::nullopt},
        {300 * kMiB, rec(false, 2, 1, 0, 0, 0, 42)},
        {600 * kMiB - 1, rec(false, 2, 1, 0, 0, 0, 42)},
        {600 * kMiB, rec(true, 2, 1, 0, 0, 1, 42)},
        {1700 * kMiB - 1, rec(true, 2, 1, 0, 0, 1, 42)},
        {1700 * kMiB, rec(true, 2, 1, 0, 1, 2, 42)},
        {UINT32_MAX, rec(true, 2, 1, 0, 1, 2, 42)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        testsupport::TempDir dir;
        BoxRecorder recorder;
        Memory memory{c.bytes};
        PreferencesStore store(&recorder, memory.query());
        store.preferences() = {false, false, 3, 4, 16, 2, 2, 42};
        if (c.tier) {
            store.ApplyMemoryDefaults();
            EXPECT_EQ(store.preferences(), *c.tier);
        } else {
            EXPECT_EQ(run_until_exit([&] { store.ApplyMemoryDefaults(); }),
                      std::make_tuple(0, kMemoryBox, false));
        }
        EXPECT_FALSE(fs::exists("base"));  // defaults alone are never written
    }
}

TEST(SettingsFile, TooLittleMemoryAtFirstStartEndsBeforeAnythingIsWritten) {
    testsupport::TempDir dir;
    BoxRecorder recorder;
    Memory memory{299 * kMiB};
    PreferencesStore store(&recorder, memory.query());
    EXPECT_EQ(run_until_exit([&] { store.LoadSettingsAtStartup(); }),
              std::make_tuple(0, kMemoryBox, false));
    EXPECT_FALSE(fs::exists("base"));

    write_bytes(kPrefs, "");  // with a settings file the same machine starts
    store.LoadSettingsAtStartup();
    EXPECT_EQ(read_bytes(kPrefs), kInitialValuesFile);
    EXPECT_EQ(memory.calls, 0);
}

}  // namespace
