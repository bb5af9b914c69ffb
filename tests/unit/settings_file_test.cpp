#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "platform/message_target.h"
#include "settings/preferences_store.h"
#include "support/child_process.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

void PrintTo(const LaunchPreferences& p, std::ostream* os) {
    *os << "{hdr " << p.hdrEnabled << ", full " << p.fullscreen << ", filt " << p.textureFiltering
        << ", aniso " << p.anisotropyLevel << ", res " << p.screenResolution << ", light "
        << p.lightmapDetail << ", tex " << p.textureDetail << ", isp " << p.isp << "}";
}

namespace {

constexpr std::uint32_t kMiB = 1048576;

// Counts how often the memory is asked for.
struct Memory {
    std::uint32_t bytes;
    int calls = 0;
    PreferencesStore::MemoryQuery query() {
        return [this] {
            ++calls;
            return bytes;
        };
    }
};

// Writes every box it is asked to show to "box.txt", for the parent of a
// child process that is about to end.
class BoxRecorder : public platform::MessageTarget {
public:
    void PostMessage(platform::UINT, platform::WPARAM, platform::LPARAM) override {}
    int MessageBox(std::u16string_view text, std::u16string_view caption, platform::UINT type,
                   platform::BoxOwner owner) override {
        testsupport::write_bytes(
            "box.txt", platform::utf16_to_utf8(caption) + "|" + platform::utf16_to_utf8(text) +
                           "|" + std::to_string(type) + "|" +
                           (owner == platform::BoxOwner::None ? "none" : "window"));
        return platform::IDOK;
    }
};

const std::string kPrefsPath = "base/pref_launch.prefs";

std::string prefs_file() {
    return testsupport::read_bytes(kPrefsPath);
}

LaunchPreferences record(bool hdr, std::int32_t filtering, std::int32_t aniso, std::int32_t res,
                         std::int32_t light, std::int32_t tex, std::int32_t isp = 3) {
    LaunchPreferences p;
    p.hdrEnabled = hdr;
    p.fullscreen = true;
    p.textureFiltering = filtering;
    p.anisotropyLevel = aniso;
    p.screenResolution = res;
    p.lightmapDetail = light;
    p.textureDetail = tex;
    p.isp = isp;
    return p;
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
        const char* name;
        std::optional<std::string> existing;
        std::uint32_t memory;
        const char* expected;
        int memoryChecks;
    };
    const Case cases[] = {
        {"no file, 1 GiB", std::nullopt, 1024 * kMiB, kMiddleTierFile, 1},
        // Too little memory: it must not even be asked.
        {"empty file", "", 10 * kMiB, kInitialValuesFile, 0},
        {"the file itself", kMiddleTierFile, 10 * kMiB, kMiddleTierFile, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        if (c.existing) testsupport::write_bytes(kPrefsPath, *c.existing);
        Memory memory{c.memory};
        PreferencesStore store(nullptr, memory.query());
        store.LoadSettingsAtStartup();
        EXPECT_EQ(prefs_file(), c.expected);
        EXPECT_EQ(memory.calls, c.memoryChecks);
        EXPECT_EQ(fs::directory_iterator("base")->path().filename(), "pref_launch.prefs");
        EXPECT_EQ(std::distance(fs::directory_iterator("base"), fs::directory_iterator()), 1);
    }
}

TEST(SettingsFile, ReaderTakesTokenPairsAndWritesBackWhatItUnderstood) {
    struct Case {
        const char* name;
        std::string file;
        LaunchPreferences expected;
        std::vector<std::string> linesWritten;
        std::vector<std::string> keysLeftOut;
    };
    const std::string longValue = std::string(50, '0') + "2";
    const std::vector<Case> cases = {
        {"Fullscreen 0", "Fullscreen 0\r\n", record(false, 0, 0, 0, 0, 0), {"Fullscreen 1"}, {}},
        {"HDREnabled 1", "HDREnabled 1\r\n", record(true, 0, 0, 0, 0, 0), {"HDREnabled 1"}, {}},
        {"HDREnabled true",
         "HDREnabled 1 HDREnabled true\r\n",
         record(false, 0, 0, 0, 0, 0),
         {"HDREnabled 0"},
         {}},
        {"HDREnabled 01",
         "HDREnabled 1\r\nHDREnabled 01\r\n",
         record(false, 0, 0, 0, 0, 0),
         {},
         {}},
        {"out-of-range indices",
         "TextureFiltering 7\r\nTextureAnisotropy_PREF -1\r\nScreenResolution_PREF 17\r\n",
         record(false, 7, -1, 17, 0, 0),
         {"TextureFiltering 7", "TextureAnisotropy_PREF -1", "ScreenResolution_PREF 17"},
         {"TextureFilteringMin", "TextureFilteringMag", "TextureMipmap", "TextureAnisotropy",
          "ScreenWidth", "ScreenHeight"}},
        {"hand-edited ScreenWidth",
         "ScreenResolution_PREF 8\r\nScreenWidth 800\r\nScreenHeight 600\r\n",
         record(false, 0, 0, 8, 0, 0),
         {"ScreenWidth 1366", "ScreenHeight 768"},
         {}},
        {"row 7 is 1336",
         "ScreenResolution_PREF 7\r\n",
         record(false, 0, 0, 7, 0, 0),
         {"ScreenWidth 1336", "ScreenHeight 768"},
         {}},
        {"keys are case-sensitive",
         "hdrenabled 1\r\nTEXTUREDETAIL 2\r\nIsp 5\r\n",
         record(false, 0, 0, 0, 0, 0),
         {"HDREnabled 0", "ISP 3"},
         {}},
        {"several pairs on one line",
         "HDREnabled 1 TextureFiltering 3 LightmapDetail 2\r\n",
         record(true, 3, 0, 0, 2, 0),
         {"TextureFilteringMin 3", "TextureMipmap 2"},
         {}},
        // The value of TextureFiltering is the next key; pairs stay shifted.
        {"a missing value shifts the pairing",
         "TextureFiltering 3\r\nTextureFiltering\r\nLightmapDetail 2\r\nTextureDetail 1\r\n",
         record(false, 0, 0, 0, 0, 0),
         {},
         {}},
        {"a key at the end without value",
         "TextureDetail 2\r\nHDREnabled 1\r\nTextureDetail\r\n",
         record(true, 0, 0, 0, 0, 0),
         {},
         {}},
        {"a flag at the very end without value",
         "HDREnabled 1 HDREnabled",
         record(false, 0, 0, 0, 0, 0),
         {},
         {}},
        {"ISP carried through", "ISP -42\r\n", record(false, 0, 0, 0, 0, 0, -42), {"ISP -42"}, {}},
        {"the last of a repeated key wins",
         "LightmapDetail 1\r\nLightmapDetail 2\r\n",
         record(false, 0, 0, 0, 2, 0),
         {},
         {}},
        {"decimal prefixes",
         "TextureDetail 12abc LightmapDetail +2 ISP -0x10 TextureFiltering 3 TextureFiltering abc "
         "ScreenResolution_PREF - TextureAnisotropy_PREF 3-1",
         record(false, 0, 3, 0, 2, 12, 0),
         {"TextureDetail 12"},
         {}},
        {"numbers beyond 32 bits stop at the limit",
         "ScreenResolution_PREF 99999999999999999999 TextureAnisotropy_PREF -4294967297",
         record(false, 0, INT_MIN, INT_MAX, 0, 0),
         {"ScreenResolution_PREF 2147483647", "TextureAnisotropy_PREF -2147483648"},
         {}},
        {"blanks of every kind",
         "HDREnabled\t1\vTextureDetail\f2\rLightmapDetail\n1   ISP \r\n 9",
         record(true, 0, 0, 0, 1, 2, 9),
         {},
         {}},
        {"long tokens",
         "HDREnabled" + std::string(1000, 'x') + " 1 HDREnabled 1" + std::string(40, '1') +
             " TextureDetail " + longValue,
         record(false, 0, 0, 0, 0, 2),
         {},
         {}},
        {"a NUL inside a key",
         std::string("HDREnabled\0 1 ISP 4", 19),
         record(false, 0, 0, 0, 0, 0, 4),
         {},
         {}},
        {"bytes above ASCII",
         "ISP \xFE"
         "5 LightmapDetail 1\xFD",
         record(false, 0, 0, 0, 1, 0, 0),
         {},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::TempDir dir;
        testsupport::write_bytes(kPrefsPath, c.file);
        Memory memory{0};
        PreferencesStore store(nullptr, memory.query());
        store.LoadSettingsAtStartup();
        EXPECT_EQ(store.preferences(), c.expected);
        EXPECT_EQ(memory.calls, 0);
        const std::string written = "\r\n" + prefs_file();
        for (const std::string& line : c.linesWritten) {
            EXPECT_NE(written.find("\r\n" + line + "\r\n"), std::string::npos) << line;
        }
        for (const std::string& key : c.keysLeftOut) {
            EXPECT_EQ(written.find("\r\n" + key + " "), std::string::npos) << key;
        }
        // What was written reads back as the same record.
        PreferencesStore again(nullptr, memory.query());
        ASSERT_TRUE(again.ReadSettingsFile());
        EXPECT_EQ(again.preferences(), c.expected);
    }
}

TEST(SettingsFile, ReaderWithoutAFileCreatesNothingAndKeepsTheRecord) {
    testsupport::TempDir dir;
    PreferencesStore store;
    store.preferences().textureDetail = 2;
    EXPECT_FALSE(store.ReadSettingsFile());
    EXPECT_EQ(store.preferences(), record(false, 0, 0, 0, 0, 2));
    EXPECT_FALSE(fs::exists("base"));

    fs::create_directories(kPrefsPath);  // a directory where the file belongs
    EXPECT_FALSE(store.ReadSettingsFile());
}

TEST(SettingsFile, WriterLeavesOutTheDerivedLinesOfIndicesOutsideTheirTables) {
    struct Case {
        std::int32_t filtering, aniso, res;
        const char* expected;
    };
    const Case cases[] = {
        {3, 4, 16,
         "TextureFiltering 3\r\nTextureFilteringMin 3\r\nTextureFilteringMag 3\r\nTextureMipmap "
         "2\r\n"
         "TextureAnisotropy 32\r\nTextureAnisotropy_PREF 4\r\nScreenResolution_PREF 16\r\n"
         "ScreenWidth 1920\r\nScreenHeight 1200\r\n"},
        {1, 2, 8,
         "TextureFiltering 1\r\nTextureFilteringMin 2\r\nTextureFilteringMag 1\r\nTextureMipmap "
         "1\r\n"
         "TextureAnisotropy 8\r\nTextureAnisotropy_PREF 2\r\nScreenResolution_PREF 8\r\n"
         "ScreenWidth 1366\r\nScreenHeight 768\r\n"},
        {4, 5, 17,
         "TextureFiltering 4\r\nTextureAnisotropy_PREF 5\r\nScreenResolution_PREF 17\r\n"},
        {-1, -1, -1,
         "TextureFiltering -1\r\nTextureAnisotropy_PREF -1\r\nScreenResolution_PREF -1\r\n"},
        {INT_MIN, INT_MAX, INT_MIN,
         "TextureFiltering -2147483648\r\nTextureAnisotropy_PREF 2147483647\r\n"
         "ScreenResolution_PREF -2147483648\r\n"},
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        PreferencesStore store;
        store.preferences() = record(false, c.filtering, c.aniso, c.res, 2, 1, 77);
        store.WriteSettingsFile();
        EXPECT_EQ(prefs_file(), std::string("HDREnabled 0\r\nFullscreen 1\r\n") + c.expected +
                                    "LightmapDetail 2\r\nTextureDetail 1\r\nISP 77\r\n");
    }
}

TEST(SettingsFile, AWriteThatCannotFinishKeepsTheOldFile) {
    testsupport::TempDir dir;
    const std::string old = "HDREnabled 1\r\nISP 5\r\n";
    testsupport::write_bytes(kPrefsPath, old);
    fs::create_directory("base/pref_launch.prefs.~new");  // the new file cannot be made
    PreferencesStore store;
    store.WriteSettingsFile();
    EXPECT_EQ(prefs_file(), old);
    EXPECT_TRUE(store.ReadSettingsFile());  // and reading goes on as before
    EXPECT_EQ(store.preferences(), record(true, 0, 0, 0, 0, 0, 5));
    fs::remove("base/pref_launch.prefs.~new");

    // A longer old file is replaced whole.
    testsupport::write_bytes(kPrefsPath, std::string(4000, '#'));
    store.WriteSettingsFile();
    std::string expected = kInitialValuesFile;
    expected.replace(expected.find("HDREnabled 0"), 12, "HDREnabled 1");
    expected.replace(expected.find("ISP 3"), 5, "ISP 5");
    EXPECT_EQ(prefs_file(), expected);

    // No directory can be made: nothing is written, nothing breaks.
    fs::remove_all("base");
    testsupport::write_bytes("base", "not a directory");
    store.WriteSettingsFile();
    EXPECT_EQ(testsupport::read_bytes("base"), "not a directory");
    EXPECT_FALSE(store.ReadSettingsFile());
}

// Runs the body in a child; answers its exit status and the box it showed.
struct Ended {
    int status;
    std::string box;
    bool returned;
};
Ended run_until_exit(const std::function<void()>& body) {
    const int status = testsupport::run_in_child([&] {
        body();
        testsupport::write_bytes("returned", "");
        ::_exit(3);
    });
    return {status, fs::exists("box.txt") ? testsupport::read_bytes("box.txt") : "",
            fs::exists("returned")};
}

const std::string kMemoryBox =
    "Hata!|Valdora oyununu \xC3\xA7\x61l\xC4\xB1\xC5\x9Ft\xC4\xB1rabilmeniz i\xC3\xA7in en az 512 "
    "MB haf\xC4\xB1zan\xC4\xB1z olmal\xC4\xB1\x64\xC4\xB1r.\nDi\xC4\x9F\x65r sistem "
    "gereksinimlerini ana sayfadan g\xC3\xB6rebilirsiniz.|0|none";

TEST(SettingsFile, MemoryTiersAndTheMemoryRequirement) {
    struct Case {
        std::uint32_t bytes;
        bool refused;
        bool hdr;
        std::int32_t light, tex;
    };
    const Case cases[] = {
        {0, true, false, 0, 0},
        {299 * kMiB, true, false, 0, 0},
        {300 * kMiB - 1, true, false, 0, 0},
        {300 * kMiB, false, false, 0, 0},
        {600 * kMiB - 1, false, false, 0, 0},
        {600 * kMiB, false, true, 0, 1},
        {1700 * kMiB - 1, false, true, 0, 1},
        {1700 * kMiB, false, true, 1, 2},
        {UINT32_MAX, false, true, 1, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        testsupport::TempDir dir;
        BoxRecorder recorder;
        Memory memory{c.bytes};
        PreferencesStore store(&recorder, memory.query());
        store.preferences() = record(false, 3, 4, 16, 2, 2, 42);
        store.preferences().fullscreen = false;
        if (c.refused) {
            const Ended ended = run_until_exit([&] { store.ApplyMemoryDefaults(); });
            EXPECT_EQ(ended.status, 0);
            EXPECT_FALSE(ended.returned);
            EXPECT_EQ(ended.box, kMemoryBox);
        } else {
            store.ApplyMemoryDefaults();
            EXPECT_EQ(store.preferences(), record(c.hdr, 2, 1, 0, c.light, c.tex, 42));
        }
        EXPECT_FALSE(fs::exists("base"));  // the defaults alone are never written
    }
}

TEST(SettingsFile, TooLittleMemoryAtFirstStartEndsBeforeAnythingIsWritten) {
    testsupport::TempDir dir;
    BoxRecorder recorder;
    Memory memory{299 * kMiB};
    PreferencesStore store(&recorder, memory.query());
    const Ended ended = run_until_exit([&] { store.LoadSettingsAtStartup(); });
    EXPECT_EQ(ended.status, 0);
    EXPECT_FALSE(ended.returned);
    EXPECT_EQ(ended.box, kMemoryBox);
    EXPECT_FALSE(fs::exists("base"));

    // With a settings file the same machine starts normally.
    testsupport::write_bytes(kPrefsPath, "");
    store.LoadSettingsAtStartup();
    EXPECT_EQ(prefs_file(), kInitialValuesFile);
    EXPECT_EQ(memory.calls, 0);
}

}  // namespace
